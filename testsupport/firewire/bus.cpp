// The emulated bus.
#include "fwemu/bus.h"

#include <arpa/inet.h>
#include <errno.h>
#include <libraw1394/csr.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "fwemu/csrspace.h"

namespace fwemu {

namespace {

using std::chrono::milliseconds;
using Time = std::chrono::steady_clock::time_point;

constexpr nodeid_t kLocalBus = 0xFFC0;
// The library's own error codes for requests that never reached the node
// (the kernel's extended rcodes, negated).
constexpr int kErrGeneration = -0x13;
constexpr int kErrNoAck = -0x14;
constexpr int kAckComplete = 0x1;
constexpr auto kDeviceDelay = milliseconds(500);
constexpr auto kStreamGrace = milliseconds(1000);
constexpr int kPlugResets = 3;
constexpr int kPlugResetIntervalMs = 15;
constexpr int64_t kCyclesPerSecond = 8000;
// At real time, a step that comes late catches up at most this many cycles
// (31 ms): when this thread is starved of CPU, the bus clock slips rather
// than flooding receivers with a burst no hardware would send.
constexpr int64_t kMaxCatchUp = 250;
// Fast pacing hands out at most a second of packets a step.
constexpr int64_t kMaxCyclesPerStep = 8000;

BusDescription DescriptionFromEnvironment(std::string* error) {
    BusDescription desc;
    const char* path = std::getenv("FWEMU_BUS");
    if (!path || !*path) return desc;
    std::ifstream in(path);
    if (!in) {
        *error = std::string("cannot read ") + path;
        return desc;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (!ParseBusDescription(text.str(), desc, error)) desc = BusDescription{};
    return desc;
}

}  // namespace

Bus& Bus::Get() {
    static Bus* bus = [] {
        std::string error;
        const BusDescription desc = DescriptionFromEnvironment(&error);
        auto* b = new Bus(desc, &error);
        if (!error.empty()) std::fprintf(stderr, "fwemu: %s: no FireWire ports\n", error.c_str());
        return b;
    }();
    return *bus;
}

Bus::Bus(const BusDescription& desc, std::string* error) : m_fast(desc.fast), m_speed(desc.speed) {
    for (const NodeDescription& ns : desc.nodes) {
        std::unique_ptr<Node> node = MakeNode(ns, error);
        if (!node) {
            m_nodes.clear();
            return;
        }
        m_nodes.push_back(std::move(node));
    }
    m_ports.resize(desc.ports);
    for (int p = 0; p < desc.ports; ++p) {
        NodeDescription local;
        local.kind = NodeKind::Local;
        local.name = "local" + std::to_string(p);
        local.port = p;
        local.guid = 0x0011060000000000ULL | uint64_t(p);
        local.vendor = "Linux Firewire";
        local.model = "Juju";
        m_nodes.push_back(MakeNode(local, error));
        m_ports[p].local = m_nodes.back().get();
    }
    for (auto& node : m_nodes)
        if (!node->isLocal() && node->plugged) m_ports[node->desc.port].order.push_back(node.get());
    for (Port& port : m_ports) {
        port.order.push_back(port.local);
        Renumber(port);
        port.generation = 1;
    }
}

void Bus::Renumber(Port& port) {
    // The local node is the root, numbered last.
    auto local = std::find(port.order.begin(), port.order.end(), port.local);
    if (local != port.order.end()) port.order.erase(local);
    port.order.push_back(port.local);
    for (size_t i = 0; i < port.order.size(); ++i) port.order[i]->phy = static_cast<int>(i);
}

void Bus::Start() {
    if (m_started) return;
    m_started = true;
    m_thread = std::thread([this] { Run(); });
    m_thread.detach();
}

void Bus::Attach(raw1394_handle* h, int port) {
    Detach(h);
    h->port = port;
    Port& p = m_ports[port];
    h->generation = p.generation;
    h->nodeCount = static_cast<int>(p.order.size());
    h->localPhy = p.local->phy;
    m_handles.push_back(h);
}

void Bus::Detach(raw1394_handle* h) {
    m_handles.erase(std::remove(m_handles.begin(), m_handles.end(), h), m_handles.end());
    h->port = -1;
}

// FWEMU_TRACE=1 prints every request and its outcome to stderr.
static void Trace(const char* what, nodeid_t node, uint64_t addr, size_t length, int result) {
    static const bool on = [] {
        const char* v = std::getenv("FWEMU_TRACE");
        return v && *v && *v != '0';
    }();
    if (on)
        std::fprintf(stderr, "fwemu: %s node %04x addr %012llx len %zu -> %s\n", what, node,
                     static_cast<unsigned long long>(addr), length,
                     result == 0 ? "ok" : std::strerror(errno));
}

int Bus::Fail(raw1394_handle* h, int rcode) {
    // As the library maps them: generation and no-ack errors are EAGAIN.
    if (rcode < 0) {
        h->errcode = rcode;
        errno = EAGAIN;
    } else {
        h->errcode = raw1394_make_errcode(kAckComplete, rcode);
        errno = rcode == kRcodeTypeError ? EPERM : EINVAL;
    }
    return -1;
}

Node* Bus::Target(raw1394_handle* h, nodeid_t nodeId, int port) {
    if (port < 0) {
        errno = EINVAL;
        return nullptr;
    }
    const int phy = nodeId & 0x3F;
    Port& p = m_ports[port];
    if ((nodeId & 0xFFC0) != kLocalBus || phy >= h->nodeCount) {
        Fail(h, kErrNoAck);
        return nullptr;
    }
    if (h->generation != p.generation || phy >= static_cast<int>(p.order.size())) {
        Fail(h, kErrGeneration);
        return nullptr;
    }
    Node* node = p.order[phy];
    if (!node->isLocal() && std::chrono::steady_clock::now() < node->readyAt) {
        Fail(h, kErrGeneration);
        return nullptr;
    }
    return node;
}

int Bus::Read(raw1394_handle* h, nodeid_t nodeId, uint64_t addr, size_t length, quadlet_t* buffer) {
    const int result = DoRead(h, nodeId, addr, length, buffer);
    Trace("read", nodeId, addr, length, result);
    return result;
}

int Bus::DoRead(raw1394_handle* h, nodeid_t nodeId, uint64_t addr, size_t length,
                quadlet_t* buffer) {
    Node* node = Target(h, nodeId, h->port);
    if (!node) return -1;
    const int rcode = CsrRead(*node, addr - CSR_REGISTER_BASE, length, buffer);
    if (rcode != kRcodeComplete) return Fail(h, rcode);
    h->errcode = 0;
    return 0;
}

int Bus::Write(raw1394_handle* h, nodeid_t nodeId, uint64_t addr, size_t length,
               const quadlet_t* data) {
    const int result = DoWrite(h, nodeId, addr, length, data);
    Trace("write", nodeId, addr, length, result);
    return result;
}

int Bus::DoWrite(raw1394_handle* h, nodeid_t nodeId, uint64_t addr, size_t length,
                 const quadlet_t* data) {
    Node* node = Target(h, nodeId, h->port);
    if (!node) return -1;
    std::vector<uint8_t> fcp;
    const int rcode = CsrWrite(*node, addr - CSR_REGISTER_BASE, length,
                               reinterpret_cast<const uint8_t*>(data), &fcp);
    if (rcode != kRcodeComplete) return Fail(h, rcode);
    h->errcode = 0;
    if (!fcp.empty() && node->avc) {
        for (AvcReply& reply :
             node->avc->Command(fcp, node->desc.faults, std::chrono::steady_clock::now())) {
            if (reply.delayMs <= 0) {
                DeliverFcp(node, reply.frame);
            } else {
                Schedule(reply.delayMs,
                         [this, node, frame = std::move(reply.frame)] { DeliverFcp(node, frame); });
            }
        }
    }
    return 0;
}

int Bus::Lock(raw1394_handle* h, nodeid_t nodeId, uint64_t addr, unsigned extcode, quadlet_t data,
              quadlet_t arg, quadlet_t* result) {
    const int r = DoLock(h, nodeId, addr, extcode, data, arg, result);
    Trace("lock", nodeId, addr, 4, r);
    return r;
}

int Bus::DoLock(raw1394_handle* h, nodeid_t nodeId, uint64_t addr, unsigned extcode, quadlet_t data,
                quadlet_t arg, quadlet_t* result) {
    Node* node = Target(h, nodeId, h->port);
    if (!node) return -1;
    uint32_t old = 0;
    const int rcode =
        CsrLock(*node, addr - CSR_REGISTER_BASE, extcode, ntohl(data), ntohl(arg), &old);
    if (rcode != kRcodeComplete) return Fail(h, rcode);
    *result = htonl(old);
    h->errcode = 0;
    return 0;
}

void Bus::DeliverFcp(Node* from, const std::vector<uint8_t>& frame) {
    if (!from->plugged) return;
    for (raw1394_handle* h : m_handles) {
        if (h->port != from->desc.port || !h->fcpListening) continue;
        Event e;
        e.type = Event::Fcp;
        e.source = static_cast<nodeid_t>(kLocalBus | from->phy);
        e.data = frame;
        h->events.push_back(std::move(e));
        h->Signal();
    }
}

void Bus::Reset(int portIndex, Node* initiator, bool renumber) {
    if (portIndex < 0 || portIndex >= PortCount()) return;
    Port& p = m_ports[portIndex];
    const Time now = std::chrono::steady_clock::now();
    ++p.generation;
    if (renumber && p.order.size() > 2)
        std::rotate(p.order.begin(), p.order.begin() + 1, p.order.end() - 1);
    Renumber(p);
    if (initiator && !initiator->isLocal())
        initiator->readyAt = std::max(initiator->readyAt, now + kDeviceDelay);
    Node& irm = *p.local;
    irm.bandwidth = kInitialBandwidth;
    irm.channelsHi = kInitialChannelsHi;
    irm.channelsLo = kInitialChannelsLo;
    for (Node* node : p.order) {
        if (!node->hasPlugs()) continue;
        if (node->opcr & 0x3F000000) node->graceUntil = now + kStreamGrace;
        node->opcr &= ~0x3F000000u;
    }
    for (raw1394_handle* h : m_handles) {
        if (h->port != portIndex) continue;
        Event e;
        e.type = Event::BusReset;
        e.generation = p.generation;
        e.nodeCount = static_cast<int>(p.order.size());
        e.localPhy = p.local->phy;
        h->events.push_back(std::move(e));
        h->Signal();
    }
}

void Bus::Plug(Node* node) {
    if (node->plugged || node->isLocal()) return;
    node->plugged = true;
    Port& p = m_ports[node->desc.port];
    // A new node comes first: every other node's number moves up.
    p.order.insert(p.order.begin(), node);
    node->readyAt = std::chrono::steady_clock::now() + kDeviceDelay +
                    milliseconds(kPlugResets * kPlugResetIntervalMs);
    node->opcr = node->desc.broadcast ? kInitialOpcr : kInitialOpcr & ~kBroadcastConnection;
    Reset(node->desc.port, nullptr, false);
    for (int i = 1; i < kPlugResets; ++i)
        Schedule(i * kPlugResetIntervalMs,
                 [this, port = node->desc.port] { Reset(port, nullptr, false); });
}

void Bus::Unplug(Node* node) {
    if (!node->plugged || node->isLocal()) return;
    node->plugged = false;
    Port& p = m_ports[node->desc.port];
    p.order.erase(std::remove(p.order.begin(), p.order.end(), node), p.order.end());
    node->phy = -1;
    node->graceUntil = {};
    Reset(node->desc.port, nullptr, false);
}

void Bus::Storm(int port, int count, int intervalMs) {
    for (int i = 0; i < count; ++i)
        Schedule(i * intervalMs, [this, port] { Reset(port, nullptr, false); });
}

void Bus::Schedule(int delayMs, std::function<void()> action) {
    m_actions.emplace(std::chrono::steady_clock::now() + milliseconds(delayMs), std::move(action));
    m_wake.notify_one();
}

Node* Bus::Find(const std::string& name) {
    for (auto& node : m_nodes)
        if (node->desc.name == name) return node.get();
    return nullptr;
}

bool Bus::InjectEintr() {
    ++m_iterations;
    for (auto& node : m_nodes) {
        const int64_t every = node->desc.faults.eintrEvery;
        if (every > 0 && m_iterations % every == 0) return true;
    }
    return false;
}

void Bus::RunTransmitter(Node& node, int64_t cycles) {
    const Time now = std::chrono::steady_clock::now();
    const bool sending = node.plugged && (node.connected() || now < node.graceUntil);
    std::vector<raw1394_handle*> listeners;
    if (sending)
        for (raw1394_handle* h : m_handles)
            if (h->port == node.desc.port && h->iso.running && h->iso.channel == node.channel())
                listeners.push_back(h);
    if (m_fast && !listeners.empty()) {
        // As fast as the slowest listener takes the packets, and no faster.
        int64_t room = kMaxCyclesPerStep;
        for (raw1394_handle* h : listeners)
            room = std::min<int64_t>(
                room, int64_t(h->iso.bufferPackets) - int64_t(h->iso.packets.size()));
        cycles = std::max<int64_t>(room, 0);
    }
    IsoPacket packet;
    packet.channel = static_cast<uint8_t>(node.channel());
    for (int64_t i = 0; i < cycles; ++i) {
        bool lost = false;
        packet.cycle = node.cycle;
        packet.length = static_cast<uint16_t>(
            node.tx->Cycle(node.cycle, node.phy, node.desc.faults, packet.data.data(), lost));
        node.cycle = (node.cycle + 1) % kCyclesPerSecond;
        if (lost) continue;
        for (raw1394_handle* h : listeners) {
            IsoReceive& iso = h->iso;
            if (iso.packets.size() >= iso.bufferPackets) {
                ++iso.lost;  // the buffer is full: the packet is gone
            } else {
                iso.packets.push_back(packet);
            }
            if (++iso.unannounced >= iso.irqInterval) {
                iso.unannounced = 0;
                iso.interrupt = true;
            }
        }
    }
    for (raw1394_handle* h : listeners) {
        if (m_fast && !h->iso.packets.empty()) h->iso.interrupt = true;
        h->Signal();
    }
}

void Bus::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    Time last = std::chrono::steady_clock::now();
    double carry = 0;
    for (;;) {
        m_wake.wait_for(lock, milliseconds(1));
        const Time now = std::chrono::steady_clock::now();
        while (!m_actions.empty() && m_actions.begin()->first <= now) {
            auto action = std::move(m_actions.begin()->second);
            m_actions.erase(m_actions.begin());
            action();
        }
        const double exact =
            std::chrono::duration<double>(now - last).count() * kCyclesPerSecond * m_speed + carry;
        last = now;
        const int64_t cycles =
            std::min<int64_t>(static_cast<int64_t>(exact), kMaxCatchUp * m_speed);
        carry = exact - static_cast<double>(static_cast<int64_t>(exact));
        for (auto& node : m_nodes)
            if (node->tx) RunTransmitter(*node, cycles);
    }
}

}  // namespace fwemu
