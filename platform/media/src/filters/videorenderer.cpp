// Video Renderer (CLSID_VideoRenderer, "Video Renderer"): RGB32 video in,
// shown in a window of its own (VideoWindow) that IVideoWindow places in
// an owner's client area.
//
// A picture is shown as soon as it arrives, whatever its time stamp: the
// renderer serves a live preview, where the newest frame is the right one.
// Receive copies the picture and returns; it never waits for the window's
// thread, which draws the newest picture when it gets to paint.  Pictures
// that a newer one replaces before they were drawn count as dropped
// (IQualProp).  End of stream raises EC_COMPLETE.
//
// IVideoWindow answers VFW_E_NOT_CONNECTED while the input is not
// connected.  Without an owner the renderer has no window and shows
// nothing; the window is made on the owner's thread when an owner is given,
// and destroyed (on its thread) when the owner is taken away, with the
// owner, or when the filter goes.
#include <vfwmsgs.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "amvideo.h"
#include "com/comclasstable.h"
#include "com/comobject.h"
#include "evcode.h"
#include "media/basefilter.h"
#include "media/basepin.h"
#include "media/filterregistry.h"
#include "media/rendererwindow.h"
#include "uuids.h"
#include "videowindow.h"

namespace {

constexpr LONG kMaxSide = 4096;

// The picture format of an RGB32 video type, or false.
bool Rgb32Format(const AM_MEDIA_TYPE* pmt, BITMAPINFOHEADER* header) {
    if (pmt->majortype != MEDIATYPE_Video || pmt->subtype != MEDIASUBTYPE_RGB32 ||
        pmt->formattype != FORMAT_VideoInfo || !pmt->pbFormat ||
        pmt->cbFormat < sizeof(VIDEOINFOHEADER))
        return false;
    VIDEOINFOHEADER vih;
    std::memcpy(&vih, pmt->pbFormat, sizeof vih);
    const BITMAPINFOHEADER& h = vih.bmiHeader;
    if (h.biBitCount != 32 || h.biCompression != BI_RGB || h.biWidth <= 0 || h.biWidth > kMaxSide ||
        h.biHeight == 0 || std::abs(h.biHeight) > kMaxSide)
        return false;
    *header = h;
    return true;
}

class VideoRenderer;

class RendererInput final : public BaseInputPin {
public:
    explicit RendererInput(VideoRenderer* renderer);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override {
        if (!pmt) return E_POINTER;
        BITMAPINFOHEADER header;
        return Rgb32Format(pmt, &header) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

protected:
    HRESULT OnReceive(IMediaSample* pSample) override;
    HRESULT OnEndOfStream() override;

private:
    VideoRenderer* m_renderer;
};

class VideoRenderer final : public BaseFilter,
                            public IVideoWindow,
                            public IQualProp,
                            public IMediaRendererWindow {
public:
    VideoRenderer()
        : BaseFilter(CLSID_VideoRenderer), m_input(this), m_window(VideoWindow::Create()) {}
    MEDIA_FILTER_IUNKNOWN

    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_input : nullptr; }

    // ---- IVideoWindow ----------------------------------------------------

    STDMETHODIMP put_WindowStyle(long WindowStyle) override {
        if (!m_input.IsConnected()) return VFW_E_NOT_CONNECTED;
        if (WindowStyle & (WS_DISABLED | WS_MINIMIZE | WS_MAXIMIZE | WS_HSCROLL | WS_VSCROLL))
            return E_INVALIDARG;
        m_window->SetStyle(WindowStyle);
        return S_OK;
    }
    STDMETHODIMP get_WindowStyle(long* WindowStyle) override {
        if (!WindowStyle) return E_POINTER;
        if (!m_input.IsConnected()) return VFW_E_NOT_CONNECTED;
        *WindowStyle = m_window->Style();
        return S_OK;
    }
    STDMETHODIMP put_Visible(long Visible) override {
        if (!m_input.IsConnected()) return VFW_E_NOT_CONNECTED;
        if (Visible != OATRUE && Visible != OAFALSE) return E_INVALIDARG;
        m_window->SetVisible(Visible == OATRUE);
        return S_OK;
    }
    STDMETHODIMP put_Owner(OAHWND Owner) override {
        if (!m_input.IsConnected()) return VFW_E_NOT_CONNECTED;
        m_window->SetOwner(reinterpret_cast<HWND>(Owner));
        return S_OK;
    }
    STDMETHODIMP put_MessageDrain(OAHWND Drain) override {
        if (!m_input.IsConnected()) return VFW_E_NOT_CONNECTED;
        m_window->SetDrain(reinterpret_cast<HWND>(Drain));
        return S_OK;
    }
    STDMETHODIMP SetWindowPosition(long Left, long Top, long Width, long Height) override {
        if (!m_input.IsConnected()) return VFW_E_NOT_CONNECTED;
        m_window->SetPosition(Left, Top, Width, Height);
        return S_OK;
    }

    // ---- IQualProp ---------------------------------------------------------

    STDMETHODIMP get_FramesDroppedInRenderer(int* pcFrames) override {
        if (!pcFrames) return E_POINTER;
        *pcFrames = static_cast<int>(m_window->FramesDropped());
        return S_OK;
    }
    STDMETHODIMP get_FramesDrawn(int* pcFramesDrawn) override {
        if (!pcFramesDrawn) return E_POINTER;
        *pcFramesDrawn = static_cast<int>(m_window->FramesDrawn());
        return S_OK;
    }

    // ---- IMediaRendererWindow ------------------------------------------------

    STDMETHODIMP GetWindowHandle(HWND* phwnd) override {
        if (!phwnd) return E_POINTER;
        *phwnd = m_window->Handle();
        return *phwnd ? S_OK : S_FALSE;
    }

    // ---- streaming -----------------------------------------------------------

    HRESULT Receive(IMediaSample* sample) {
        BYTE* bits = nullptr;
        if (FAILED(sample->GetPointer(&bits)) || !bits) return S_OK;
        const long length = sample->GetActualDataLength();
        const size_t size = m_imageSize.load(std::memory_order_acquire);
        if (!size || length <= 0 || static_cast<size_t>(length) < size) return S_OK;  // no picture
        m_window->Present(bits, size);
        return S_OK;
    }

    HRESULT EndOfStream() { return NotifyEvent(EC_COMPLETE, S_OK, 0); }

protected:
    ~VideoRenderer() override { m_window->Close(); }

    void* GetInterface(REFIID riid) override {
        if (riid == IID_IVideoWindow) return static_cast<IVideoWindow*>(this);
        if (riid == IID_IQualProp) return static_cast<IQualProp*>(this);
        if (riid == IID_IMediaRendererWindow) return static_cast<IMediaRendererWindow*>(this);
        return nullptr;
    }

    HRESULT OnActive() override {
        // The connection is fixed until the filter stops again.
        BITMAPINFOHEADER header{};
        if (!m_input.IsConnected() || !Rgb32Format(&m_input.MediaType(), &header)) return S_OK;
        m_imageSize.store(static_cast<size_t>(header.biWidth) * std::abs(header.biHeight) * 4,
                          std::memory_order_release);
        m_window->SetFormat(header);
        m_window->ResetCounts();
        return S_OK;
    }

private:
    RendererInput m_input;
    const std::shared_ptr<VideoWindow> m_window;
    std::atomic<size_t> m_imageSize{0};  // set while stopped, read by Receive
};

RendererInput::RendererInput(VideoRenderer* renderer)
    : BaseInputPin(renderer, L"Input"), m_renderer(renderer) {}
HRESULT RendererInput::OnReceive(IMediaSample* pSample) { return m_renderer->Receive(pSample); }
HRESULT RendererInput::OnEndOfStream() { return m_renderer->EndOfStream(); }

const ComClassRegistration registration(CLSID_VideoRenderer, ComCreateInstance<VideoRenderer>);
const MediaFilterRegistration table({CLSID_VideoRenderer,
                                     L"Video Renderer",
                                     MERIT_PREFERRED,
                                     {{MEDIATYPE_Video, MEDIASUBTYPE_RGB32}},
                                     true});

}  // namespace
