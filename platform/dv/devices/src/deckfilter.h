// The virtual deck's filter: IBaseFilter with one capture pin (interleaved
// DV, IAMDroppedFrames, IAMStreamControl), IAMExtDevice, IAMExtTransport
// and, unless the deck is configured without one, IAMTimecodeReader.  The
// transport calls go to the deck, which every filter bound to it shares.
#pragma once

#include <dshow.h>

#include <atomic>
#include <memory>
#include <thread>

#include "deck.h"
#include "media/basefilter.h"
#include "media/basepin.h"

DEFINE_GUID(CLSID_TapeloomVirtualDeck, 0x5b2d7e14, 0x6a31, 0x4c8f, 0x9d, 0x02, 0x71, 0xe4, 0x3a,
            0xc6, 0x58, 0x90);

namespace dvdeck {

class DeckFilter;

// The capture pin.  Its streaming thread takes frames from the deck,
// reads them from the tape into samples and delivers them; it ends when
// the filter stops or the deck is unplugged.
//
// The connection type describes the signal under the head when the pin
// connects.  A tape that changes to another signal while the graph runs
// (another standard, or a code the deck reports instead) does not match
// the connection: its frames are held back, and the first of each such
// stretch raises EC_ERRORABORT (VFW_E_INVALIDMEDIATYPE) so the graph can
// stop and rebuild.  Frames of the connected signal flow again when the
// tape comes back to it.
class DeckPin final : public BaseOutputPin, public IAMDroppedFrames {
public:
    DeckPin(DeckFilter* filter, std::shared_ptr<Deck> deck);
    ~DeckPin() override;
    MEDIA_PIN_IUNKNOWN

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    void StateChanged() override;

    // Counts that only grow, over the pin's whole life.
    STDMETHODIMP GetNumDropped(long* plDropped) override;
    STDMETHODIMP GetNumNotDropped(long* plNotDropped) override;

protected:
    void* GetPinInterface(REFIID riid) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;

private:
    void ThreadProc();

    const std::shared_ptr<Deck> m_deck;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<long> m_dropped{0};
    std::atomic<long> m_notDropped{0};
    long m_filled = 0;  // streaming thread only
    // The connection's standard and signal code; set while stopped.
    dv::Standard m_standard = dv::Standard::PAL;
    long m_signal = 0;
    DeckStream m_stream;
    std::thread m_thread;
};

class DeckFilter final : public BaseFilter,
                         public IAMExtDevice,
                         public IAMExtTransport,
                         public IAMTimecodeReader,
                         private DeckListener {
public:
    // A new filter on the deck, asked for riid.
    static HRESULT Create(std::shared_ptr<Deck> deck, REFIID riid, void** ppv);

    MEDIA_FILTER_IUNKNOWN

    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

    // IAMExtTransport: the basic parameter ED_TRANSBASIC_INPUT_SIGNAL and
    // the transport mode.
    STDMETHODIMP GetTransportBasicParameters(long Param, long* pValue, LPOLESTR* ppszData) override;
    STDMETHODIMP put_Mode(long Mode) override;
    STDMETHODIMP get_Mode(long* pMode) override;

    // IAMTimecodeReader: dwFlags must be ED_DEVCAP_TIMECODE_READ.
    STDMETHODIMP GetTimecode(PTIMECODE_SAMPLE pTimecodeSample) override;

protected:
    void* GetInterface(REFIID riid) override;

private:
    explicit DeckFilter(std::shared_ptr<Deck> deck);
    ~DeckFilter() override;
    void DeviceChanged(bool present) override;

    const std::shared_ptr<Deck> m_deck;
    DeckPin m_pin;
};

}  // namespace dvdeck
