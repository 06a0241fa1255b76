// The memory allocator of a connection: a fixed set of buffers handed out
// as reference-counted samples.  A sample goes back to the free list when
// its last reference is released, so samples travel through a graph by
// reference and are never copied.  GetBuffer blocks while every buffer is
// in use, until one comes back or the allocator is decommitted.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "iids.h"
#include "strmif.h"

class MemAllocator;

class MediaSample final : public IMediaSample {
public:
    MediaSample(MemAllocator* allocator, BYTE* buffer, long size);
    ~MediaSample();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetPointer(BYTE** ppBuffer) override;
    STDMETHODIMP_(long) GetSize() override;
    STDMETHODIMP GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    STDMETHODIMP SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    STDMETHODIMP IsSyncPoint() override;
    STDMETHODIMP SetSyncPoint(BOOL bIsSyncPoint) override;
    STDMETHODIMP IsPreroll() override;
    STDMETHODIMP SetPreroll(BOOL bIsPreroll) override;
    STDMETHODIMP_(long) GetActualDataLength() override;
    STDMETHODIMP SetActualDataLength(long length) override;
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* pMediaType) override;
    STDMETHODIMP IsDiscontinuity() override;
    STDMETHODIMP SetDiscontinuity(BOOL bDiscontinuity) override;
    STDMETHODIMP GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
    STDMETHODIMP SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;

    // Called by the allocator when it hands the sample out.
    void Prepare();

private:
    MemAllocator* m_allocator;
    BYTE* m_buffer;
    long m_size;
    std::atomic<ULONG> m_cRef{0};
    // The sample's properties are written by the thread that fills it,
    // before it is delivered; the delivery gives the ordering.
    long m_actual = 0;
    REFERENCE_TIME m_tStart = 0, m_tEnd = 0;
    LONGLONG m_mStart = 0, m_mEnd = 0;
    bool m_timeValid = false, m_mediaTimeValid = false;
    bool m_sync = false, m_preroll = false, m_discontinuity = false;
    AM_MEDIA_TYPE* m_pmt = nullptr;
};

class MemAllocator final : public IMemAllocator {
public:
    // A new allocator with one reference.
    static HRESULT Create(IMemAllocator** ppAllocator);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                               ALLOCATOR_PROPERTIES* pActual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                           REFERENCE_TIME* pEndTime, DWORD dwFlags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample* pBuffer) override;

    // Whether p points into one of this allocator's buffers.
    bool OwnsBuffer(const BYTE* p) const;

private:
    MemAllocator() = default;
    ~MemAllocator();

    std::atomic<ULONG> m_cRef{1};
    mutable std::mutex m_lock;
    std::condition_variable m_freed;
    ALLOCATOR_PROPERTIES m_props{};
    bool m_propsSet = false;
    bool m_committed = false;
    int m_outstanding = 0;
    std::unique_ptr<BYTE[]> m_memory;
    size_t m_memorySize = 0;
    std::vector<std::unique_ptr<MediaSample>> m_samples;
    std::vector<MediaSample*> m_free;
};
