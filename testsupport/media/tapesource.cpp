// The in-memory DV tape source.
#include "testsupport/tapesource.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>

#include "dv/difpacks.h"
#include "media/mediatype.h"

TapeSourcePin::TapeSourcePin(TapeSource* source)
    : SourceStreamPin(source, L"DV A/V Out", PIN_CATEGORY_CAPTURE), m_source(source) {}

HRESULT TapeSourcePin::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
    return pmt->majortype == MEDIATYPE_Interleaved ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TapeSourcePin::GetMediaType(int n, AM_MEDIA_TYPE* pmt) {
    if (n != 0) return S_FALSE;
    *pmt = MakeMediaType(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
    if (!m_source->m_withDvInfo) return S_OK;
    pmt->formattype = FORMAT_DvInfo;
    pmt->cbFormat = sizeof(DVINFO);
    pmt->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(DVINFO)));
    if (!pmt->pbFormat) return E_OUTOFMEMORY;
    std::memcpy(pmt->pbFormat, &m_source->m_info, sizeof(DVINFO));
    return S_OK;
}

HRESULT TapeSourcePin::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES*) {
    ALLOCATOR_PROPERTIES want{4, static_cast<LONG>(dv::kMaxFrameSize), 1, 0}, actual{};
    return alloc->SetProperties(&want, &actual);
}

void TapeSourcePin::OnThreadStart() { m_source->m_next = 0; }

HRESULT TapeSourcePin::FillBuffer(IMediaSample* sample) {
    TapeSource& s = *m_source;
    if (s.m_next >= s.m_length) return S_FALSE;
    if (s.failAt >= 0 && static_cast<long>(s.m_next) >= s.failAt) return E_FAIL;
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    // The device writes into its buffer; this copy stands for the bus.
    std::memcpy(p, s.Frame(s.m_next % s.Frames()), s.m_frameSize);
    {
        std::lock_guard<std::mutex> lock(s.m_bufLock);
        s.m_buffers.insert(p);
    }
    sample->SetActualDataLength(static_cast<long>(s.m_frameSize));
    const REFERENCE_TIME frame = s.m_standard == dv::Standard::PAL ? 400000 : 333667;
    REFERENCE_TIME t0 = static_cast<REFERENCE_TIME>(s.m_next) * frame, t1 = t0 + frame;
    sample->SetTime(&t0, &t1);
    ++s.m_next;
    return S_OK;
}

TapeSource::TapeSource(std::vector<uint8_t> tape, bool withDvInfo, long frames)
    : BaseFilter(CLSID_TestTapeSource),
      m_pin(this),
      m_tape(std::move(tape)),
      m_withDvInfo(withDvInfo) {
    dv::FrameView view;
    if (dv::ViewFrame(m_tape.data(), m_tape.size(), view)) {
        m_standard = view.standard;
        m_frameSize = dv::FrameSize(view.standard);
        dv::DvInfoPacks packs;
        dv::ReadDvInfoPacks(view, packs);
        m_info.dwDVAAuxSrc = dv::PackDword(packs.aauxSrc);
        m_info.dwDVAAuxCtl = dv::PackDword(packs.aauxCtl);
        m_info.dwDVAAuxSrc1 = dv::PackDword(packs.aauxSrc1);
        m_info.dwDVAAuxCtl1 = dv::PackDword(packs.aauxCtl1);
        m_info.dwDVVAuxSrc = dv::PackDword(packs.vauxSrc);
        m_info.dwDVVAuxCtl = dv::PackDword(packs.vauxCtl);
    }
    m_length = Frames() == 0 ? 0 : frames > 0 ? static_cast<size_t>(frames) : Frames();
}

bool TapeSource::Filled(const BYTE* p) {
    std::lock_guard<std::mutex> lock(m_bufLock);
    return m_buffers.count(p) != 0;
}
