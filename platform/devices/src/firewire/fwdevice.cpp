// A DV unit on the IEEE-1394 bus.
#include "fwdevice.h"

#include <edevdefs.h>
#include <win32/utf8.h>
#include <winerror.h>

#include <algorithm>

#include "avc.h"
#include "dv/dvtimecode.h"
#include "dv/dvvideoinfo.h"
#include "dvmediatype.h"
#include "fwtrace.h"

namespace dvfw {

namespace {

std::string Trimmed(const std::string& s) {
    const char* space = " \t\r\n";
    const size_t b = s.find_first_not_of(space);
    if (b == std::string::npos) return std::string();
    const size_t e = s.find_last_not_of(space);
    return s.substr(b, e - b + 1);
}

}  // namespace

std::wstring FriendlyNameOf(const ConfigRom& rom) {
    // Texts stop at their first NUL (leaves are padded to whole quadlets).
    const std::string vendor = Trimmed(rom.vendorName.substr(0, rom.vendorName.find('\0')));
    const std::string model = Trimmed(rom.modelName.substr(0, rom.modelName.find('\0')));
    std::string name;
    if (!vendor.empty() && !model.empty())
        name = model.rfind(vendor, 0) == 0 ? model : vendor + " " + model;
    else
        name = !model.empty() ? model : vendor;
    if (name.empty()) return L"DV Tape Device";
    return win32_utf8::WideFromUtf8(name);
}

namespace {

// What a connection says of a unit that has sent no frame yet: its
// standard, from the signal mode, in the VAUX source pack (the 50/60 flag,
// PC3 bit 5); every other pack unknown (FF), so the audio is taken to be
// the usual 48 kHz until frames tell otherwise.
DVINFO DvInfoOfSignal(bool pal) {
    DVINFO info;
    info.dwDVAAuxSrc = info.dwDVAAuxCtl = info.dwDVAAuxSrc1 = info.dwDVAAuxCtl1 = 0xFFFFFFFF;
    info.dwDVVAuxSrc = pal ? 0xFF20FFFF : 0xFF00FFFF;
    info.dwDVVAuxCtl = 0xFFFFFFFF;
    return info;
}

// Frames count as flowing while the last one is at most this old.
constexpr std::chrono::milliseconds kFlowing{200};
// A unit that sent nothing when probed is not probed again for this long.
constexpr std::chrono::seconds kProbeAgain{5};

}  // namespace

FwDevice::FwDevice(std::shared_ptr<BusPort> port, int portIndex, int node, unsigned generation,
                   const ConfigRom& rom)
    : m_port(std::move(port)),
      m_portIndex(portIndex),
      m_guid(rom.guid),
      m_name(FriendlyNameOf(rom)),
      m_node(node),
      m_generation(generation),
      m_assembler([this](const uint8_t* f, size_t n) { OnFrame(f, n); }) {}

FwDevice::~FwDevice() {
    std::lock_guard<std::mutex> lock(m_receiveLock);
    m_receiver.reset();
}

void FwDevice::ClearQueuesLocked() {
    for (FwStream* s : m_streams) s->queue.clear();
}

void FwDevice::Found(int node, unsigned generation) {
    m_node.store(node, std::memory_order_release);
    m_generation.store(generation, std::memory_order_release);
    if (Plug()) return;  // it was gone: its filters stream again from their next run
    std::lock_guard<std::mutex> lock(m_receiveLock);
    if (m_receiver) m_receiver->Reconnect(node, generation);
}

HRESULT FwDevice::Transaction(const std::vector<uint8_t>& command, std::vector<uint8_t>* response) {
    if (!Plugged()) return E_FAIL;
    // Between a bus reset and the scan that finds the unit again, its node
    // number may be another unit's.
    if (m_port->Generation() != m_generation.load(std::memory_order_acquire)) return E_FAIL;
    response->clear();
    if (m_port->Avc(Node(), command, response) != AvcStatus::Answered || response->empty())
        return E_FAIL;
    return S_OK;
}

template <typename Ask>
HRESULT FwDevice::CachedStatus(Cached& cache, long* value, Ask ask) {
    std::lock_guard<std::mutex> lock(m_statusLock);
    const auto now = Clock::now();
    if (!cache.valid || now - cache.time >= kStatusMaxAge) {
        cache.hr = ask(&cache.value);
        cache.time = now;
        cache.valid = true;
    }
    if (SUCCEEDED(cache.hr)) *value = cache.value;
    return cache.hr;
}

HRESULT FwDevice::PutMode(long mode) {
    if (avc::IsRecordMode(mode)) return E_ACCESSDENIED;  // this driver only plays tapes
    const std::optional<std::vector<uint8_t>> command = avc::ModeCommand(mode);
    if (!command) return E_INVALIDARG;
    std::vector<uint8_t> response;
    HRESULT hr = Transaction(*command, &response);
    {
        // The transport may have moved: the next reads ask the unit.
        std::lock_guard<std::mutex> lock(m_statusLock);
        m_mode.valid = m_timecode.valid = false;
    }
    return FAILED(hr) ? hr : avc::ControlResult(response);
}

template <typename Parse>
HRESULT FwDevice::Inquire(const std::vector<uint8_t>& command, Parse parse, long* value) {
    std::vector<uint8_t> response;
    HRESULT hr = Transaction(command, &response);
    if (FAILED(hr)) return hr;
    const auto answer = parse(response);
    if (!answer) return E_FAIL;
    *value = static_cast<long>(*answer);
    return S_OK;
}

HRESULT FwDevice::GetMode(long* mode) {
    if (!mode) return E_POINTER;
    return CachedStatus(m_mode, mode, [this](long* m) {
        return Inquire(avc::TransportStateCommand(), avc::ModeFromTransportState, m);
    });
}

bool FwDevice::FramesFlowing() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lastFrame.valid && Clock::now() - m_lastFrame.time < kFlowing;
}

HRESULT FwDevice::GetTimecode(DWORD* bcd) {
    if (!bcd) return E_POINTER;
    if (!Plugged()) return E_FAIL;
    // While frames arrive, the timecode of the picture shown is in them.
    if (FramesFlowing()) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_lastFrame.timecode) {
            *bcd = *m_lastFrame.timecode;
            return S_OK;
        }
    }
    long value = 0;
    HRESULT hr = CachedStatus(m_timecode, &value, [this](long* v) {
        return Inquire(avc::TimeCodeCommand(), avc::TimecodeFromResponse, v);
    });
    if (SUCCEEDED(hr)) {
        *bcd = static_cast<DWORD>(value);
        return S_OK;
    }
    // The unit does not tell: the subcode of the last frame received.
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_lastFrame.timecode) return E_FAIL;
    *bcd = *m_lastFrame.timecode;
    return S_OK;
}

HRESULT FwDevice::GetSignalCode(long* code) {
    if (!code) return E_POINTER;
    HRESULT hr = CachedStatus(m_signal, code, [this](long* c) {
        std::vector<uint8_t> response;
        HRESULT r = Transaction(avc::OutputSignalModeCommand(), &response);
        if (FAILED(r)) return r;
        const std::optional<long> signal = avc::SignalCodeFromResponse(response);
        if (!signal) return S_FALSE;  // answered, but not a signal mode
        *c = *signal;
        return S_OK;
    });
    if (hr == S_OK) return S_OK;
    if (FAILED(hr)) return hr;
    // A unit that does not report its signal mode: what its frames say.
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_lastFrame.valid) return E_FAIL;
    *code = m_lastFrame.signal;
    return S_OK;
}

bool FwDevice::LastFrameFormat(DVINFO* info, size_t* frameSize) {
    *info = DVINFO{};
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_lastFrame.valid) {
            *info = m_lastFrame.dvinfo;
            *frameSize = m_lastFrame.size;
            return true;
        }
    }
    long code = 0;
    if (FAILED(GetSignalCode(&code))) return false;
    if (code == dv::kSignal625_50_SD || code == dv::kSignal625_50_SDL) {
        *frameSize = dv::kFrameSizePAL;
        *info = DvInfoOfSignal(true);
    } else if (code == dv::kSignal525_60_SD || code == dv::kSignal525_60_SDL) {
        *frameSize = dv::kFrameSizeNTSC;
        *info = DvInfoOfSignal(false);
    } else {
        return false;
    }
    return true;
}

void FwDevice::ProbeFormat(std::chrono::milliseconds wait) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_lastFrame.valid || !Plugged()) return;
    }
    bool started = false;
    {
        std::lock_guard<std::mutex> lock(m_receiveLock);
        if (m_probed && Clock::now() - m_lastProbe < kProbeAgain) return;
        m_probed = true;
        m_lastProbe = Clock::now();
        if (!m_receiver) {
            if (!StartReceptionLocked()) return;
            started = true;
        }
    }
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_cv.wait_for(lock, wait, [this] { return m_lastFrame.valid || !Plugged(); });
    }
    if (!started) return;
    std::lock_guard<std::mutex> lock(m_receiveLock);
    bool unused;
    {
        std::lock_guard<std::mutex> streams(m_lock);
        unused = m_streams.empty();
    }
    if (unused) m_receiver.reset();
}

bool FwDevice::StartReceptionLocked() {
    // A new reception starts with no frame in progress.
    m_assembler = DvFrameAssembler([this](const uint8_t* f, size_t n) { OnFrame(f, n); });
    m_assemblerDropped = 0;
    m_receiver = m_port->ReceiveDv(Node(), m_generation.load(std::memory_order_acquire), this);
    return m_receiver != nullptr;
}

HRESULT FwDevice::Attach(FwStream* s) {
    if (!Plugged()) return E_FAIL;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        s->stop = false;
        s->broken = false;
        s->queue.clear();
        m_streams.push_back(s);
    }
    std::lock_guard<std::mutex> lock(m_receiveLock);
    if (m_receiver || StartReceptionLocked()) return S_OK;
    std::lock_guard<std::mutex> streams(m_lock);
    std::erase(m_streams, s);
    return E_FAIL;
}

void FwDevice::Detach(FwStream* s) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::erase(m_streams, s);
        s->queue.clear();
    }
    // The receiver stops outside m_lock (its thread takes it, and stopping
    // waits for that thread) but under m_receiveLock, so that no new
    // reception starts while the old one still runs.
    std::lock_guard<std::mutex> lock(m_receiveLock);
    bool last;
    {
        std::lock_guard<std::mutex> streams(m_lock);
        last = m_streams.empty();
    }
    if (last) m_receiver.reset();
}

HRESULT FwDevice::NextFrame(FwStream* s, FwFrame* frame) {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (s->broken) return E_FAIL;
        if (s->stop || !Plugged()) return S_FALSE;
        if (!s->queue.empty()) {
            *frame = std::move(s->queue.front());
            s->queue.pop_front();
            return S_OK;
        }
        m_cv.wait(lock);
    }
}

void FwDevice::Recycle(FwFrame&& frame) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_spare.size() < kFrameQueue + 2) m_spare.push_back(std::move(frame.data));
}

void FwDevice::OnPacket(const uint8_t* data, size_t size, unsigned lost) {
    m_assembler.AddPacket(data, size, lost);
    const long dropped = m_assembler.Dropped();
    if (dropped == m_assemblerDropped) return;
    const long more = dropped - m_assemblerDropped;
    m_assemblerDropped = dropped;
    trace::Line("node %d: %ld frames lost", Node(), more);
    std::lock_guard<std::mutex> lock(m_lock);
    for (FwStream* s : m_streams)
        if (s->Offered()) s->dropped->fetch_add(more, std::memory_order_relaxed);
}

void FwDevice::OnReceptionBroken() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (FwStream* s : m_streams) s->broken = true;
    }
    m_cv.notify_all();
}

void FwDevice::OnFrame(const uint8_t* frame, size_t size) {
    FrameInfo info;
    info.valid = true;
    info.time = Clock::now();
    info.size = size;
    dv::FrameView view;
    if (dv::ViewFrame(frame, size, view)) {
        info.dvinfo = dvdeck::DvInfoOf(view);
        info.signal = dv::SignalCode(view);
        if (const std::optional<dv::Timecode> tc = dv::ReadTimecode(view))
            info.timecode = dv::TimecodeBcd(*tc);
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_lastFrame = info;
        if (!Plugged()) return;
        bool taken = false;  // the assembled buffer went to a queue
        for (FwStream* s : m_streams) {
            if (!s->Offered()) continue;
            if (s->queue.size() >= kFrameQueue) {
                s->dropped->fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            FwFrame f;
            f.size = size;
            if (!taken) {
                if (!m_spare.empty()) {
                    f.data = std::move(m_spare.back());
                    m_spare.pop_back();
                }
                m_assembler.ExchangeBuffer(f.data);
                taken = true;
            } else {
                f.data.assign(frame, frame + size);
            }
            s->queue.push_back(std::move(f));
        }
    }
    m_cv.notify_all();
}

}  // namespace dvfw
