// The system's IEEE-1394 bus, on libraw1394 (ports, nodes, bus resets),
// librom1394 (configuration ROMs), libavc1394 (AV/C transactions) and
// libiec61883 (connection management and DV reception).
//
// A port has two handles: one for AV/C and ROM reads (the libraries'
// transactions are not thread-safe: a mutex serialises them) and one the
// reset watcher waits on.  Each DV reception has a handle and a thread of
// its own.  Without kernel support or without permission on the device
// files no handle opens, and the bus has no ports.
#include <libavc1394/avc1394.h>
#include <libavc1394/rom1394.h>
#include <libiec61883/iec61883.h>
#include <libraw1394/raw1394.h>
#include <poll.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "firewire/fwbus.h"

namespace dvfw {

namespace {

// Node IDs on the local bus carry the bus number 0x3FF in their top bits.
constexpr nodeid_t kLocalBus = 0xFFC0;
constexpr int kBroadcastChannel = 63;
// Retries of an AV/C transaction after its first time-out.
constexpr int kAvcRetries = 1;

// Handles pending events without waiting; at most a few.
void Drain(raw1394handle_t h) {
    pollfd p{raw1394_get_fd(h), POLLIN, 0};
    for (int i = 0; i < 16 && poll(&p, 1, 0) > 0 && (p.revents & POLLIN); ++i)
        if (raw1394_loop_iterate(h) < 0) break;
}

struct Handle {
    raw1394handle_t h = nullptr;
    explicit Handle(int port) {
        h = raw1394_new_handle_on_port(port);
    }
    ~Handle() {
        if (h) raw1394_destroy_handle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

class RawReceiver final : public DvReceiver {
public:
    static std::unique_ptr<DvReceiver> Start(int port, int node, DvPacketSink* sink) {
        auto r = std::unique_ptr<RawReceiver>(new RawReceiver(port, sink));
        if (!r->m_handle.h) return nullptr;
        raw1394handle_t h = r->m_handle.h;
        r->m_output = static_cast<nodeid_t>(kLocalBus | node);
        // Connect to the unit's output plug; units without plug registers
        // send on the broadcast channel.
        int oplug = -1, iplug = -1, bandwidth = 0;
        int channel = iec61883_cmp_connect(h, r->m_output, &oplug, raw1394_get_local_id(h),
                                           &iplug, &bandwidth);
        if (channel >= 0) {
            r->m_connected = true;
            r->m_oplug = oplug;
            r->m_iplug = iplug;
            r->m_bandwidth = bandwidth;
        } else {
            channel = kBroadcastChannel;
        }
        r->m_channel = channel;
        r->m_dv = iec61883_dv_recv_init(h, &RawReceiver::Packet, r.get());
        if (!r->m_dv || iec61883_dv_recv_start(r->m_dv, channel) < 0) return nullptr;
        r->m_thread = std::thread([p = r.get()] { p->Loop(); });
        return r;
    }

    ~RawReceiver() override {
        m_stop.store(true, std::memory_order_release);
        if (m_thread.joinable()) m_thread.join();
        if (m_dv) {
            iec61883_dv_recv_stop(m_dv);
            iec61883_dv_close(m_dv);
        }
        if (m_connected)
            iec61883_cmp_disconnect(m_handle.h, m_output, m_oplug, raw1394_get_local_id(m_handle.h),
                                    m_iplug, static_cast<unsigned>(m_channel),
                                    static_cast<unsigned>(m_bandwidth));
    }

    int Channel() const override { return m_channel; }

private:
    RawReceiver(int port, DvPacketSink* sink) : m_handle(port), m_sink(sink) {}

    static int Packet(unsigned char* data, int len, unsigned int dropped, void* self) {
        auto* r = static_cast<RawReceiver*>(self);
        r->m_sink->OnPacket(data, len > 0 ? static_cast<size_t>(len) : 0, dropped);
        return 0;
    }

    void Loop() {
        pollfd p{raw1394_get_fd(m_handle.h), POLLIN, 0};
        while (!m_stop.load(std::memory_order_acquire)) {
            // Waits a little at a time, so that stopping is prompt.
            if (poll(&p, 1, 100) > 0 && (p.revents & POLLIN)) {
                if (raw1394_loop_iterate(m_handle.h) < 0) break;
            }
        }
    }

    Handle m_handle;
    DvPacketSink* const m_sink;
    iec61883_dv_t m_dv = nullptr;
    nodeid_t m_output = 0;
    bool m_connected = false;
    int m_oplug = -1, m_iplug = -1, m_bandwidth = 0, m_channel = kBroadcastChannel;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class RawPort final : public BusPort {
public:
    RawPort(int port) : m_port(port), m_control(port), m_reset(port) {
        if (m_reset.h) {
            raw1394_set_userdata(m_reset.h, this);
            raw1394_set_bus_reset_handler(m_reset.h, &RawPort::ResetHandler);
        }
    }
    bool Open() const { return m_control.h && m_reset.h; }

    unsigned Generation() override {
        std::lock_guard<std::mutex> lock(m_lock);
        Drain(m_control.h);
        return raw1394_get_generation(m_control.h);
    }
    int NodeCount() override {
        std::lock_guard<std::mutex> lock(m_lock);
        Drain(m_control.h);
        return raw1394_get_nodecount(m_control.h);
    }
    int LocalNode() override {
        std::lock_guard<std::mutex> lock(m_lock);
        return raw1394_get_local_id(m_control.h) & 0x3F;
    }

    bool ReadConfigRom(int node, ConfigRom* rom) override {
        std::lock_guard<std::mutex> lock(m_lock);
        Drain(m_control.h);  // a bus reset not yet seen would make every read fail
        rom1394_directory dir{};
        if (rom1394_get_directory(m_control.h, static_cast<nodeid_t>(node), &dir) < 0) return false;
        *rom = ConfigRom{};
        rom->guid = rom1394_get_guid(m_control.h, static_cast<nodeid_t>(node));
        rom->vendorId = dir.vendor_id;
        rom->modelId = dir.model_id;
        rom->unitSpecId = dir.unit_spec_id;
        rom->unitSwVersion = dir.unit_sw_version;
        // The textual leaves follow the vendor and then the model entry.
        if (dir.nr_textual_leafs > 0 && dir.textual_leafs[0]) rom->vendorName = dir.textual_leafs[0];
        if (dir.nr_textual_leafs > 1 && dir.textual_leafs[1]) rom->modelName = dir.textual_leafs[1];
        rom1394_free_directory(&dir);
        return true;
    }

    AvcStatus Avc(int node, const std::vector<uint8_t>& command,
                  std::vector<uint8_t>* response) override {
        // Frames travel as quadlets, the first byte the most significant.
        quadlet_t request[128] = {};
        const size_t n = std::min(command.size(), sizeof request);
        for (size_t i = 0; i < n; ++i) request[i / 4] |= quadlet_t(command[i]) << (24 - 8 * (i % 4));
        const int quadlets = static_cast<int>((n + 3) / 4);
        std::lock_guard<std::mutex> lock(m_lock);
        Drain(m_control.h);
        unsigned int length = 0;
        quadlet_t* answer = avc1394_transaction_block2(
            m_control.h, static_cast<nodeid_t>(node), request, quadlets, &length, kAvcRetries);
        if (!answer) {
            avc1394_transaction_block_close(m_control.h);
            return AvcStatus::NoAnswer;
        }
        response->clear();
        for (unsigned q = 0; q < length; ++q)
            for (int b = 0; b < 4; ++b) response->push_back(uint8_t(answer[q] >> (24 - 8 * b)));
        avc1394_transaction_block_close(m_control.h);
        return AvcStatus::Answered;
    }

    bool WaitForReset(int timeoutMs) override {
        pollfd p{raw1394_get_fd(m_reset.h), POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) return false;
        m_seen = false;
        raw1394_loop_iterate(m_reset.h);
        Drain(m_reset.h);
        return m_seen;
    }

    std::unique_ptr<DvReceiver> ReceiveDv(int node, DvPacketSink* sink) override {
        return RawReceiver::Start(m_port, node, sink);
    }

private:
    static int ResetHandler(raw1394handle_t h, unsigned int generation) {
        raw1394_update_generation(h, generation);
        static_cast<RawPort*>(raw1394_get_userdata(h))->m_seen = true;
        return 0;
    }

    const int m_port;
    std::mutex m_lock;  // the control handle
    Handle m_control;
    Handle m_reset;     // the watcher's thread only
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
