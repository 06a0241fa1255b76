// Pin connection and media type negotiation.
#include "media/basepin.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <cwchar>

#include "enumerators.h"
#include "media/allocator.h"
#include "media/mediatype.h"

BasePin::BasePin(BaseFilter* filter, LPCWSTR name, PIN_DIRECTION dir, const GUID& category)
    : m_filter(filter), m_name(name ? name : L""), m_dir(dir), m_category(category) {}

BasePin::~BasePin() {
    if (m_connected) m_connected->Release();
    FreeMediaType(m_mt);
}

STDMETHODIMP BasePin::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPin) {
        *ppv = static_cast<IPin*>(this);
    } else if (riid == IID_IMediaPinCategory) {
        *ppv = static_cast<IMediaPinCategory*>(this);
    } else {
        *ppv = GetPinInterface(riid);
        if (!*ppv) return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) BasePin::AddRef() { return m_filter->AddRef(); }
STDMETHODIMP_(ULONG) BasePin::Release() { return m_filter->Release(); }

STDMETHODIMP BasePin::GetCategory(GUID* pCategory) {
    if (!pCategory) return E_POINTER;
    *pCategory = m_category;
    return m_category == GUID_NULL ? S_FALSE : S_OK;
}

STDMETHODIMP BasePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
    if (!pReceivePin) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_filter->FilterLock());
    if (m_dir != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    if (m_connected) return VFW_E_ALREADY_CONNECTED;
    if (!m_filter->IsStopped()) return VFW_E_NOT_STOPPED;
    PIN_DIRECTION dir;
    if (FAILED(pReceivePin->QueryDirection(&dir)) || dir != PINDIR_INPUT)
        return VFW_E_INVALID_DIRECTION;

    const bool complete = pmt && pmt->majortype != GUID_NULL && pmt->subtype != GUID_NULL &&
                          pmt->formattype != GUID_NULL;
    if (complete) return AttemptConnection(pReceivePin, pmt);

    AM_MEDIA_TYPE any{};
    const AM_MEDIA_TYPE* partial = pmt ? pmt : &any;
    // Our own types first, then the receiving pin's.
    ComPtr<IEnumMediaTypes> mine;
    if (SUCCEEDED(EnumMediaTypes(mine.ReleaseAndGetAddressOf())) &&
        TryMediaTypes(pReceivePin, partial, mine.Get()) == S_OK)
        return S_OK;
    ComPtr<IEnumMediaTypes> theirs;
    if (SUCCEEDED(pReceivePin->EnumMediaTypes(theirs.ReleaseAndGetAddressOf())) &&
        TryMediaTypes(pReceivePin, partial, theirs.Get()) == S_OK)
        return S_OK;
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT BasePin::TryMediaTypes(IPin* pReceivePin, const AM_MEDIA_TYPE* partial,
                               IEnumMediaTypes* pEnum) {
    AM_MEDIA_TYPE* mt = nullptr;
    ULONG fetched = 0;
    while (pEnum->Next(1, &mt, &fetched) == S_OK && fetched == 1) {
        HRESULT hr = E_FAIL;
        if (MediaTypeMatchesPartial(*mt, *partial)) hr = AttemptConnection(pReceivePin, mt);
        DeleteMediaType(mt);
        if (hr == S_OK) return S_OK;
    }
    return S_FALSE;
}

HRESULT BasePin::AttemptConnection(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
    if (CheckMediaType(pmt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = pReceivePin->ReceiveConnection(this, pmt);
    if (FAILED(hr)) return hr;
    hr = SetConnection(pReceivePin, pmt);
    if (FAILED(hr)) {
        pReceivePin->Disconnect();
        TakeConnection()->Release();
    }
    return hr;
}

HRESULT BasePin::SetConnection(IPin* peer, const AM_MEDIA_TYPE* pmt) {
    m_connected = peer;
    m_connected->AddRef();
    CopyMediaType(&m_mt, pmt);
    HRESULT hr = CompleteConnect(peer);
    return FAILED(hr) ? hr : S_OK;
}

IPin* BasePin::TakeConnection() {
    BreakConnect();
    IPin* old = m_connected;
    m_connected = nullptr;
    FreeMediaType(m_mt);
    m_mt = AM_MEDIA_TYPE{};
    return old;
}

STDMETHODIMP BasePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
    if (!pConnector || !pmt) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_filter->FilterLock());
    if (m_dir != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
    if (m_connected) return VFW_E_ALREADY_CONNECTED;
    if (!m_filter->IsStopped()) return VFW_E_NOT_STOPPED;
    if (CheckMediaType(pmt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = SetConnection(pConnector, pmt);
    if (FAILED(hr)) TakeConnection()->Release();
    return hr;
}

STDMETHODIMP BasePin::Disconnect() {
    IPin* old = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(m_filter->FilterLock());
        if (!m_filter->IsStopped()) return VFW_E_NOT_STOPPED;
        if (!m_connected) return S_FALSE;
        old = TakeConnection();
    }
    // Released outside the lock: it may be the last reference of the peer.
    old->Release();
    return S_OK;
}

STDMETHODIMP BasePin::ConnectedTo(IPin** pPin) {
    if (!pPin) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_filter->FilterLock());
    *pPin = m_connected;
    if (!m_connected) return VFW_E_NOT_CONNECTED;
    m_connected->AddRef();
    return S_OK;
}

STDMETHODIMP BasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_filter->FilterLock());
    if (!m_connected) {
        *pmt = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &m_mt);
}

STDMETHODIMP BasePin::QueryPinInfo(PIN_INFO* pInfo) {
    if (!pInfo) return E_POINTER;
    pInfo->pFilter = m_filter;
    m_filter->AddRef();
    pInfo->dir = m_dir;
    std::wcsncpy(pInfo->achName, m_name.c_str(), MAX_PIN_NAME - 1);
    pInfo->achName[MAX_PIN_NAME - 1] = 0;
    return S_OK;
}

STDMETHODIMP BasePin::QueryDirection(PIN_DIRECTION* pPinDir) {
    if (!pPinDir) return E_POINTER;
    *pPinDir = m_dir;
    return S_OK;
}

STDMETHODIMP BasePin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    return CheckMediaType(pmt) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP BasePin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
    if (!ppEnum) return E_POINTER;
    auto list = std::make_shared<MediaTypeEnum::List>();
    {
        std::lock_guard<std::recursive_mutex> lock(m_filter->FilterLock());
        for (int i = 0;; ++i) {
            AM_MEDIA_TYPE mt{};
            if (GetMediaType(i, &mt) != S_OK) break;
            list->types.push_back(mt);
        }
    }
    *ppEnum = new MediaTypeEnum(std::move(list));
    return S_OK;
}

// ---- BaseOutputPin -----------------------------------------------------

BaseOutputPin::BaseOutputPin(BaseFilter* filter, LPCWSTR name, const GUID& category,
                             bool withStreamControl)
    : BasePin(filter, name, PINDIR_OUTPUT, category), m_withStreamControl(withStreamControl) {}

void* BaseOutputPin::GetPinInterface(REFIID riid) {
    if (m_withStreamControl && riid == IID_IAMStreamControl)
        return static_cast<IAMStreamControl*>(this);
    return nullptr;
}

HRESULT BaseOutputPin::CompleteConnect(IPin* pReceivePin) {
    HRESULT hr = pReceivePin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&m_input));
    if (FAILED(hr)) return hr;
    // The input pin's allocator if it offers one, else one of our own.
    IMemAllocator* alloc = nullptr;
    if (FAILED(m_input->GetAllocator(&alloc))) {
        hr = MemAllocator::Create(&alloc);
        if (FAILED(hr)) return hr;
    }
    ALLOCATOR_PROPERTIES props{};
    m_input->GetAllocatorRequirements(&props);
    hr = DecideBufferSize(alloc, &props);
    if (SUCCEEDED(hr)) hr = m_input->NotifyAllocator(alloc, FALSE);
    if (FAILED(hr)) {
        alloc->Release();
        return hr;
    }
    m_allocator = alloc;
    return S_OK;
}

void BaseOutputPin::BreakConnect() {
    if (m_input) m_input->Release();
    m_input = nullptr;
    if (m_allocator) m_allocator->Release();
    m_allocator = nullptr;
}

HRESULT BaseOutputPin::Active() {
    if (!m_allocator) return S_OK;
    ALLOCATOR_PROPERTIES props{};
    m_allocator->GetProperties(&props);
    // A pass-through pin set no sizes: nothing to commit.
    if (props.cBuffers <= 0) return S_OK;
    return m_allocator->Commit();
}

HRESULT BaseOutputPin::Inactive() {
    if (m_allocator) m_allocator->Decommit();
    return S_OK;
}

HRESULT BaseOutputPin::Deliver(IMediaSample* pSample) {
    if (!m_input) return VFW_E_NOT_CONNECTED;
    if (m_withStreamControl) {
        REFERENCE_TIME t = 0, tEnd = 0;
        if (FAILED(pSample->GetTime(&t, &tEnd)) && !m_filter->StreamTime(&t)) t = 0;
        StreamControlGate::Change change = StreamControlGate::Change::None;
        DWORD cookie = 0;
        const bool flow = m_gate.Admit(t, &change, &cookie);
        if (change != StreamControlGate::Change::None && cookie != 0) {
            m_filter->NotifyEvent(change == StreamControlGate::Change::Started
                                      ? EC_STREAM_CONTROL_STARTED
                                      : EC_STREAM_CONTROL_STOPPED,
                                  reinterpret_cast<LONG_PTR>(static_cast<IPin*>(this)), cookie);
        }
        if (!flow) return S_OK;
    }
    return m_input->Receive(pSample);
}

HRESULT BaseOutputPin::DeliverEndOfStream() {
    IPin* peer = Peer();
    return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}
HRESULT BaseOutputPin::DeliverBeginFlush() {
    IPin* peer = Peer();
    return peer ? peer->BeginFlush() : VFW_E_NOT_CONNECTED;
}
HRESULT BaseOutputPin::DeliverEndFlush() {
    IPin* peer = Peer();
    return peer ? peer->EndFlush() : VFW_E_NOT_CONNECTED;
}

STDMETHODIMP BaseOutputPin::StartAt(const REFERENCE_TIME* ptStart, DWORD dwCookie) {
    m_gate.StartAt(ptStart, dwCookie);
    return S_OK;
}
STDMETHODIMP BaseOutputPin::StopAt(const REFERENCE_TIME* ptStop, BOOL, DWORD dwCookie) {
    m_gate.StopAt(ptStop, dwCookie);
    return S_OK;
}
STDMETHODIMP BaseOutputPin::GetInfo(AM_STREAM_INFO* pInfo) {
    if (!pInfo) return E_POINTER;
    m_gate.GetInfo(pInfo);
    return S_OK;
}

// ---- BaseInputPin ------------------------------------------------------

BaseInputPin::BaseInputPin(BaseFilter* filter, LPCWSTR name)
    : BasePin(filter, name, PINDIR_INPUT) {}

BaseInputPin::~BaseInputPin() {
    if (m_allocator) m_allocator->Release();
}

void* BaseInputPin::GetPinInterface(REFIID riid) {
    if (riid == IID_IMemInputPin) return static_cast<IMemInputPin*>(this);
    return nullptr;
}

void BaseInputPin::BreakConnect() {
    if (m_allocator) m_allocator->Release();
    m_allocator = nullptr;
}

STDMETHODIMP BaseInputPin::GetAllocator(IMemAllocator** ppAllocator) {
    if (!ppAllocator) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_filter->FilterLock());
    if (!m_allocator) {
        HRESULT hr = MemAllocator::Create(&m_allocator);
        if (FAILED(hr)) return hr;
    }
    *ppAllocator = m_allocator;
    m_allocator->AddRef();
    return S_OK;
}

STDMETHODIMP BaseInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL) {
    if (!pAllocator) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_filter->FilterLock());
    pAllocator->AddRef();
    if (m_allocator) m_allocator->Release();
    m_allocator = pAllocator;
    return S_OK;
}

STDMETHODIMP BaseInputPin::Receive(IMediaSample* pSample) {
    if (!pSample) return E_POINTER;
    if (m_filter->IsStopped()) return VFW_E_WRONG_STATE;
    if (IsFlushing()) return S_FALSE;
    std::lock_guard<std::mutex> lock(m_filter->ReceiveLock());
    if (m_filter->IsStopped()) return VFW_E_WRONG_STATE;
    return OnReceive(pSample);
}

STDMETHODIMP BaseInputPin::EndOfStream() {
    if (m_filter->IsStopped()) return VFW_E_WRONG_STATE;
    if (IsFlushing()) return S_FALSE;
    std::lock_guard<std::mutex> lock(m_filter->ReceiveLock());
    return OnEndOfStream();
}

STDMETHODIMP BaseInputPin::BeginFlush() {
    m_flushing.store(true, std::memory_order_release);
    return OnBeginFlush();
}

STDMETHODIMP BaseInputPin::EndFlush() {
    HRESULT hr = OnEndFlush();
    m_flushing.store(false, std::memory_order_release);
    return hr;
}

// ---- FixedTypeInputPin --------------------------------------------------

FixedTypeInputPin::FixedTypeInputPin(BaseFilter* filter, LPCWSTR name, const GUID& majortype,
                                     const GUID& subtype)
    : BaseInputPin(filter, name), m_majortype(majortype), m_subtype(subtype) {}

HRESULT FixedTypeInputPin::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    return pmt->majortype == m_majortype && pmt->subtype == m_subtype ? S_OK
                                                                      : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT FixedTypeInputPin::GetMediaType(int n, AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    if (n != 0) return S_FALSE;
    *pmt = MakeMediaType(m_majortype, m_subtype);
    return S_OK;
}
