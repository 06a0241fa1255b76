// Smart tee (CLSID_SmartTee): one input, a "Capture" and a "Preview"
// output, both with stream control.
//
//   Input ──► Capture  (same sample, delivered on the upstream thread)
//         └─► Preview  (newest sample only, on the tee's preview thread)
//
// The capture output gets every sample synchronously, by reference.  The
// preview branch must never slow the capture branch: after the capture
// delivery, Receive only puts the sample into a one-deep slot (replacing an older one that the
// preview thread has not taken yet, which is dropped) and returns.  The preview thread delivers
// from the slot, wrapped so that the preview carries no time stamps (a renderer shows it at once).
//
// Threads: the upstream streaming thread (Receive, capture delivery), the
// preview thread (started on pause, joined on stop).  May block: the
// capture delivery, as long as the capture branch blocks; never on the
// preview branch.
#include <vfwmsgs.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "com/comclasstable.h"
#include "com/comobject.h"
#include "media/basefilter.h"
#include "media/basepin.h"
#include "media/filterregistry.h"
#include "media/mediatype.h"
#include "uuids.h"

namespace {

// A preview sample: the original buffer, referenced, without times.
class PreviewSample final : public ComObject<IMediaSample> {
public:
    explicit PreviewSample(IMediaSample* inner) : m_inner(inner) { m_inner->AddRef(); }

    STDMETHODIMP GetPointer(BYTE** pp) override { return m_inner->GetPointer(pp); }
    STDMETHODIMP_(long) GetSize() override { return m_inner->GetSize(); }
    STDMETHODIMP GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override {
        return VFW_E_SAMPLE_TIME_NOT_SET;
    }
    STDMETHODIMP SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    STDMETHODIMP IsSyncPoint() override { return m_inner->IsSyncPoint(); }
    STDMETHODIMP SetSyncPoint(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP IsPreroll() override { return S_FALSE; }
    STDMETHODIMP SetPreroll(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP_(long) GetActualDataLength() override { return m_inner->GetActualDataLength(); }
    STDMETHODIMP SetActualDataLength(long) override { return E_NOTIMPL; }
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** pp) override { return m_inner->GetMediaType(pp); }
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP IsDiscontinuity() override { return m_inner->IsDiscontinuity(); }
    STDMETHODIMP SetDiscontinuity(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_SAMPLE_TIME_NOT_SET; }
    STDMETHODIMP SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

private:
    ~PreviewSample() override { m_inner->Release(); }
    IMediaSample* m_inner;
};

class SmartTee;

class TeeInput final : public BaseInputPin {
public:
    TeeInput(SmartTee* tee);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override { return pmt ? S_OK : E_POINTER; }

protected:
    HRESULT OnReceive(IMediaSample* pSample) override;
    HRESULT OnEndOfStream() override;

private:
    SmartTee* m_tee;
};

// Outputs carry exactly the input's type.
class TeeOutput final : public BaseOutputPin {
public:
    TeeOutput(SmartTee* tee, LPCWSTR name, const GUID& category);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override;

private:
    SmartTee* m_tee;
};

class SmartTee final : public BaseFilter {
public:
    SmartTee()
        : BaseFilter(CLSID_SmartTee),
          m_input(this),
          m_capture(this, L"Capture", PIN_CATEGORY_CAPTURE),
          m_preview(this, L"Preview", PIN_CATEGORY_PREVIEW) {}

    int GetPinCount() override { return 3; }
    BasePin* GetPin(int n) override {
        switch (n) {
            case 0:
                return &m_input;
            case 1:
                return &m_capture;
            case 2:
                return &m_preview;
            default:
                return nullptr;
        }
    }

    const TeeInput& Input() const { return m_input; }

    HRESULT Receive(IMediaSample* sample) {
        HRESULT hr = m_capture.IsConnected() ? m_capture.Deliver(sample) : S_OK;
        if (m_preview.IsConnected()) {
            IMediaSample* dropped = nullptr;
            {
                std::lock_guard<std::mutex> lock(m_slotLock);
                dropped = m_slot;
                m_slot = sample;
                sample->AddRef();
            }
            m_slotReady.notify_one();
            if (dropped) dropped->Release();
        }
        return hr;
    }

    HRESULT EndOfStream() {
        if (m_capture.IsConnected()) m_capture.DeliverEndOfStream();
        if (m_preview.IsConnected()) m_preview.DeliverEndOfStream();
        return S_OK;
    }

protected:
    ~SmartTee() override { StopPreview(); }

    HRESULT OnActive() override {
        if (!m_preview.IsConnected()) return S_OK;
        {
            std::lock_guard<std::mutex> lock(m_slotLock);
            m_stopPreview = false;
        }
        m_previewThread = std::thread([this] { PreviewLoop(); });
        return S_OK;
    }

    HRESULT OnInactive() override {
        StopPreview();
        return S_OK;
    }

private:
    void StopPreview() {
        {
            std::lock_guard<std::mutex> lock(m_slotLock);
            m_stopPreview = true;
        }
        m_slotReady.notify_all();
        if (m_previewThread.joinable()) m_previewThread.join();
        IMediaSample* left = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_slotLock);
            left = m_slot;
            m_slot = nullptr;
        }
        if (left) left->Release();
    }

    void PreviewLoop() {
        for (;;) {
            IMediaSample* sample = nullptr;
            {
                std::unique_lock<std::mutex> lock(m_slotLock);
                m_slotReady.wait(lock, [this] { return m_stopPreview || m_slot; });
                if (m_stopPreview) return;
                sample = m_slot;
                m_slot = nullptr;
            }
            auto* wrapped = new PreviewSample(sample);
            sample->Release();
            // A preview that fails only loses its frames.
            m_preview.Deliver(wrapped);
            wrapped->Release();
        }
    }

    TeeInput m_input;
    TeeOutput m_capture;
    TeeOutput m_preview;

    std::mutex m_slotLock;
    std::condition_variable m_slotReady;
    IMediaSample* m_slot = nullptr;  // counted
    bool m_stopPreview = false;
    std::thread m_previewThread;
};

TeeInput::TeeInput(SmartTee* tee) : BaseInputPin(tee, L"Input"), m_tee(tee) {}
HRESULT TeeInput::OnReceive(IMediaSample* pSample) { return m_tee->Receive(pSample); }
HRESULT TeeInput::OnEndOfStream() { return m_tee->EndOfStream(); }

TeeOutput::TeeOutput(SmartTee* tee, LPCWSTR name, const GUID& category)
    : BaseOutputPin(tee, name, category, true), m_tee(tee) {}

HRESULT TeeOutput::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    const TeeInput& in = m_tee->Input();
    if (!in.IsConnected()) return VFW_E_NOT_CONNECTED;
    const AM_MEDIA_TYPE& mt = in.MediaType();
    return pmt->majortype == mt.majortype && pmt->subtype == mt.subtype &&
                   pmt->formattype == mt.formattype
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TeeOutput::GetMediaType(int n, AM_MEDIA_TYPE* pmt) {
    const TeeInput& in = m_tee->Input();
    if (n != 0 || !in.IsConnected()) return S_FALSE;
    return CopyMediaType(pmt, &in.MediaType());
}

const ComClassRegistration registration(CLSID_SmartTee, ComCreateInstance<SmartTee>);
const MediaFilterRegistration table(
    {CLSID_SmartTee, L"Smart Tee", MERIT_DO_NOT_USE, {{GUID_NULL, GUID_NULL}}, false});

}  // namespace
