// Fixed-buffer allocator and its reference-counted samples.
#include "media/allocator.h"

#include <vfwmsgs.h>

#include "media/mediatype.h"

// ---- MediaSample -------------------------------------------------------

MediaSample::MediaSample(MemAllocator* allocator, BYTE* buffer, long size)
    : m_allocator(allocator), m_buffer(buffer), m_size(size) {}

MediaSample::~MediaSample() { DeleteMediaType(m_pmt); }

void MediaSample::Prepare() {
    m_cRef.store(1, std::memory_order_relaxed);
    m_actual = 0;
    m_timeValid = m_mediaTimeValid = false;
    m_sync = m_preroll = m_discontinuity = false;
    DeleteMediaType(m_pmt);
    m_pmt = nullptr;
}

STDMETHODIMP MediaSample::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMediaSample) {
        *ppv = static_cast<IMediaSample*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) MediaSample::AddRef() {
    return m_cRef.fetch_add(1, std::memory_order_relaxed) + 1;
}

STDMETHODIMP_(ULONG) MediaSample::Release() {
    ULONG n = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (n == 0) m_allocator->ReleaseBuffer(this);
    return n;
}

STDMETHODIMP MediaSample::GetPointer(BYTE** ppBuffer) {
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = m_buffer;
    return S_OK;
}
STDMETHODIMP_(long) MediaSample::GetSize() { return m_size; }

STDMETHODIMP MediaSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
    if (!pTimeStart || !pTimeEnd) return E_POINTER;
    if (!m_timeValid) return VFW_E_SAMPLE_TIME_NOT_SET;
    *pTimeStart = m_tStart;
    *pTimeEnd = m_tEnd;
    return S_OK;
}
STDMETHODIMP MediaSample::SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
    if (!pTimeStart) {
        m_timeValid = false;
        return S_OK;
    }
    m_tStart = *pTimeStart;
    m_tEnd = pTimeEnd ? *pTimeEnd : *pTimeStart + 1;
    m_timeValid = true;
    return S_OK;
}
STDMETHODIMP MediaSample::IsSyncPoint() { return m_sync ? S_OK : S_FALSE; }
STDMETHODIMP MediaSample::SetSyncPoint(BOOL b) {
    m_sync = b != FALSE;
    return S_OK;
}
STDMETHODIMP MediaSample::IsPreroll() { return m_preroll ? S_OK : S_FALSE; }
STDMETHODIMP MediaSample::SetPreroll(BOOL b) {
    m_preroll = b != FALSE;
    return S_OK;
}
STDMETHODIMP_(long) MediaSample::GetActualDataLength() { return m_actual; }
STDMETHODIMP MediaSample::SetActualDataLength(long length) {
    if (length < 0 || length > m_size) return VFW_E_BUFFER_OVERFLOW;
    m_actual = length;
    return S_OK;
}
STDMETHODIMP MediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType) {
    if (!ppMediaType) return E_POINTER;
    *ppMediaType = nullptr;
    if (!m_pmt) return S_FALSE;
    *ppMediaType = CreateMediaType(m_pmt);
    return *ppMediaType ? S_OK : E_OUTOFMEMORY;
}
STDMETHODIMP MediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType) {
    DeleteMediaType(m_pmt);
    m_pmt = nullptr;
    if (!pMediaType) return S_OK;
    m_pmt = CreateMediaType(pMediaType);
    return m_pmt ? S_OK : E_OUTOFMEMORY;
}
STDMETHODIMP MediaSample::IsDiscontinuity() { return m_discontinuity ? S_OK : S_FALSE; }
STDMETHODIMP MediaSample::SetDiscontinuity(BOOL b) {
    m_discontinuity = b != FALSE;
    return S_OK;
}
STDMETHODIMP MediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    if (!pTimeStart || !pTimeEnd) return E_POINTER;
    if (!m_mediaTimeValid) return VFW_E_SAMPLE_TIME_NOT_SET;
    *pTimeStart = m_mStart;
    *pTimeEnd = m_mEnd;
    return S_OK;
}
STDMETHODIMP MediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    if (!pTimeStart || !pTimeEnd) {
        m_mediaTimeValid = false;
        return S_OK;
    }
    m_mStart = *pTimeStart;
    m_mEnd = *pTimeEnd;
    m_mediaTimeValid = true;
    return S_OK;
}

// ---- MemAllocator ------------------------------------------------------

HRESULT MemAllocator::Create(IMemAllocator** ppAllocator) {
    if (!ppAllocator) return E_POINTER;
    *ppAllocator = new MemAllocator();
    return S_OK;
}

MemAllocator::~MemAllocator() = default;

STDMETHODIMP MemAllocator::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMemAllocator) {
        *ppv = static_cast<IMemAllocator*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}
STDMETHODIMP_(ULONG) MemAllocator::AddRef() {
    return m_cRef.fetch_add(1, std::memory_order_relaxed) + 1;
}
STDMETHODIMP_(ULONG) MemAllocator::Release() {
    ULONG n = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (n == 0) delete this;
    return n;
}

STDMETHODIMP MemAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                         ALLOCATOR_PROPERTIES* pActual) {
    if (!pRequest || !pActual) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_committed) return VFW_E_ALREADY_COMMITTED;
    if (m_outstanding) return VFW_E_BUFFERS_OUTSTANDING;
    if (pRequest->cBuffers <= 0 || pRequest->cbBuffer <= 0 || pRequest->cbPrefix < 0)
        return E_INVALIDARG;
    m_props = *pRequest;
    if (m_props.cbAlign <= 0) m_props.cbAlign = 1;
    m_propsSet = true;
    *pActual = m_props;
    return S_OK;
}

STDMETHODIMP MemAllocator::GetProperties(ALLOCATOR_PROPERTIES* pProps) {
    if (!pProps) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    *pProps = m_props;
    return S_OK;
}

STDMETHODIMP MemAllocator::Commit() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_propsSet) return VFW_E_SIZENOTSET;
    if (m_committed) return S_OK;
    const size_t align = static_cast<size_t>(m_props.cbAlign);
    const size_t stride =
        (static_cast<size_t>(m_props.cbBuffer + m_props.cbPrefix) + align - 1) / align * align;
    const size_t count = static_cast<size_t>(m_props.cBuffers);
    if (m_samples.size() != count || m_memorySize != stride * count + align) {
        if (m_outstanding) return VFW_E_BUFFERS_OUTSTANDING;
        m_free.clear();
        m_samples.clear();
        m_memorySize = stride * count + align;
        m_memory.reset(new (std::nothrow) BYTE[m_memorySize]);
        if (!m_memory) {
            m_memorySize = 0;
            return E_OUTOFMEMORY;
        }
        auto base = reinterpret_cast<uintptr_t>(m_memory.get());
        base = (base + align - 1) / align * align;
        for (size_t i = 0; i < count; ++i) {
            BYTE* p = reinterpret_cast<BYTE*>(base + i * stride) + m_props.cbPrefix;
            m_samples.push_back(std::make_unique<MediaSample>(this, p, m_props.cbBuffer));
            m_free.push_back(m_samples.back().get());
        }
    }
    m_committed = true;
    return S_OK;
}

STDMETHODIMP MemAllocator::Decommit() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_committed = false;
    m_freed.notify_all();
    return S_OK;
}

STDMETHODIMP MemAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME*, REFERENCE_TIME*,
                                     DWORD dwFlags) {
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = nullptr;
    MediaSample* sample = nullptr;
    {
        std::unique_lock<std::mutex> lock(m_lock);
        for (;;) {
            if (!m_committed) return VFW_E_NOT_COMMITTED;
            if (!m_free.empty()) break;
            if (dwFlags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
            m_freed.wait(lock);
        }
        sample = m_free.back();
        m_free.pop_back();
        ++m_outstanding;
    }
    AddRef();  // an outstanding sample keeps its allocator
    sample->Prepare();
    *ppBuffer = sample;
    return S_OK;
}

STDMETHODIMP MemAllocator::ReleaseBuffer(IMediaSample* pBuffer) {
    if (!pBuffer) return E_POINTER;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_free.push_back(static_cast<MediaSample*>(pBuffer));
        --m_outstanding;
        m_freed.notify_one();
    }
    Release();
    return S_OK;
}

bool MemAllocator::OwnsBuffer(const BYTE* p) const {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_memory) return false;
    return p >= m_memory.get() && p < m_memory.get() + m_memorySize;
}
