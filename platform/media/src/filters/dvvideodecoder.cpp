// DV Video Decoder (CLSID_DVVidDec, "DV Video Decoder"): dvsd video in,
// RGB32 out (a bottom-up DIB, as RGB32 media types are), decoded by
// libavcodec's dvvideo decoder and converted by libswscale.
//
// IIPDVDec chooses the picture size: DVRESOLUTION_FULL, HALF, QUARTER and
// DC decode at libavcodec lowres 0 to 3 (720 x 576 PAL, 720 x 480 NTSC,
// halved at each step).  The default is half size, what a preview asks for.
// The output type carries the size, so a change while the output is
// connected reconnects it (the filter must be stopped then).
//
// A frame the decoder rejects (a damaged tape) is skipped; the stream goes
// on.  Threads: Receive on the upstream streaming thread; the decoder is
// opened when the filter leaves the stopped state and closed when it
// returns to it.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <vfwmsgs.h>

#include <atomic>
#include <cstring>

#include "amvideo.h"
#include "com/comclasstable.h"
#include "com/comobject.h"
#include "media/basefilter.h"
#include "media/basepin.h"
#include "media/filterregistry.h"
#include "media/mediatype.h"
#include "uuids.h"

namespace {

constexpr long kMaxPictureBytes = 720 * 576 * 4;

int LowresOf(int resolution) { return resolution - DVRESOLUTION_FULL; }

class DvVideoDecoder;

class DecoderInput final : public FixedTypeInputPin {
public:
    explicit DecoderInput(DvVideoDecoder* decoder);

protected:
    HRESULT OnReceive(IMediaSample* pSample) override;
    HRESULT OnEndOfStream() override;

private:
    DvVideoDecoder* m_decoder;
};

class DecoderOutput final : public BaseOutputPin {
public:
    explicit DecoderOutput(DvVideoDecoder* decoder);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override;

protected:
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES*) override {
        ALLOCATOR_PROPERTIES want{2, kMaxPictureBytes, 1, 0}, actual{};
        return pAlloc->SetProperties(&want, &actual);
    }

private:
    DvVideoDecoder* m_decoder;
};

class DvVideoDecoder final : public BaseFilter, public IIPDVDec {
public:
    DvVideoDecoder() : BaseFilter(CLSID_DVVidDec), m_input(this), m_output(this) {}
    MEDIA_FILTER_IUNKNOWN

    int GetPinCount() override { return 2; }
    BasePin* GetPin(int n) override {
        return n == 0 ? static_cast<BasePin*>(&m_input) : n == 1 ? &m_output : nullptr;
    }

    STDMETHODIMP get_IPDisplay(int* displayPix) override {
        if (!displayPix) return E_POINTER;
        *displayPix = m_resolution.load(std::memory_order_acquire);
        return S_OK;
    }

    STDMETHODIMP put_IPDisplay(int displayPix) override {
        if (displayPix < DVRESOLUTION_FULL || displayPix > DVRESOLUTION_DC) return E_INVALIDARG;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        const int old = m_resolution.load(std::memory_order_acquire);
        if (displayPix == old) return S_OK;
        if (!m_output.IsConnected()) {
            m_resolution.store(displayPix, std::memory_order_release);
            return S_OK;
        }
        if (!IsStopped()) return VFW_E_NOT_STOPPED;
        // The connected type carries the size: connect again with the new one.
        ComPtr<IPin> peer(m_output.Peer());
        m_resolution.store(displayPix, std::memory_order_release);
        peer->Disconnect();
        m_output.Disconnect();
        HRESULT hr = m_output.Connect(peer.Get(), nullptr);
        if (FAILED(hr)) {
            m_resolution.store(old, std::memory_order_release);
            m_output.Connect(peer.Get(), nullptr);
        }
        return hr;
    }

    // Picture size at the current resolution, for the input's standard.
    void PictureSize(int* width, int* height) {
        int h = 576;
        const AM_MEDIA_TYPE& in = m_input.MediaType();
        if (m_input.IsConnected() && in.formattype == FORMAT_VideoInfo && in.pbFormat &&
            in.cbFormat >= sizeof(VIDEOINFOHEADER)) {
            VIDEOINFOHEADER vih;
            std::memcpy(&vih, in.pbFormat, sizeof vih);
            if (vih.bmiHeader.biHeight == 480 || vih.bmiHeader.biHeight == -480) h = 480;
        }
        const int lowres = LowresOf(m_resolution.load(std::memory_order_acquire));
        *width = 720 >> lowres;
        *height = h >> lowres;
    }

    bool InputConnected() const { return m_input.IsConnected(); }

    HRESULT Receive(IMediaSample* sample) {
        if (!m_codec || !m_output.IsConnected()) return S_OK;
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data))) return S_OK;
        m_packet->data = data;
        m_packet->size = sample->GetActualDataLength();
        if (avcodec_send_packet(m_codec, m_packet) < 0) return S_OK;
        m_packet->data = nullptr;
        m_packet->size = 0;
        if (avcodec_receive_frame(m_codec, m_frame) < 0) return S_OK;
        HRESULT hr = DeliverPicture(sample);
        av_frame_unref(m_frame);
        return hr;
    }

    HRESULT EndOfStream() { return m_output.IsConnected() ? m_output.DeliverEndOfStream() : S_OK; }

protected:
    ~DvVideoDecoder() override { CloseDecoder(); }

    void* GetInterface(REFIID riid) override {
        return riid == IID_IIPDVDec ? static_cast<IIPDVDec*>(this) : nullptr;
    }

    HRESULT OnActive() override {
        CloseDecoder();
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
        if (!codec) return E_FAIL;
        m_codec = avcodec_alloc_context3(codec);
        m_packet = av_packet_alloc();
        m_frame = av_frame_alloc();
        if (!m_codec || !m_packet || !m_frame) {
            CloseDecoder();
            return E_OUTOFMEMORY;
        }
        m_codec->lowres = LowresOf(m_resolution.load(std::memory_order_acquire));
        m_codec->thread_count = 1;
        if (avcodec_open2(m_codec, codec, nullptr) < 0) {
            CloseDecoder();
            return E_FAIL;
        }
        PictureSize(&m_width, &m_height);
        return S_OK;
    }

    HRESULT OnInactive() override {
        CloseDecoder();
        return S_OK;
    }

private:
    HRESULT DeliverPicture(IMediaSample* in) {
        IMemAllocator* alloc = m_output.Allocator();
        if (!alloc) return VFW_E_NO_ALLOCATOR;
        IMediaSample* out = nullptr;
        HRESULT hr = alloc->GetBuffer(&out, nullptr, nullptr, 0);
        if (FAILED(hr)) return hr;
        BYTE* dst = nullptr;
        out->GetPointer(&dst);
        const int stride = m_width * 4;
        m_sws = sws_getCachedContext(m_sws, m_frame->width, m_frame->height,
                                     static_cast<AVPixelFormat>(m_frame->format), m_width, m_height,
                                     AV_PIX_FMT_BGR0, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!m_sws || out->GetSize() < stride * m_height) {
            out->Release();
            return S_OK;
        }
        // Bottom-up: the first row of the picture is the last of the buffer.
        // The source is walked upwards instead of the destination, as
        // libswscale's vector code spoils the first pixels of each row when
        // it writes with a negative stride.
        const AVPixFmtDescriptor* desc =
            av_pix_fmt_desc_get(static_cast<AVPixelFormat>(m_frame->format));
        if (!desc) {
            out->Release();
            return S_OK;
        }
        const uint8_t* src[4] = {};
        int srcStrides[4] = {};
        for (int i = 0; i < 4 && m_frame->data[i]; ++i) {
            const int rows = i == 0 || i == 3
                                 ? m_frame->height
                                 : AV_CEIL_RSHIFT(m_frame->height, desc->log2_chroma_h);
            src[i] = m_frame->data[i] + static_cast<ptrdiff_t>(m_frame->linesize[i]) * (rows - 1);
            srcStrides[i] = -m_frame->linesize[i];
        }
        uint8_t* planes[4] = {dst, nullptr, nullptr, nullptr};
        int strides[4] = {stride, 0, 0, 0};
        sws_scale(m_sws, src, srcStrides, 0, m_frame->height, planes, strides);
        out->SetActualDataLength(stride * m_height);
        REFERENCE_TIME t0 = 0, t1 = 0;
        if (SUCCEEDED(in->GetTime(&t0, &t1))) out->SetTime(&t0, &t1);
        out->SetSyncPoint(TRUE);
        hr = m_output.Deliver(out);
        out->Release();
        return hr;
    }

    void CloseDecoder() {
        avcodec_free_context(&m_codec);
        av_packet_free(&m_packet);
        av_frame_free(&m_frame);
        sws_freeContext(m_sws);
        m_sws = nullptr;
    }

    DecoderInput m_input;
    DecoderOutput m_output;
    std::atomic<int> m_resolution{DVRESOLUTION_HALF};
    // Set up on activation, used on the streaming thread.
    AVCodecContext* m_codec = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    SwsContext* m_sws = nullptr;
    int m_width = 0, m_height = 0;
};

DecoderInput::DecoderInput(DvVideoDecoder* decoder)
    : FixedTypeInputPin(decoder, L"XForm In", MEDIATYPE_Video, MEDIASUBTYPE_dvsd),
      m_decoder(decoder) {}
HRESULT DecoderInput::OnReceive(IMediaSample* pSample) { return m_decoder->Receive(pSample); }
HRESULT DecoderInput::OnEndOfStream() { return m_decoder->EndOfStream(); }

DecoderOutput::DecoderOutput(DvVideoDecoder* decoder)
    : BaseOutputPin(decoder, L"XForm Out"), m_decoder(decoder) {}

HRESULT DecoderOutput::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    if (!m_decoder->InputConnected()) return VFW_E_NOT_CONNECTED;
    if (pmt->majortype != MEDIATYPE_Video || pmt->subtype != MEDIASUBTYPE_RGB32)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (pmt->formattype != FORMAT_VideoInfo || !pmt->pbFormat ||
        pmt->cbFormat < sizeof(VIDEOINFOHEADER))
        return VFW_E_TYPE_NOT_ACCEPTED;
    VIDEOINFOHEADER vih;
    std::memcpy(&vih, pmt->pbFormat, sizeof vih);
    int w = 0, h = 0;
    m_decoder->PictureSize(&w, &h);
    return vih.bmiHeader.biWidth == w && vih.bmiHeader.biHeight == h &&
                   vih.bmiHeader.biBitCount == 32
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT DecoderOutput::GetMediaType(int n, AM_MEDIA_TYPE* pmt) {
    if (n != 0 || !m_decoder->InputConnected()) return S_FALSE;
    int w = 0, h = 0;
    m_decoder->PictureSize(&w, &h);
    VIDEOINFOHEADER vih{};
    vih.AvgTimePerFrame = h * (720 / w) == 480 ? 333667 : 400000;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = w;
    vih.bmiHeader.biHeight = h;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 32;
    vih.bmiHeader.biCompression = BI_RGB;
    vih.bmiHeader.biSizeImage = static_cast<DWORD>(w * h * 4);
    vih.rcSource = RECT{0, 0, w, h};
    vih.rcTarget = vih.rcSource;
    *pmt = MakeMediaType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32);
    pmt->formattype = FORMAT_VideoInfo;
    pmt->bFixedSizeSamples = TRUE;
    pmt->lSampleSize = vih.bmiHeader.biSizeImage;
    return SetMediaTypeFormat(*pmt, vih);
}

const ComClassRegistration registration(CLSID_DVVidDec, ComCreateInstance<DvVideoDecoder>);
const MediaFilterRegistration table({CLSID_DVVidDec,
                                     L"DV Video Decoder",
                                     MERIT_PREFERRED,
                                     {{MEDIATYPE_Video, MEDIASUBTYPE_dvsd}},
                                     false});

}  // namespace
