// The virtual deck's capture pin.
#include "deckpin.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <cstring>

#include "dv/dif.h"
#include "dv/dvvideoinfo.h"
#include "dvmediatype.h"

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

DeckPin::DeckPin(BaseFilter* filter, std::shared_ptr<Deck> deck)
    : DvCapturePin(filter, *deck, m_stream), m_deck(std::move(deck)) {}

DeckPin::~DeckPin() { Inactive(); }

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
    return DvCapturePin::CompleteConnect(pReceivePin);
}

long DeckPin::MaxFrameSize() const { return static_cast<long>(dv::FrameSize(m_standard)); }

HRESULT DeckPin::AttachStream() {
    m_deck->Attach(&m_stream);
    return S_OK;
}

void DeckPin::DetachStream() { m_deck->Detach(&m_stream); }

void DeckPin::Stream() {
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
        IMediaSample* sample = GetFrameBuffer();
        if (!sample) return;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        if (sample->GetSize() < size || !tape.ReadFrame(frame, data)) {
            Abort(sample, E_FAIL);
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
        if (!DeliverFrame(sample, size, m_deck->FrameStart(m_filled - 1), m_deck->FrameStart(1),
                          frame))
            return;
        m_deck->FrameDelivered();
    }
}

}  // namespace dvdeck
