// The virtual deck's filter and capture pin.
#include "deckfilter.h"

#include <edevdefs.h>
#include <evcode.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>

#include "dif.h"
#include "dvmediatype.h"
#include "dvvideoinfo.h"

namespace dvdeck {

namespace {

// Damages a frame the way a dropout does: the video blocks of two
// sequences become noise (their block IDs too); header, subcode, VAUX and
// audio stay.
void DamageFrame(BYTE* frame, dv::Standard standard) {
    const int first = dv::SequenceCount(standard) / 2;
    for (int seq = first; seq < first + 2; ++seq)
        for (int b = 0; b < 150; ++b)
            if (dv::ExpectedSection(b) == dv::Section::Video)
                std::memset(frame + dv::BlockOffset(seq, b), 0xFF, dv::kBlockSize);
}

}  // namespace

// ---- pin ---------------------------------------------------------------

DeckPin::DeckPin(DeckFilter* filter, std::shared_ptr<Deck> deck)
    : BaseOutputPin(filter, L"Capture", PIN_CATEGORY_CAPTURE, true), m_deck(std::move(deck)) {
    m_stream.running = &m_running;
    m_stream.dropped = &m_dropped;
}

DeckPin::~DeckPin() { Inactive(); }

HRESULT DeckPin::CheckMediaType(const AM_MEDIA_TYPE* pmt) { return CheckDvMediaType(pmt); }

HRESULT DeckPin::GetMediaType(int n, AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    if (n != 0) return S_FALSE;
    DeckFormat format;
    HRESULT hr = m_deck->HeadFormat(&format);
    if (FAILED(hr)) return hr;
    return MakeDvMediaType(dv::FrameSize(format.standard), format.dvinfo, pmt);
}

HRESULT DeckPin::CompleteConnect(IPin* pReceivePin) {
    // The standard the connection announces by its sample size; the signal
    // code is the deck's for the frame under the head, when that frame is
    // of the same standard.
    m_standard = MediaType().lSampleSize == dv::FrameSize(dv::Standard::NTSC) ? dv::Standard::NTSC
                                                                        : dv::Standard::PAL;
    DeckFormat head;
    if (SUCCEEDED(m_deck->HeadFormat(&head)) && head.standard == m_standard)
        m_signal = head.signal;
    else
        m_signal = m_standard == dv::Standard::PAL ? dv::kSignal625_50_SD : dv::kSignal525_60_SD;
    return BaseOutputPin::CompleteConnect(pReceivePin);
}

void* DeckPin::GetPinInterface(REFIID riid) {
    if (riid == IID_IAMDroppedFrames) return static_cast<IAMDroppedFrames*>(this);
    return BaseOutputPin::GetPinInterface(riid);
}

HRESULT DeckPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES*) {
    ALLOCATOR_PROPERTIES req{4, static_cast<LONG>(dv::FrameSize(m_standard)), 1, 0}, actual{};
    HRESULT hr = pAlloc->SetProperties(&req, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < req.cbBuffer ? E_FAIL : S_OK;
}

HRESULT DeckPin::Active() {
    if (!IsConnected()) return S_OK;
    HRESULT hr = BaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    m_stopping.store(false, std::memory_order_release);
    m_running.store(m_filter->IsRunning(), std::memory_order_release);
    m_deck->Attach(&m_stream);
    m_thread = std::thread([this] { ThreadProc(); });
    return S_OK;
}

HRESULT DeckPin::Inactive() {
    m_stopping.store(true, std::memory_order_release);
    m_running.store(false, std::memory_order_release);
    m_deck->StopStream(&m_stream);
    BaseOutputPin::Inactive();  // wakes a GetBuffer that waits
    if (m_thread.joinable()) {
        m_thread.join();
        m_deck->Detach(&m_stream);
    }
    return S_OK;
}

void DeckPin::StateChanged() {
    m_running.store(m_filter->IsRunning(), std::memory_order_release);
    m_deck->Wake();
}

STDMETHODIMP DeckPin::GetNumDropped(long* plDropped) {
    if (!plDropped) return E_POINTER;
    *plDropped = m_dropped.load(std::memory_order_relaxed);
    return S_OK;
}

STDMETHODIMP DeckPin::GetNumNotDropped(long* plNotDropped) {
    if (!plNotDropped) return E_POINTER;
    *plNotDropped = m_notDropped.load(std::memory_order_relaxed);
    return S_OK;
}

void DeckPin::ThreadProc() {
    // However the thread ends, the deck stops offering this stream frames
    // (else they would pile up as dropped until the filter stops).
    struct EndStream {
        Deck* deck;
        DeckStream* stream;
        ~EndStream() { deck->StopStream(stream); }
    } end{m_deck.get(), &m_stream};
    const Tape& tape = m_deck->GetTape();
    const long size = static_cast<long>(dv::FrameSize(m_standard));
    bool foreign = false;  // in a stretch of another signal
    // Frames of another signal are held back; the first of each stretch
    // is reported.
    auto holdBack = [&] {
        if (foreign) return;
        foreign = true;
        m_filter->NotifyEvent(EC_ERRORABORT, VFW_E_INVALIDMEDIATYPE, 0);
    };
    int64_t frame = 0;
    while (m_deck->NextFrame(&m_stream, &frame)) {
        if (tape.StandardAt(frame) != m_standard) {
            holdBack();
            continue;
        }
        IMemAllocator* alloc = Allocator();
        IMediaSample* sample = nullptr;
        HRESULT hr = alloc ? alloc->GetBuffer(&sample, nullptr, nullptr, 0) : VFW_E_NO_ALLOCATOR;
        if (FAILED(hr)) {
            if (!m_stopping.load(std::memory_order_acquire))
                m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
            return;
        }
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        if (sample->GetSize() < size || !tape.ReadFrame(frame, data)) {
            sample->Release();
            m_filter->NotifyEvent(EC_ERRORABORT, E_FAIL, 0);
            return;
        }
        if (m_deck->SignalOf(frame, data, static_cast<size_t>(size)) != m_signal) {
            sample->Release();
            holdBack();
            continue;
        }
        foreign = false;
        ++m_filled;
        const long damageEvery = m_deck->Config().damageEvery;
        if (damageEvery > 0 && m_filled % damageEvery == 0) DamageFrame(data, m_standard);
        sample->SetActualDataLength(size);
        REFERENCE_TIME t = 0;
        if (!m_filter->StreamTime(&t)) t = m_deck->FrameStart(m_filled - 1);
        REFERENCE_TIME tEnd = t + m_deck->FrameStart(1);
        sample->SetTime(&t, &tEnd);
        LONGLONG m = frame, mEnd = frame + 1;
        sample->SetMediaTime(&m, &mEnd);
        sample->SetSyncPoint(TRUE);
        hr = Deliver(sample);
        sample->Release();
        if (hr == S_OK) {
            m_notDropped.fetch_add(1, std::memory_order_relaxed);
            m_deck->FrameDelivered();
            continue;
        }
        // The filter downstream stops before this one: its refusal is the
        // stop arriving, not an error.
        if (hr == VFW_E_WRONG_STATE || hr == VFW_E_NOT_COMMITTED || hr == S_FALSE ||
            m_stopping.load(std::memory_order_acquire))
            return;
        m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
        return;
    }
}

// ---- filter ------------------------------------------------------------

HRESULT DeckFilter::Create(std::shared_ptr<Deck> deck, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    DeckFilter* filter = new (std::nothrow) DeckFilter(std::move(deck));
    if (!filter) return E_OUTOFMEMORY;
    HRESULT hr = filter->QueryInterface(riid, ppv);
    filter->Release();
    return hr;
}

DeckFilter::DeckFilter(std::shared_ptr<Deck> deck)
    : BaseFilter(CLSID_TapeloomVirtualDeck), m_deck(std::move(deck)), m_pin(this, m_deck) {
    m_deck->AddListener(this);
}

DeckFilter::~DeckFilter() {
    m_deck->RemoveListener(this);
    m_pin.Inactive();
}

void* DeckFilter::GetInterface(REFIID riid) {
    if (riid == IID_IAMExtDevice) return static_cast<IAMExtDevice*>(this);
    if (riid == IID_IAMExtTransport) return static_cast<IAMExtTransport*>(this);
    if (riid == IID_IAMTimecodeReader && m_deck->Config().timecodeReader)
        return static_cast<IAMTimecodeReader*>(this);
    return BaseFilter::GetInterface(riid);
}

void DeckFilter::DeviceChanged(bool present) {
    NotifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)),
                present ? 1 : 0);
}

STDMETHODIMP DeckFilter::GetTransportBasicParameters(long Param, long* pValue, LPOLESTR* ppszData) {
    if (ppszData) *ppszData = nullptr;
    if (!pValue) return E_POINTER;
    if (Param != ED_TRANSBASIC_INPUT_SIGNAL) return E_NOTIMPL;
    return m_deck->GetSignal(pValue);
}

STDMETHODIMP DeckFilter::put_Mode(long Mode) { return m_deck->PutMode(Mode); }

STDMETHODIMP DeckFilter::get_Mode(long* pMode) { return m_deck->GetMode(pMode); }

STDMETHODIMP DeckFilter::GetTimecode(PTIMECODE_SAMPLE pTimecodeSample) {
    if (!pTimecodeSample) return E_POINTER;
    if (pTimecodeSample->dwFlags != ED_DEVCAP_TIMECODE_READ) return E_NOTIMPL;
    DWORD bcd = 0;
    HRESULT hr = m_deck->GetTimecode(&bcd);
    if (SUCCEEDED(hr)) pTimecodeSample->timecode.dwFrames = bcd;
    return hr;
}

}  // namespace dvdeck
