// The virtual deck's capture pin.  Its filter is the DV devices' filter
// (dvcapturefilter.h) on the deck; the deck offers IAMTimecodeReader
// unless it is configured without one.
#pragma once

#include <dshow.h>

#include <memory>

#include "deck.h"
#include "dvcapturepin.h"

DEFINE_GUID(CLSID_TapeloomVirtualDeck, 0x5b2d7e14, 0x6a31, 0x4c8f, 0x9d, 0x02, 0x71, 0xe4, 0x3a,
            0xc6, 0x58, 0x90);

namespace dvdeck {

// The streaming thread takes frames from the deck and reads them from the
// tape into samples.
//
// The connection type describes the signal under the head when the pin
// connects.  A tape that changes to another signal while the graph runs
// (another standard, or a code the deck reports instead) does not match
// the connection: its frames are held back, and the first of each such
// stretch raises EC_ERRORABORT (VFW_E_INVALIDMEDIATYPE) so the graph can
// stop and rebuild.  Frames of the connected signal flow again when the
// tape comes back to it.
class DeckPin final : public DvCapturePin {
public:
    DeckPin(BaseFilter* filter, std::shared_ptr<Deck> deck);
    ~DeckPin() override;

    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;

protected:
    long MaxFrameSize() const override;
    HRESULT AttachStream() override;
    void DetachStream() override;
    void Stream() override;

private:
    const std::shared_ptr<Deck> m_deck;
    long m_filled = 0;  // streaming thread only
    // The connection's standard and signal code; set while stopped.
    dv::Standard m_standard = dv::Standard::PAL;
    long m_signal = 0;
    DeckStream m_stream;
};

}  // namespace dvdeck
