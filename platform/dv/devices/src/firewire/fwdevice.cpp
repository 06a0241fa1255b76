// A DV unit on the IEEE-1394 bus.
#include "fwdevice.h"

#include <edevdefs.h>
#include <winerror.h>

#include <algorithm>

#include "avc.h"
#include "dvdevices/deckconfig.h"
#include "dvmediatype.h"
#include "dvtimecode.h"
#include "dvvideoinfo.h"

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
    return dvdeck::WideFromUtf8(name);
}

FwDevice::FwDevice(std::shared_ptr<BusPort> port, int portIndex, int node, const ConfigRom& rom)
    : m_port(std::move(port)),
      m_portIndex(portIndex),
      m_guid(rom.guid),
      m_name(FriendlyNameOf(rom)),
      m_node(node),
      m_assembler([this](const uint8_t* f, size_t n) { OnFrame(f, n); }) {}

FwDevice::~FwDevice() {
    std::lock_guard<std::mutex> lock(m_receiveLock);
    m_receiver.reset();
}

void FwDevice::ClearQueuesLocked() {
    for (FwStream* s : m_streams) s->queue.clear();
}

bool FwDevice::Plug(int node) {
    m_node.store(node, std::memory_order_release);
    return DvDevice::Plug();
}

void FwDevice::BusReset(int node) {
    if (Plug(node)) return;  // it was gone: its filters stream again from their next run
    std::lock_guard<std::mutex> lock(m_receiveLock);
    if (!m_receiver) return;
    m_receiver.reset();
    m_assembler = DvFrameAssembler([this](const uint8_t* f, size_t n) { OnFrame(f, n); });
    m_assemblerDropped = 0;
    m_receiver = m_port->ReceiveDv(Node(), this);
}

HRESULT FwDevice::Transaction(const std::vector<uint8_t>& command, std::vector<uint8_t>* response) {
    if (!Plugged()) return E_FAIL;
    response->clear();
    if (m_port->Avc(Node(), command, response) != AvcStatus::Answered || response->empty())
        return E_FAIL;
    return S_OK;
}

HRESULT FwDevice::PutMode(long mode) {
    if (avc::IsRecordMode(mode)) return E_ACCESSDENIED;  // this driver only plays tapes
    const std::optional<std::vector<uint8_t>> command = avc::ModeCommand(mode);
    if (!command) return E_INVALIDARG;
    std::vector<uint8_t> response;
    HRESULT hr = Transaction(*command, &response);
    return FAILED(hr) ? hr : avc::ControlResult(response);
}

HRESULT FwDevice::GetMode(long* mode) {
    if (!mode) return E_POINTER;
    std::vector<uint8_t> response;
    HRESULT hr = Transaction(avc::TransportStateCommand(), &response);
    if (FAILED(hr)) return hr;
    const std::optional<long> m = avc::ModeFromTransportState(response);
    if (!m) return E_FAIL;
    *mode = *m;
    return S_OK;
}

HRESULT FwDevice::GetTimecode(DWORD* bcd) {
    if (!bcd) return E_POINTER;
    if (!Plugged()) return E_FAIL;
    std::vector<uint8_t> response;
    if (SUCCEEDED(Transaction(avc::TimeCodeCommand(), &response))) {
        if (const std::optional<DWORD> tc = avc::TimecodeFromResponse(response)) {
            *bcd = *tc;
            return S_OK;
        }
    }
    // The unit does not tell: the subcode of the last frame received.
    std::lock_guard<std::mutex> lock(m_lastLock);
    dv::FrameView view;
    if (m_last.empty() || !dv::ViewFrame(m_last.data(), m_last.size(), view)) return E_FAIL;
    const std::optional<dv::Timecode> tc = dv::ReadTimecode(view);
    if (!tc) return E_FAIL;
    *bcd = dv::TimecodeBcd(*tc);
    return S_OK;
}

HRESULT FwDevice::GetSignalCode(long* code) {
    if (!code) return E_POINTER;
    std::vector<uint8_t> response;
    HRESULT hr = Transaction(avc::OutputSignalModeCommand(), &response);
    if (FAILED(hr)) return hr;
    if (const std::optional<long> c = avc::SignalCodeFromResponse(response)) {
        *code = *c;
        return S_OK;
    }
    // A unit that does not report its signal mode: what its frames say.
    std::lock_guard<std::mutex> lock(m_lastLock);
    dv::FrameView view;
    if (m_last.empty() || !dv::ViewFrame(m_last.data(), m_last.size(), view)) return E_FAIL;
    *code = dv::SignalCode(view);
    return S_OK;
}

bool FwDevice::LastFrameFormat(DVINFO* info, size_t* frameSize) {
    *info = DVINFO{};
    {
        std::lock_guard<std::mutex> lock(m_lastLock);
        dv::FrameView view;
        if (!m_last.empty() && dv::ViewFrame(m_last.data(), m_last.size(), view)) {
            *info = dvdeck::DvInfoOf(view);
            *frameSize = dv::FrameSize(view.standard);
            return true;
        }
    }
    long code = 0;
    if (FAILED(GetSignalCode(&code))) return false;
    if (code == dv::kSignal625_50_SD || code == dv::kSignal625_50_SDL)
        *frameSize = dv::kFrameSizePAL;
    else if (code == dv::kSignal525_60_SD || code == dv::kSignal525_60_SDL)
        *frameSize = dv::kFrameSizeNTSC;
    else
        return false;
    return true;
}

HRESULT FwDevice::Attach(FwStream* s) {
    if (!Plugged()) return E_FAIL;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        s->stop = false;
        s->queue.clear();
        m_streams.push_back(s);
    }
    std::lock_guard<std::mutex> lock(m_receiveLock);
    if (m_receiver) return S_OK;
    // A new reception starts with no frame in progress.
    m_assembler = DvFrameAssembler([this](const uint8_t* f, size_t n) { OnFrame(f, n); });
    m_assemblerDropped = 0;
    m_receiver = m_port->ReceiveDv(Node(), this);
    if (m_receiver) return S_OK;
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

bool FwDevice::NextFrame(FwStream* s, std::vector<uint8_t>* frame) {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (s->stop || !Plugged()) return false;
        if (!s->queue.empty()) {
            *frame = std::move(s->queue.front());
            s->queue.pop_front();
            return true;
        }
        m_cv.wait(lock);
    }
}

void FwDevice::OnPacket(const uint8_t* data, size_t size, unsigned lost) {
    m_assembler.AddPacket(data, size, lost);
    const long dropped = m_assembler.Dropped();
    if (dropped == m_assemblerDropped) return;
    const long more = dropped - m_assemblerDropped;
    m_assemblerDropped = dropped;
    std::lock_guard<std::mutex> lock(m_lock);
    for (FwStream* s : m_streams)
        if (s->Offered())
            s->dropped->fetch_add(more, std::memory_order_relaxed);
}

void FwDevice::OnFrame(const uint8_t* frame, size_t size) {
    {
        std::lock_guard<std::mutex> lock(m_lastLock);
        m_last.assign(frame, frame + size);
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!Plugged()) return;
        for (FwStream* s : m_streams) {
            if (!s->Offered()) continue;
            if (s->queue.size() < kFrameQueue)
                s->queue.emplace_back(frame, frame + size);
            else
                s->dropped->fetch_add(1, std::memory_order_relaxed);
        }
    }
    m_cv.notify_all();
}

}  // namespace dvfw
