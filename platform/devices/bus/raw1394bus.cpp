// The system's IEEE-1394 bus, on libraw1394 (ports, nodes, bus resets,
// FCP and isochronous reception), librom1394 (configuration ROMs) and
// libiec61883 (connection management).
//
// A port has two handles: one for AV/C and ROM reads (handles are not
// thread-safe: a mutex serialises them) and one the reset watcher waits
// on.  Each DV reception has a handle and a thread of its own, and sets
// its connection up again on that thread after a bus reset.  Without kernel
// support or without permission on the device files no handle opens, and
// the bus has no ports.
//
// AV/C transactions are our own, on the FCP registers, not libavc1394's:
// that one takes the first FCP response from any node as the answer,
// resends control commands a slow unit is still carrying out, dereferences
// a null pointer when an INTERIM answer is not followed by the final one
// within 200 ms, and starts and stops FCP listening (which leaks) for every
// command.  Here the handle listens for as long as it lives, and an answer
// counts only when it comes from the node the command went to and echoes
// its subunit and opcode.
#include <arpa/inet.h>
#include <libavc1394/rom1394.h>
#include <libiec61883/iec61883.h>
#include <libraw1394/raw1394.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "firewire/continuity.h"
#include "firewire/fwbus.h"
#include "firewire/fwtrace.h"

namespace dvfw {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Node IDs on the local bus carry the bus number 0x3FF in their top bits.
constexpr nodeid_t kLocalBus = 0xFFC0;
constexpr int kBroadcastChannel = 63;
// Registers in every node's CSR space.
constexpr nodeaddr_t kCsrBase = 0xFFFFF0000000ULL;
constexpr nodeaddr_t kFcpCommand = kCsrBase + 0xB00;
constexpr nodeaddr_t kBusInfoGuid = kCsrBase + 0x40C;  // two quadlets
constexpr nodeaddr_t kOutputMasterPlug = kCsrBase + 0x900;
// AV/C: a unit answers, finally or with INTERIM, within 100 ms; some are
// slower.  After INTERIM the final answer may take a while (a transport
// starting).
constexpr milliseconds kAnswerWait{250};
constexpr milliseconds kFinalWait{3000};
constexpr int kStatusAttempts = 2;
// How long a request is tried again while the node is being refreshed
// after a bus reset (the kernel answers EAGAIN for about 500 ms).
constexpr milliseconds kRefreshWait{1500};
constexpr milliseconds kRetryPause{50};
// Response codes.
constexpr uint8_t kCtypeControl = 0x00;
constexpr uint8_t kResponseInterim = 0x0F;
// TRANSPORT STATE is answered with the state's own opcode (LOAD MEDIUM,
// RECORD, PLAY or WIND) in place of its own.
constexpr uint8_t kOpTransportState = 0xD0;

bool AnswersOpcode(uint8_t command, uint8_t answer) {
    if (command == kOpTransportState)
        return answer == command || (answer >= 0xC1 && answer <= 0xC4);
    return answer == command;
}
// DV over IEC 61883: one data block of 480 bytes per data packet.
constexpr unsigned kCipHeader = 8;
constexpr unsigned kDvPacket = 480;
// Receive buffer: about a quarter of a second of DV.
constexpr unsigned kReceivePackets = 2000;
constexpr int kReceiveIrqInterval = 250;

// Handles pending events without waiting; at most a few.
void Drain(raw1394handle_t h) {
    pollfd p{raw1394_get_fd(h), POLLIN, 0};
    for (int i = 0; i < 16 && poll(&p, 1, 0) > 0 && (p.revents & POLLIN); ++i)
        raw1394_loop_iterate(h);  // -1 may come from an unrelated device event
}

// Waits up to `wait` for events on the handle and handles one batch.
void Iterate(raw1394handle_t h, milliseconds wait) {
    pollfd p{raw1394_get_fd(h), POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::max<int64_t>(wait.count(), 0))) > 0 &&
        (p.revents & POLLIN))
        raw1394_loop_iterate(h);
}

struct Handle {
    raw1394handle_t h = nullptr;
    explicit Handle(int port) { h = raw1394_new_handle_on_port(port); }
    ~Handle() {
        if (h) raw1394_destroy_handle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

// Runs `request` until it succeeds, fails for another reason than a bus
// reset the handle or the node has not caught up with, or `wait` is over.
template <typename Request>
bool RetryAfterReset(raw1394handle_t h, milliseconds wait, Request request) {
    const auto deadline = Clock::now() + wait;
    for (;;) {
        if (request() == 0) return true;
        if (errno != EAGAIN || Clock::now() + kRetryPause > deadline) return false;
        Drain(h);  // a reset not yet seen by the handle
        std::this_thread::sleep_for(kRetryPause);
    }
}

class RawReceiver final : public DvReceiver {
public:
    static std::unique_ptr<DvReceiver> Start(int port, int node, unsigned generation,
                                             DvPacketSink* sink) {
        auto r = std::unique_ptr<RawReceiver>(new RawReceiver(port, sink));
        raw1394handle_t h = r->m_handle.h;
        if (!h) return nullptr;
        raw1394_set_userdata(h, r.get());
        r->m_generation = generation;
        r->m_output = static_cast<nodeid_t>(kLocalBus | node);
        r->m_channel = r->Connect();
        trace::Line("receive node %d: channel %d%s", node, r->m_channel,
                    r->m_connected ? " (connected)" : " (broadcast, no plugs)");
        if (raw1394_iso_recv_init(h, &RawReceiver::Packet, kReceivePackets, kCipHeader + kDvPacket,
                                  static_cast<unsigned char>(r->m_channel),
                                  RAW1394_DMA_PACKET_PER_BUFFER, kReceiveIrqInterval) < 0)
            return nullptr;
        if (raw1394_iso_recv_start(h, -1, -1, 0) < 0) {
            raw1394_iso_shutdown(h);
            return nullptr;
        }
        r->m_receiving = true;
        r->m_thread = std::thread([p = r.get()] { p->Loop(); });
        return r;
    }

    ~RawReceiver() override {
        m_stop.store(true, std::memory_order_release);
        if (m_thread.joinable()) m_thread.join();
        raw1394handle_t h = m_handle.h;
        if (m_receiving) raw1394_iso_shutdown(h);
        if (!m_connected) return;
        // A connection made in an earlier bus generation went with the
        // reset; its node ID may now be another unit's.
        Drain(h);
        if (raw1394_get_generation(h) != m_generation) {
            trace::Line("receive: connection of generation %u not broken (bus now %u)",
                        m_generation, raw1394_get_generation(h));
            return;
        }
        iec61883_cmp_disconnect(h, m_output, m_oplug, raw1394_get_local_id(h), m_iplug,
                                static_cast<unsigned>(m_channel),
                                static_cast<unsigned>(m_bandwidth));
        trace::Line("receive: disconnected node %d channel %d", m_output & 0x3F, m_channel);
    }

    int Channel() const override { return m_channel; }

    void Reconnect(int node, unsigned generation) override {
        std::lock_guard<std::mutex> lock(m_reconnectLock);
        m_reconnect = {node, generation, Clock::now() + kRefreshWait, true};
    }

private:
    struct ReconnectRequest {
        int node = 0;
        unsigned generation = 0;
        Clock::time_point deadline;
        bool pending = false;
    };

    RawReceiver(int port, DvPacketSink* sink) : m_handle(port), m_sink(sink) {}

    // Connects the unit's output plug to us; the channel to listen on.
    // Units without plug registers send on the broadcast channel.  The plug
    // registers are read first, while the node may still be refreshed after
    // a reset: the library would take a failed read for "no plugs" and
    // listen on channel 63 while the unit sends elsewhere.
    int Connect() {
        raw1394handle_t h = m_handle.h;
        quadlet_t ompr = 0;
        if (!RetryAfterReset(h, kRefreshWait, [&] {
                return raw1394_read(h, m_output, kOutputMasterPlug, sizeof ompr, &ompr);
            }))
            return kBroadcastChannel;
        int oplug = -1, iplug = -1, bandwidth = 0;
        iec61883_cmp_normalize_output(h, m_output);
        const int channel =
            iec61883_cmp_connect(h, m_output, &oplug, raw1394_get_local_id(h), &iplug, &bandwidth);
        if (channel < 0) return kBroadcastChannel;
        m_connected = true;
        m_oplug = oplug;
        m_iplug = iplug;
        m_bandwidth = bandwidth;
        return channel;
    }

    static raw1394_iso_disposition Packet(raw1394handle_t h, unsigned char* data, unsigned int len,
                                          unsigned char channel, unsigned char /*tag*/,
                                          unsigned char /*sy*/, unsigned int cycle,
                                          unsigned int /*dropped*/) {
        auto* r = static_cast<RawReceiver*>(raw1394_get_userdata(h));
        if (len < kCipHeader || channel != r->m_channel) return RAW1394_ISO_OK;
        // CIP header: SID, DBS (quadlets per data block), FN/QPC/SPH, DBC;
        // FMT, FDF, SYT.
        const unsigned dbs = data[1] * 4u;
        const unsigned payload = len - kCipHeader;
        const unsigned blocks = dbs ? payload / dbs : 0;
        const unsigned lost = r->m_continuity.Next(cycle, data[3], blocks, Clock::now());
        if (lost) trace::Line("receive: %u packets lost before cycle %u", lost, cycle);
        if (payload == 0 && lost == 0) return RAW1394_ISO_OK;  // an empty packet
        r->m_sink->OnPacket(data + kCipHeader, payload, lost);
        return RAW1394_ISO_OK;
    }

    void Loop() {
        while (!m_stop.load(std::memory_order_acquire)) {
            ReconnectIfAsked();
            // Waits a little at a time, so that stopping is prompt.  A
            // failed iteration (EINTR, or another device file's event) does
            // not end the reception.
            Iterate(m_handle.h, milliseconds(100));
        }
    }

    // Sets the connection up again after a reset, on the receive thread
    // (the handle is this thread's); retried while the node is refreshed.
    void ReconnectIfAsked() {
        ReconnectRequest request;
        {
            std::lock_guard<std::mutex> lock(m_reconnectLock);
            if (!m_reconnect.pending) return;
            request = m_reconnect;
        }
        raw1394handle_t h = m_handle.h;
        const nodeid_t output = static_cast<nodeid_t>(kLocalBus | request.node);
        Drain(h);
        int oplug = m_oplug, iplug = m_iplug, bandwidth = m_bandwidth;
        const int channel = m_connected
                                ? iec61883_cmp_reconnect(h, output, &oplug, raw1394_get_local_id(h),
                                                         &iplug, &bandwidth, m_channel)
                                : m_channel;
        if (channel < 0 && Clock::now() < request.deadline) return;  // tried again next round
        {
            std::lock_guard<std::mutex> lock(m_reconnectLock);
            if (m_reconnect.generation == request.generation) m_reconnect.pending = false;
        }
        if (channel != m_channel) {
            trace::Line("receive: reconnection to node %d failed (channel %d, was %d)",
                        request.node, channel, m_channel);
            m_connected = false;
            m_sink->OnReceptionBroken();
            return;
        }
        m_output = output;
        m_generation = request.generation;
        trace::Line("receive: reconnected node %d channel %d generation %u", request.node, channel,
                    request.generation);
    }

    Handle m_handle;
    DvPacketSink* const m_sink;
    // Receive thread only, once started.
    PacketContinuity m_continuity;
    nodeid_t m_output = 0;
    unsigned m_generation = 0;  // of the connection
    bool m_connected = false;
    bool m_receiving = false;
    int m_oplug = -1, m_iplug = -1, m_bandwidth = 0;
    int m_channel = kBroadcastChannel;  // never changes once started

    std::mutex m_reconnectLock;
    ReconnectRequest m_reconnect;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A pending AV/C transaction: which answer it waits for, and what came.
struct AvcWait {
    bool active = false;
    int node = 0;
    uint8_t address = 0, opcode = 0;
    bool interim = false;
    bool answered = false;
    std::vector<uint8_t> answer;
};

class RawPort final : public BusPort {
public:
    RawPort(int port) : m_port(port), m_reset(port) {
        if (m_reset.h) {
            raw1394_set_userdata(m_reset.h, this);
            raw1394_set_bus_reset_handler(m_reset.h, &RawPort::ResetHandler);
        }
        OpenControl();
    }
    ~RawPort() override { CloseControl(); }

    bool Open() const { return m_control && m_reset.h; }

    unsigned Generation() override {
        std::lock_guard<std::mutex> lock(m_lock);
        Drain(m_control->h);
        return raw1394_get_generation(m_control->h);
    }
    int NodeCount() override {
        std::lock_guard<std::mutex> lock(m_lock);
        Drain(m_control->h);
        return raw1394_get_nodecount(m_control->h);
    }
    int LocalNode() override {
        std::lock_guard<std::mutex> lock(m_lock);
        return raw1394_get_local_id(m_control->h) & 0x3F;
    }

    void Refresh() override {
        std::lock_guard<std::mutex> lock(m_lock);
        std::unique_ptr<Handle> old = std::move(m_control);
        OpenControl();
        if (!m_control) {
            m_control = std::move(old);  // keep the one there is
            return;
        }
        raw1394_stop_fcp_listen(old->h);
    }

    bool ReadConfigRom(int node, ConfigRom* rom) override {
        std::lock_guard<std::mutex> lock(m_lock);
        raw1394handle_t h = m_control->h;
        Drain(h);  // a bus reset not yet seen would make every read fail
        const nodeid_t id = static_cast<nodeid_t>(kLocalBus | node);
        quadlet_t guid[2] = {};
        if (!RetryAfterReset(h, milliseconds(0),
                             [&] { return raw1394_read(h, id, kBusInfoGuid, sizeof guid, guid); }))
            return false;
        rom1394_directory dir{};
        // The library takes the plain node number.  It reports success with
        // what it could read when later reads fail: a unit directory
        // without its specifier ID was not read.
        const int read = rom1394_get_directory(h, static_cast<nodeid_t>(node), &dir);
        const bool whole = read >= 0 && dir.unit_spec_id != 0;
        if (whole) {
            *rom = ConfigRom{};
            rom->guid = uint64_t(ntohl(guid[0])) << 32 | ntohl(guid[1]);
            rom->vendorId = dir.vendor_id;
            rom->modelId = dir.model_id;
            rom->unitSpecId = dir.unit_spec_id;
            rom->unitSwVersion = dir.unit_sw_version;
            // The textual leaves follow the vendor and then the model entry.
            if (dir.nr_textual_leafs > 0 && dir.textual_leafs[0])
                rom->vendorName = dir.textual_leafs[0];
            if (dir.nr_textual_leafs > 1 && dir.textual_leafs[1])
                rom->modelName = dir.textual_leafs[1];
        }
        rom1394_free_directory(&dir);  // also what a failed read left
        return whole;
    }

    AvcStatus Avc(int node, const std::vector<uint8_t>& command,
                  std::vector<uint8_t>* response) override {
        if (command.size() < 3 || command.size() > 512) return AvcStatus::NoAnswer;
        // The frame travels as written, padded to whole quadlets.
        quadlet_t frame[128] = {};
        std::memcpy(frame, command.data(), command.size());
        const size_t length = (command.size() + 3) & ~size_t(3);
        const bool control = command[0] == kCtypeControl;
        std::lock_guard<std::mutex> lock(m_lock);
        raw1394handle_t h = m_control->h;
        for (int attempt = 0; attempt < (control ? 1 : kStatusAttempts); ++attempt) {
            Drain(h);  // answers to earlier commands are not this one's
            m_wait = AvcWait{true, node, command[1], command[2]};
            trace::Line("avc node %d -> %s", node,
                        trace::Hex(command.data(), command.size()).c_str());
            const nodeid_t id = static_cast<nodeid_t>(kLocalBus | node);
            if (!RetryAfterReset(h, kAnswerWait, [&] {
                    return raw1394_write(h, id, kFcpCommand, length, frame);
                })) {
                trace::Line("avc node %d: not sent (errno %d)", node, errno);
                m_wait.active = false;
                continue;
            }
            auto deadline = Clock::now() + kAnswerWait;
            bool extended = false;
            while (!m_wait.answered) {
                if (m_wait.interim && !extended) {
                    deadline = Clock::now() + kFinalWait;
                    extended = true;
                }
                const auto now = Clock::now();
                if (now >= deadline) break;
                Iterate(h, std::chrono::ceil<milliseconds>(deadline - now));
            }
            m_wait.active = false;
            if (m_wait.answered) {
                *response = std::move(m_wait.answer);
                trace::Line("avc node %d <- %s", node,
                            trace::Hex(response->data(), response->size()).c_str());
                return AvcStatus::Answered;
            }
            trace::Line("avc node %d: no answer%s", node, m_wait.interim ? " after INTERIM" : "");
            // A unit that said INTERIM has the command: it is never sent
            // again.
            if (m_wait.interim) break;
        }
        return AvcStatus::NoAnswer;
    }

    bool WaitForReset(int timeoutMs) override {
        pollfd p{raw1394_get_fd(m_reset.h), POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) return false;
        m_seen = false;
        raw1394_loop_iterate(m_reset.h);
        Drain(m_reset.h);
        return m_seen;
    }

    std::unique_ptr<DvReceiver> ReceiveDv(int node, unsigned generation,
                                          DvPacketSink* sink) override {
        return RawReceiver::Start(m_port, node, generation, sink);
    }

private:
    // Under m_lock (or from the constructor).
    void OpenControl() {
        auto handle = std::make_unique<Handle>(m_port);
        if (!handle->h) return;
        raw1394_set_userdata(handle->h, this);
        raw1394_set_fcp_handler(handle->h, &RawPort::FcpHandler);
        if (raw1394_start_fcp_listen(handle->h) < 0) return;
        m_control = std::move(handle);
    }
    void CloseControl() {
        if (!m_control) return;
        raw1394_stop_fcp_listen(m_control->h);
        m_control.reset();
    }

    static int ResetHandler(raw1394handle_t h, unsigned int generation) {
        raw1394_update_generation(h, generation);
        static_cast<RawPort*>(raw1394_get_userdata(h))->m_seen = true;
        trace::Line("bus reset: generation %u", generation);
        return 0;
    }

    // Every FCP write to this PC reaches every listener: only the answer
    // from the node asked, to the subunit and opcode asked, counts.
    static int FcpHandler(raw1394handle_t h, nodeid_t nodeid, int response, size_t length,
                          unsigned char* data) {
        auto* port = static_cast<RawPort*>(raw1394_get_userdata(h));
        AvcWait& wait = port->m_wait;
        if (!response || !wait.active || length < 3) return 0;
        if ((nodeid & 0x3F) != wait.node || data[1] != wait.address ||
            !AnswersOpcode(wait.opcode, data[2])) {
            trace::Line("avc: answer from node %d not taken: %s", nodeid & 0x3F,
                        trace::Hex(data, length).c_str());
            return 0;
        }
        if ((data[0] & 0x0F) == kResponseInterim) {
            wait.interim = true;
            trace::Line("avc node %d <- INTERIM", wait.node);
            return 0;
        }
        wait.answer.assign(data, data + length);
        wait.answered = true;
        return 0;
    }

    const int m_port;
    std::mutex m_lock;  // the control handle and m_wait
    std::unique_ptr<Handle> m_control;
    AvcWait m_wait;
    Handle m_reset;       // the watcher's thread only
    bool m_seen = false;  // the watcher's thread only
};

class RawBus final : public Bus {
public:
    int PortCount() override {
        raw1394handle_t h = raw1394_new_handle();
        if (!h) return 0;  // no kernel support
        const int ports = raw1394_get_port_info(h, nullptr, 0);
        raw1394_destroy_handle(h);
        return ports > 0 ? ports : 0;
    }
    std::shared_ptr<BusPort> OpenPort(int port) override {
        auto p = std::make_shared<RawPort>(port);
        return p->Open() ? p : nullptr;
    }
};

}  // namespace

std::shared_ptr<Bus> CreateSystemBus() { return std::make_shared<RawBus>(); }

}  // namespace dvfw
