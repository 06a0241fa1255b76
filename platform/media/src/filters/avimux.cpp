// AVI Mux (CLSID_AviDest): inputs made on demand (a fresh unconnected input
// appears whenever the last one connects), one output "AVI Out" of
// MEDIATYPE_Stream that connects to the File Writer.
//
//   Type-1: one input of interleaved DV  -> one 'iavs' stream, DVINFO from
//           the first frame's AAUX and VAUX packs;
//   Type-2: dvsd video and PCM inputs    -> a 'vids' 'dvsd' stream and
//           'auds' PCM streams, in the order the inputs connected.
//
// The multiplexer writes the file through media::avi::AviWriter, whose
// writer thread takes the chunks in arrival order through a bounded queue
// and large buffered writes (every interleaving mode comes to that).
// Samples are copied once, into that queue, so that the device's buffers go
// back at once and the queue, not the device, rides out a slow disk.
//
// File life: when the graph leaves the stopped state the file named by the
// connected writer is created (empty); the AVI structure is laid down with
// the first sample (the frame fixes the video standard and the DVINFO);
// stopping finalises it (sizes, indexes; a run that recorded nothing still
// leaves a valid empty AVI).  A failed write raises EC_ERRORABORT once, with
// the reason as an HRESULT; later samples are dropped while the preview
// goes on, and the file keeps every chunk written before the failure.
//
// When every connected input has seen the end of its stream the filter
// raises EC_COMPLETE.
//
// Threads: Receive on the upstream streaming thread(s), under one lock;
// the writer thread is AviWriter's.
#include <evcode.h>
#include <fcntl.h>
#include <unistd.h>
#include <vfwmsgs.h>
#include <winerror.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "amvideo.h"
#include "com/comclasstable.h"
#include "com/comobject.h"
#include "dv/difpacks.h"
#include "filetarget.h"
#include "media/avi/aviwriter.h"
#include "media/basefilter.h"
#include "media/basepin.h"
#include "media/filterregistry.h"
#include "media/mediatype.h"
#include "mmreg.h"
#include "uuids.h"
#include "writerhooks.h"

namespace {

using media::avi::AviWriter;
using media::avi::DvSystem;
using media::avi::StreamKind;
using media::avi::WriteStatus;

HRESULT ErrorOf(WriteStatus status) {
    switch (status) {
        case WriteStatus::Ok:
            return S_OK;
        case WriteStatus::DiskFull:
            return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        case WriteStatus::FileTooLarge:
            return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
        default:
            return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    }
}

bool KindOf(const AM_MEDIA_TYPE& mt, StreamKind* kind) {
    if (mt.majortype == MEDIATYPE_Interleaved && mt.subtype == MEDIASUBTYPE_dvsd) {
        *kind = StreamKind::InterleavedDv;
        return true;
    }
    if (mt.majortype == MEDIATYPE_Video && mt.subtype == MEDIASUBTYPE_dvsd) {
        *kind = StreamKind::DvVideo;
        return true;
    }
    if (mt.majortype == MEDIATYPE_Audio && mt.subtype == MEDIASUBTYPE_PCM &&
        mt.formattype == FORMAT_WaveFormatEx && mt.pbFormat &&
        mt.cbFormat >= sizeof(WAVEFORMATEX)) {
        WAVEFORMATEX wfx;
        std::memcpy(&wfx, mt.pbFormat, sizeof wfx);
        if (wfx.wFormatTag != WAVE_FORMAT_PCM || wfx.nChannels != 2 || wfx.wBitsPerSample != 16 ||
            wfx.nSamplesPerSec == 0)
            return false;
        *kind = StreamKind::Pcm;
        return true;
    }
    return false;
}

// The standard a connection type announces, when it announces one.
DvSystem SystemOfType(const AM_MEDIA_TYPE& mt) {
    if (mt.formattype == FORMAT_VideoInfo && mt.pbFormat &&
        mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        VIDEOINFOHEADER vih;
        std::memcpy(&vih, mt.pbFormat, sizeof vih);
        if (vih.bmiHeader.biHeight == 480 || vih.bmiHeader.biHeight == -480)
            return DvSystem::Ntsc525_60;
    }
    if (mt.formattype == FORMAT_DvInfo && mt.pbFormat && mt.cbFormat >= sizeof(DVINFO)) {
        DVINFO info;
        std::memcpy(&info, mt.pbFormat, sizeof info);
        if (info.dwDVVAuxSrc != 0xFFFFFFFF && !(info.dwDVVAuxSrc >> 21 & 1))
            return DvSystem::Ntsc525_60;
    }
    return DvSystem::Pal625_50;
}

class AviMux;

class MuxInput final : public BaseInputPin {
public:
    MuxInput(AviMux* mux, int index, const std::wstring& name);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;

protected:
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT OnReceive(IMediaSample* pSample) override;
    HRESULT OnEndOfStream() override;

private:
    AviMux* m_mux;
    const int m_index;
};

class MuxOutput final : public BaseOutputPin {
public:
    explicit MuxOutput(AviMux* mux);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override {
        if (!pmt) return E_POINTER;
        return pmt->majortype == MEDIATYPE_Stream ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override {
        if (n != 0) return S_FALSE;
        *pmt = MakeMediaType(MEDIATYPE_Stream, MEDIASUBTYPE_Avi);
        return S_OK;
    }
};

class AviMux final : public BaseFilter, public IConfigAviMux, public IConfigInterleaving {
public:
    AviMux() : BaseFilter(CLSID_AviDest), m_output(this) { AddInput(); }
    MEDIA_FILTER_IUNKNOWN

    int GetPinCount() override {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        return static_cast<int>(m_inputs.size()) + 1;
    }
    BasePin* GetPin(int n) override {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (n == 0) return &m_output;
        if (n < 1 || n > static_cast<int>(m_inputs.size())) return nullptr;
        return m_inputs[n - 1].get();
    }

    STDMETHODIMP SetOutputCompatibilityIndex(BOOL fOldIndex) override {
        m_compatibilityIndex.store(fOldIndex != FALSE, std::memory_order_relaxed);
        return S_OK;
    }

    STDMETHODIMP put_Mode(InterleavingMode mode) override {
        switch (mode) {
            case INTERLEAVE_NONE:
            case INTERLEAVE_CAPTURE:
            case INTERLEAVE_NONE_BUFFERED:
                // Chunks go to the file in arrival order, through the writer
                // thread's buffered writes, in each of these modes.
                return S_OK;
            case INTERLEAVE_FULL:
                return E_NOTIMPL;
            default:
                return E_INVALIDARG;
        }
    }

    // At most one DV stream: a second video or interleaved input is refused.
    HRESULT Accepts(const MuxInput* pin, const AM_MEDIA_TYPE& mt) {
        StreamKind kind;
        if (!KindOf(mt, &kind)) return VFW_E_TYPE_NOT_ACCEPTED;
        if (kind == StreamKind::Pcm) return S_OK;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        for (auto& in : m_inputs) {
            StreamKind other;
            if (in.get() != pin && in->IsConnected() && KindOf(in->MediaType(), &other) &&
                other != StreamKind::Pcm)
                return VFW_E_TYPE_NOT_ACCEPTED;
        }
        return S_OK;
    }

    // An input connected: offer a fresh one.
    void InputConnected() {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        for (auto& in : m_inputs)
            if (!in->IsConnected()) return;
        AddInput();
    }

    HRESULT Receive(int input, IMediaSample* sample) {
        std::lock_guard<std::mutex> lock(m_fileLock);
        if (!m_writer || m_failed) return S_OK;
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data))) return S_OK;
        const long size = sample->GetActualDataLength();
        if (size <= 0) return S_OK;
        if (!m_writer->IsOpen() && !OpenWriter(input, data, static_cast<size_t>(size))) return S_OK;
        const int stream = input < static_cast<int>(m_streamOf.size()) ? m_streamOf[input] : -1;
        if (stream < 0) return S_OK;
        const WriteStatus status = m_writer->WriteChunk(stream, data, static_cast<size_t>(size));
        if (status != WriteStatus::Ok) Fail(ErrorOf(status));
        return S_OK;
    }

    // Every connected input at its end: the recording is complete.
    HRESULT EndOfStream(int input) {
        std::lock_guard<std::mutex> lock(m_fileLock);
        if (input >= static_cast<int>(m_plan.size()) || !m_plan[input].used || m_plan[input].ended)
            return S_OK;
        m_plan[input].ended = true;
        for (const Planned& p : m_plan)
            if (p.used && !p.ended) return S_OK;
        NotifyEvent(EC_COMPLETE, S_OK, 0);
        return S_OK;
    }

protected:
    void* GetInterface(REFIID riid) override {
        if (riid == IID_IConfigAviMux) return static_cast<IConfigAviMux*>(this);
        if (riid == IID_IConfigInterleaving) return static_cast<IConfigInterleaving*>(this);
        return nullptr;
    }

    HRESULT OnActive() override {
        std::string path;
        if (IPin* peer = m_output.Peer()) {
            ComPtr<IMediaFileTarget> target;
            if (SUCCEEDED(peer->QueryInterface(
                    IID_IMediaFileTarget,
                    reinterpret_cast<void**>(target.ReleaseAndGetAddressOf()))))
                path = target->TargetPath();
        }
        std::lock_guard<std::mutex> lock(m_fileLock);
        m_failed = false;
        m_path = path;
        PlanStreams();
        if (path.empty()) return S_OK;  // no writer behind: nothing is recorded
        media::avi::AviWriterOptions options;
        options.compatibilityIndex = m_compatibilityIndex.load(std::memory_order_relaxed);
        m_hooks = media::WriterHooksFromEnvironment();
        m_hooks.Apply(options);
        m_writer = std::make_unique<AviWriter>(options);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            Fail(ErrorOf(media::avi::WriteStatusFromErrno(errno)));
        } else {
            ::close(fd);
        }
        return S_OK;
    }

    HRESULT OnInactive() override {
        std::lock_guard<std::mutex> lock(m_fileLock);
        if (!m_writer) return S_OK;
        // A run that recorded nothing still leaves a valid (empty) file.
        if (!m_writer->IsOpen() && !m_failed) OpenWriter(-1, nullptr, 0);
        const WriteStatus status = m_writer->Close();
        m_hooks.Report(m_writer->Totals());
        if (status != WriteStatus::Ok) Fail(ErrorOf(status));
        m_writer.reset();
        return S_OK;
    }

private:
    void AddInput() {
        const int index = static_cast<int>(m_inputs.size());
        wchar_t name[16];
        std::swprintf(name, 16, L"Input %02d", index + 1);
        m_inputs.push_back(std::make_unique<MuxInput>(this, index, name));
    }

    // What each connected input becomes in the file, as the connection
    // types say; taken when the graph starts (connections do not change
    // until it stops).  Called under m_lock.
    void PlanStreams() {
        m_plan.assign(m_inputs.size(), Planned{});
        for (size_t i = 0; i < m_inputs.size(); ++i) {
            MuxInput& in = *m_inputs[i];
            Planned& p = m_plan[i];
            if (!in.IsConnected() || !KindOf(in.MediaType(), &p.kind)) continue;
            p.used = true;
            const AM_MEDIA_TYPE& mt = in.MediaType();
            p.system = SystemOfType(mt);
            if (p.kind == StreamKind::Pcm) {
                WAVEFORMATEX wfx;
                std::memcpy(&wfx, mt.pbFormat, sizeof wfx);
                p.sampleRate = wfx.nSamplesPerSec;
            } else if (mt.formattype == FORMAT_DvInfo && mt.pbFormat &&
                       mt.cbFormat >= sizeof(DVINFO)) {
                DVINFO d;
                std::memcpy(&d, mt.pbFormat, sizeof d);
                p.info = {d.dwDVAAuxSrc,  d.dwDVAAuxCtl, d.dwDVAAuxSrc1,
                          d.dwDVAAuxCtl1, d.dwDVVAuxSrc, d.dwDVVAuxCtl};
            }
        }
    }

    // Declares the streams and creates the file.  `first` is the input
    // whose sample (data, size) starts the recording; its frame fixes the
    // DV standard and the DVINFO.  Called under m_fileLock.
    bool OpenWriter(int first, const BYTE* data, size_t size) {
        m_streamOf.assign(m_plan.size(), -1);
        for (size_t i = 0; i < m_plan.size(); ++i) {
            Planned p = m_plan[i];
            if (!p.used) continue;
            dv::FrameView view;
            if (static_cast<int>(i) == first && dv::ViewFrame(data, size, view)) {
                p.system =
                    view.standard == dv::Standard::PAL ? DvSystem::Pal625_50 : DvSystem::Ntsc525_60;
                dv::DvInfoPacks packs;
                dv::ReadDvInfoPacks(view, packs);
                p.info = {dv::PackDword(packs.aauxSrc),  dv::PackDword(packs.aauxCtl),
                          dv::PackDword(packs.aauxSrc1), dv::PackDword(packs.aauxCtl1),
                          dv::PackDword(packs.vauxSrc),  dv::PackDword(packs.vauxCtl)};
            }
            switch (p.kind) {
                case StreamKind::InterleavedDv:
                    m_streamOf[i] = m_writer->AddInterleavedDvStream(p.system, p.info);
                    break;
                case StreamKind::DvVideo:
                    m_streamOf[i] = m_writer->AddDvVideoStream(p.system);
                    break;
                case StreamKind::Pcm:
                    m_streamOf[i] = m_writer->AddPcmStream(p.sampleRate);
                    break;
            }
        }
        const WriteStatus status = m_writer->Open(m_path);
        if (status != WriteStatus::Ok) {
            Fail(ErrorOf(status));
            return false;
        }
        return true;
    }

    // The first failure of a run: reported once, later samples dropped.
    void Fail(HRESULT hr) {
        if (m_failed) return;
        m_failed = true;
        NotifyEvent(EC_ERRORABORT, hr, 0);
    }

    MuxOutput m_output;
    std::vector<std::unique_ptr<MuxInput>> m_inputs;  // under m_lock
    std::atomic<bool> m_compatibilityIndex{true};

    std::mutex m_fileLock;  // guards what follows
    std::unique_ptr<AviWriter> m_writer;
    media::WriterHooks m_hooks;
    std::string m_path;
    struct Planned {
        bool used = false;
        StreamKind kind = StreamKind::DvVideo;
        DvSystem system = DvSystem::Pal625_50;
        media::avi::DvInfo info;
        uint32_t sampleRate = 48000;
        bool ended = false;
    };
    std::vector<Planned> m_plan;  // per input
    std::vector<int> m_streamOf;  // stream of each input, -1 for none
    bool m_failed = false;
};

MuxInput::MuxInput(AviMux* mux, int index, const std::wstring& name)
    : BaseInputPin(mux, name.c_str()), m_mux(mux), m_index(index) {}

HRESULT MuxInput::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    return m_mux->Accepts(this, *pmt);
}
HRESULT MuxInput::CompleteConnect(IPin*) {
    m_mux->InputConnected();
    return S_OK;
}
HRESULT MuxInput::OnReceive(IMediaSample* pSample) { return m_mux->Receive(m_index, pSample); }
HRESULT MuxInput::OnEndOfStream() { return m_mux->EndOfStream(m_index); }

MuxOutput::MuxOutput(AviMux* mux) : BaseOutputPin(mux, L"AVI Out") {}

const ComClassRegistration registration(CLSID_AviDest, ComCreateInstance<AviMux>);
const MediaFilterRegistration table(
    {CLSID_AviDest, L"AVI Mux", MERIT_DO_NOT_USE, {{GUID_NULL, GUID_NULL}}, false});

}  // namespace
