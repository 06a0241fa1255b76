// Base classes of pins.  A pin is part of its filter: its reference count
// is the filter's.  Connection follows the output pin: Connect tries the
// media types of the output pin, then those of the input pin, and the
// first one both accept makes the connection; the output pin then agrees
// on an allocator with the input pin.  Connections change only while the
// filter is stopped.
//
// BaseOutputPin delivers samples downstream through the input pin's
// IMemInputPin, behind an optional stream control gate.  BaseInputPin
// receives them under the filter's receive lock and rejects them while the
// filter is stopped or flushing.
#pragma once

#include <atomic>
#include <string>

#include "basefilter.h"
#include "streamcontrol.h"

// Platform-internal: the pin's category (PIN_CATEGORY_CAPTURE, ...), what
// the capture graph builder looks pins up by.
DEFINE_GUID(IID_IMediaPinCategory, 0x6d3c1f0a, 0x52b4, 0x4e0e, 0x9a, 0x61, 0x2f, 0x7b, 0x13, 0x55,
            0xc8, 0x04);
interface IMediaPinCategory : public IUnknown {
    STDMETHOD(GetCategory)(GUID* pCategory) PURE;
};
COM_DECLARE_IID(IMediaPinCategory);

class BasePin : public IPin, public IMediaPinCategory {
public:
    BasePin(BaseFilter* filter, LPCWSTR name, PIN_DIRECTION dir, const GUID& category = GUID_NULL);
    virtual ~BasePin();
    BasePin(const BasePin&) = delete;
    BasePin& operator=(const BasePin&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pPin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* pInfo) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* pPinDir) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
    STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
    STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }
    STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    STDMETHODIMP GetCategory(GUID* pCategory) override;

    // S_OK when the pin accepts the media type.
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) = 0;
    // The pin's preferred media type number n; S_FALSE past the last one.
    virtual HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) { return S_FALSE; }

    // Streaming resources: called by the filter on stopped to paused and
    // on the way back to stopped.
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }
    // After every change of the filter's state.
    virtual void StateChanged() {}

    bool IsConnected() const { return m_connected != nullptr; }
    // The connected pin, not counted; valid while the filter is not stopped
    // or the connection lock is held.
    IPin* Peer() const { return m_connected; }
    const AM_MEDIA_TYPE& MediaType() const { return m_mt; }
    BaseFilter* Filter() const { return m_filter; }
    const std::wstring& Name() const { return m_name; }
    PIN_DIRECTION Direction() const { return m_dir; }

protected:
    // Further interfaces of the pin (no new reference), or NULL.
    virtual void* GetPinInterface(REFIID riid) { return nullptr; }
    // After both sides agreed on the type: the output pin sets up the
    // allocator here.  A failure undoes the connection.
    virtual HRESULT CompleteConnect(IPin* pReceivePin) { return S_OK; }
    virtual void BreakConnect() {}

    BaseFilter* const m_filter;

private:
    HRESULT AttemptConnection(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt);
    HRESULT TryMediaTypes(IPin* pReceivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* pEnum);
    // Connects to `peer` with the media type and lets the derived pin
    // complete the connection; a failure leaves the connection to undo.
    HRESULT SetConnection(IPin* peer, const AM_MEDIA_TYPE* pmt);
    // Breaks the connection and hands back the peer's reference.
    IPin* TakeConnection();

    const std::wstring m_name;
    const PIN_DIRECTION m_dir;
    const GUID m_category;
    IPin* m_connected = nullptr;  // counted
    AM_MEDIA_TYPE m_mt{};
};

class BaseOutputPin : public BasePin, public IAMStreamControl {
public:
    // withStreamControl: the pin offers IAMStreamControl.
    BaseOutputPin(BaseFilter* filter, LPCWSTR name, const GUID& category = GUID_NULL,
                  bool withStreamControl = false);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return BasePin::QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return BasePin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return BasePin::Release(); }

    STDMETHODIMP StartAt(const REFERENCE_TIME* ptStart, DWORD dwCookie) override;
    STDMETHODIMP StopAt(const REFERENCE_TIME* ptStop, BOOL bSendExtra, DWORD dwCookie) override;
    STDMETHODIMP GetInfo(AM_STREAM_INFO* pInfo) override;

    HRESULT Active() override;
    HRESULT Inactive() override;

    // Passes the sample to the connected input pin, unless stream control
    // holds the stream off (then S_OK without delivering).
    HRESULT Deliver(IMediaSample* pSample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();

    // The allocator agreed at connection (not counted), or NULL.
    IMemAllocator* Allocator() const { return m_allocator; }

protected:
    void* GetPinInterface(REFIID riid) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    void BreakConnect() override;
    // Sets the allocator's buffer count and size.  The default asks for
    // nothing: a pin that passes samples through never allocates.
    virtual HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) {
        return S_OK;
    }

private:
    const bool m_withStreamControl;
    StreamControlGate m_gate;
    IMemInputPin* m_input = nullptr;       // counted
    IMemAllocator* m_allocator = nullptr;  // counted
};

class BaseInputPin : public BasePin, public IMemInputPin {
public:
    BaseInputPin(BaseFilter* filter, LPCWSTR name);
    ~BaseInputPin() override;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return BasePin::QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return BasePin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return BasePin::Release(); }

    STDMETHODIMP GetAllocator(IMemAllocator** ppAllocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Receive(IMediaSample* pSample) override;
    STDMETHODIMP ReceiveCanBlock() override { return S_OK; }

    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    bool IsFlushing() const { return m_flushing.load(std::memory_order_acquire); }

protected:
    void* GetPinInterface(REFIID riid) override;
    void BreakConnect() override;

    // The filter's work on a sample, under the receive lock.
    virtual HRESULT OnReceive(IMediaSample* pSample) = 0;
    virtual HRESULT OnEndOfStream() { return S_OK; }
    virtual HRESULT OnBeginFlush() { return S_OK; }
    virtual HRESULT OnEndFlush() { return S_OK; }

private:
    std::atomic<bool> m_flushing{false};
    IMemAllocator* m_allocator = nullptr;  // counted
};

// An input pin that takes one major type and subtype, whatever the format,
// and offers that pair (without a format) as its preferred type.
class FixedTypeInputPin : public BaseInputPin {
public:
    FixedTypeInputPin(BaseFilter* filter, LPCWSTR name, const GUID& majortype, const GUID& subtype);

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override;

private:
    const GUID m_majortype, m_subtype;
};

// IUnknown of a pin class that adds interfaces of its own.
#define MEDIA_PIN_IUNKNOWN                                               \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {      \
        return BasePin::QueryInterface(riid, ppv);                       \
    }                                                                    \
    STDMETHODIMP_(ULONG) AddRef() override { return BasePin::AddRef(); } \
    STDMETHODIMP_(ULONG) Release() override { return BasePin::Release(); }
