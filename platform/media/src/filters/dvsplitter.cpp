// DV Splitter (CLSID_DVSplitter): one input of interleaved DV (iavs/dvsd),
// outputs, once the input is connected:
//
//   "DVVidOut0"  dvsd video: each input sample passed on as it is (the
//                whole DIF frame, by reference, never copied);
//   "AudOut00"   the first stereo pair, 16-bit PCM;
//   "AudOut01"   the second pair, only when the tape carries one
//                (32 kHz 12-bit 4-channel).
//
// The audio format is fixed when the input connects, from the DVINFO block
// of the input type (the packs of the tape's first frame, as the device
// reports them); without one it is 48 kHz.  An AVI audio stream has one rate,
// so a frame recorded at another rate (a tape switched between 12-bit and
// 16-bit mode) is converted to the stream's rate with libswresample
// (audiorateconverter.h): sound and synchronisation survive the change, and
// frames at the stream's rate pass sample-identical.  Damaged audio becomes
// silence of the frame's length (see dvaudioextractor.h).
//
// Threads: Receive runs on the upstream streaming thread and delivers every
// output synchronously, video first.
#include <vfwmsgs.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

#include "amvideo.h"
#include "audiorateconverter.h"
#include "com/comclasstable.h"
#include "com/comobject.h"
#include "dv/difpacks.h"
#include "dv/dvaudioextractor.h"
#include "media/basefilter.h"
#include "media/basepin.h"
#include "media/filterregistry.h"
#include "media/mediatype.h"
#include "mmreg.h"
#include "uuids.h"

namespace {

constexpr DWORD kFourccDvsd = 0x64737664;  // 'dvsd'
// Room for the longest frame at any rate after conversion, with what the
// converter's delay held, stereo 16-bit.
constexpr long kAudioBufferBytes =
    (dv::kMaxSamplesPerFrame + 8 + media::AudioRateConverter::kMaxExtraSamples) * 4;

int RateFromCode(int smp) {
    switch (smp) {
        case 0:
            return 48000;
        case 1:
            return 44100;
        case 2:
            return 32000;
        default:
            return 0;
    }
}

// What the input's DVINFO says about the tape.
struct TapeFormat {
    dv::Standard standard = dv::Standard::PAL;
    int sampleRate = 48000;
    bool secondPair = false;
};

TapeFormat FormatFromDvInfo(const AM_MEDIA_TYPE& mt) {
    TapeFormat f;
    if (mt.formattype != FORMAT_DvInfo || !mt.pbFormat || mt.cbFormat < sizeof(DVINFO)) return f;
    DVINFO info;
    std::memcpy(&info, mt.pbFormat, sizeof info);
    const DWORD src = info.dwDVAAuxSrc;
    if (src != 0xFFFFFFFF && (src >> 8 & 0x0F) != 0x0F) {
        const int rate = RateFromCode(src >> 27 & 7);
        if (rate) f.sampleRate = rate;
        f.standard = (src >> 21 & 1) ? dv::Standard::PAL : dv::Standard::NTSC;
        const DWORD src1 = info.dwDVAAuxSrc1;
        f.secondPair = src1 != 0xFFFFFFFF && (src1 >> 8 & 0x0F) != 0x0F && (src1 >> 24 & 7) == 1 &&
                       (src1 >> 27 & 7) == 2 && f.sampleRate == 32000;
    } else if (info.dwDVVAuxSrc != 0xFFFFFFFF && info.dwDVVAuxSrc != 0) {
        f.standard = (info.dwDVVAuxSrc >> 21 & 1) ? dv::Standard::PAL : dv::Standard::NTSC;
    }
    return f;
}

class DvSplitter;

class SplitterInput final : public FixedTypeInputPin {
public:
    explicit SplitterInput(DvSplitter* splitter);

protected:
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT OnReceive(IMediaSample* pSample) override;
    HRESULT OnEndOfStream() override;

private:
    DvSplitter* m_splitter;
};

class SplitterOutput final : public BaseOutputPin {
public:
    // pair: -1 for the video output, else the audio pair it carries.
    SplitterOutput(DvSplitter* splitter, LPCWSTR name, int pair);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override;

protected:
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override {
        if (m_pair < 0) return S_OK;  // video passes the input's samples on
        ALLOCATOR_PROPERTIES want{8, kAudioBufferBytes, 1, 0}, actual{};
        return pAlloc->SetProperties(&want, &actual);
    }

private:
    DvSplitter* m_splitter;
    const int m_pair;
};

class DvSplitter final : public BaseFilter {
public:
    DvSplitter()
        : BaseFilter(CLSID_DVSplitter),
          m_input(this),
          m_video(this, L"DVVidOut0", -1),
          m_audio{{this, L"AudOut00", 0}, {this, L"AudOut01", 1}} {}

    int GetPinCount() override { return m_pinCount.load(std::memory_order_acquire); }
    BasePin* GetPin(int n) override {
        if (n < 0 || n >= GetPinCount()) return nullptr;
        switch (n) {
            case 0:
                return &m_input;
            case 1:
                return &m_video;
            default:
                return &m_audio[n - 2];
        }
    }

    bool InputConnected() const { return m_input.IsConnected(); }
    TapeFormat Format() {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        return m_format;
    }

    // The input connected: the outputs appear, with the tape's format.
    void InputTypeKnown(const AM_MEDIA_TYPE& mt) {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        // Formats of connected outputs stay as they were agreed.
        if (!m_video.IsConnected() && !m_audio[0].IsConnected() && !m_audio[1].IsConnected())
            m_format = FormatFromDvInfo(mt);
        m_pinCount.store(m_format.secondPair ? 4 : 3, std::memory_order_release);
    }

    HRESULT Receive(IMediaSample* sample) {
        HRESULT hr = S_OK;
        if (m_video.IsConnected()) hr = m_video.Deliver(sample);
        if (!m_audio[0].IsConnected() && !m_audio[1].IsConnected()) return hr;

        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data))) return hr;
        const long size = sample->GetActualDataLength();
        const dv::AudioExtraction ex = m_extractor->Extract(
            data, size > 0 ? static_cast<size_t>(size) : 0, m_pcm[0], m_pcm[1]);
        REFERENCE_TIME t0 = 0, t1 = 0;
        const bool timed = SUCCEEDED(sample->GetTime(&t0, &t1));
        for (int pair = 0; pair < 2; ++pair) {
            if (!m_audio[pair].IsConnected()) continue;
            // A tape without the second pair in this frame gives silence there.
            if (pair == 1 && !ex.secondPair) std::memset(m_pcm[1], 0, sizeof m_pcm[1]);
            HRESULT hrAudio = DeliverAudio(pair, ex, timed ? &t0 : nullptr, &t1);
            if (SUCCEEDED(hr) && FAILED(hrAudio)) hr = hrAudio;
        }
        return hr;
    }

    HRESULT EndOfStream() {
        if (m_video.IsConnected()) m_video.DeliverEndOfStream();
        for (int pair = 0; pair < 2; ++pair) {
            if (!m_audio[pair].IsConnected()) continue;
            // The end of a converted stretch that the resampler still holds.
            DeliverPcm(pair, nullptr, 0, 0, nullptr, nullptr);
            m_audio[pair].DeliverEndOfStream();
        }
        return S_OK;
    }

protected:
    HRESULT OnActive() override {
        m_extractor = std::make_unique<dv::AudioExtractor>();
        m_converter[0].Reset();
        m_converter[1].Reset();
        return S_OK;
    }

private:
    HRESULT DeliverAudio(int pair, const dv::AudioExtraction& ex, REFERENCE_TIME* t0,
                         REFERENCE_TIME* t1) {
        return DeliverPcm(pair, m_pcm[pair], ex.samples, ex.sampleRate, t0, t1);
    }

    // Delivers `n` samples at `rate` converted to the stream's rate; with no
    // samples, only what the converter still holds, if anything.
    HRESULT DeliverPcm(int pair, const int16_t* pcm, int n, int rate, REFERENCE_TIME* t0,
                       REFERENCE_TIME* t1) {
        IMemAllocator* alloc = m_audio[pair].Allocator();
        if (!alloc) return VFW_E_NO_ALLOCATOR;
        IMediaSample* out = nullptr;
        HRESULT hr = alloc->GetBuffer(&out, nullptr, nullptr, 0);
        if (FAILED(hr)) return hr;
        BYTE* dst = nullptr;
        out->GetPointer(&dst);
        const int maxOut = out->GetSize() / 4;
        auto* samples = reinterpret_cast<int16_t*>(dst);
        const int count =
            pcm ? m_converter[pair].Convert(pcm, n, rate, m_format.sampleRate, samples, maxOut)
                : m_converter[pair].Flush(samples, maxOut);
        if (!pcm && count == 0) {
            out->Release();
            return S_OK;
        }
        out->SetActualDataLength(count * 4);
        out->SetTime(t0, t0 ? t1 : nullptr);
        out->SetSyncPoint(TRUE);
        hr = m_audio[pair].Deliver(out);
        out->Release();
        return hr;
    }

    SplitterInput m_input;
    SplitterOutput m_video;
    SplitterOutput m_audio[2];
    std::atomic<int> m_pinCount{1};
    TapeFormat m_format;
    // Streaming thread only.
    std::unique_ptr<dv::AudioExtractor> m_extractor = std::make_unique<dv::AudioExtractor>();
    media::AudioRateConverter m_converter[2];
    int16_t m_pcm[2][dv::kAudioBufferSamples * 2];
};

SplitterInput::SplitterInput(DvSplitter* splitter)
    : FixedTypeInputPin(splitter, L"Input", MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd),
      m_splitter(splitter) {}

HRESULT SplitterInput::CompleteConnect(IPin*) {
    m_splitter->InputTypeKnown(MediaType());
    return S_OK;
}
HRESULT SplitterInput::OnReceive(IMediaSample* pSample) { return m_splitter->Receive(pSample); }
HRESULT SplitterInput::OnEndOfStream() { return m_splitter->EndOfStream(); }

SplitterOutput::SplitterOutput(DvSplitter* splitter, LPCWSTR name, int pair)
    : BaseOutputPin(splitter, name), m_splitter(splitter), m_pair(pair) {}

HRESULT SplitterOutput::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    if (!m_splitter->InputConnected()) return VFW_E_NOT_CONNECTED;
    if (m_pair < 0)
        return pmt->majortype == MEDIATYPE_Video && pmt->subtype == MEDIASUBTYPE_dvsd
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    if (pmt->majortype != MEDIATYPE_Audio || pmt->subtype != MEDIASUBTYPE_PCM)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (pmt->formattype != FORMAT_WaveFormatEx || !pmt->pbFormat ||
        pmt->cbFormat < sizeof(WAVEFORMATEX))
        return VFW_E_TYPE_NOT_ACCEPTED;
    WAVEFORMATEX wfx;
    std::memcpy(&wfx, pmt->pbFormat, sizeof wfx);
    return wfx.wFormatTag == WAVE_FORMAT_PCM && wfx.nChannels == 2 && wfx.wBitsPerSample == 16 &&
                   static_cast<int>(wfx.nSamplesPerSec) == m_splitter->Format().sampleRate
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT SplitterOutput::GetMediaType(int n, AM_MEDIA_TYPE* pmt) {
    if (n != 0 || !m_splitter->InputConnected()) return S_FALSE;
    const TapeFormat f = m_splitter->Format();
    if (m_pair < 0) {
        *pmt = MakeMediaType(MEDIATYPE_Video, MEDIASUBTYPE_dvsd);
        VIDEOINFOHEADER vih{};
        const bool pal = f.standard == dv::Standard::PAL;
        const size_t frameBytes = dv::FrameSize(f.standard);
        vih.AvgTimePerFrame = pal ? 400000 : 333667;
        vih.dwBitRate = static_cast<DWORD>(frameBytes * 8 * dv::FrameRate(f.standard));
        vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vih.bmiHeader.biWidth = 720;
        vih.bmiHeader.biHeight = pal ? 576 : 480;
        vih.bmiHeader.biPlanes = 1;
        vih.bmiHeader.biBitCount = 24;
        vih.bmiHeader.biCompression = kFourccDvsd;
        vih.bmiHeader.biSizeImage = static_cast<DWORD>(frameBytes);
        pmt->formattype = FORMAT_VideoInfo;
        pmt->bFixedSizeSamples = TRUE;
        pmt->lSampleSize = static_cast<ULONG>(frameBytes);
        return SetMediaTypeFormat(*pmt, vih);
    }
    *pmt = MakeMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = 2;
    wfx.nSamplesPerSec = static_cast<DWORD>(f.sampleRate);
    wfx.wBitsPerSample = 16;
    wfx.nBlockAlign = 4;
    wfx.nAvgBytesPerSec = wfx.nSamplesPerSec * 4;
    pmt->formattype = FORMAT_WaveFormatEx;
    pmt->bFixedSizeSamples = TRUE;
    pmt->lSampleSize = 4;
    return SetMediaTypeFormat(*pmt, wfx);
}

const ComClassRegistration registration(CLSID_DVSplitter, ComCreateInstance<DvSplitter>);
const MediaFilterRegistration table({CLSID_DVSplitter,
                                     L"DV Splitter",
                                     MERIT_NORMAL,
                                     {{MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd}},
                                     false});

}  // namespace
