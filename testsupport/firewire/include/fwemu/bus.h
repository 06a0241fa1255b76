// The emulated IEEE-1394 bus: ports with their nodes, bus resets, the
// requests handles send, and one thread that keeps the bus's time: it runs
// scheduled actions (late AV/C answers, reset sequences) and the cycles of
// the camcorders' transmitters, putting their packets into the receive
// buffers of the handles listening on the channel.
//
// What it models of the kernel stack:
//  - every reset raises the port's generation and renumbers the nodes in
//    their current order (the local node last); a handle sees the reset,
//    and its generation advances, only when it processes the reset event
//    in raw1394_loop_iterate (its bus-reset handler);
//  - a request whose handle generation is stale fails with EAGAIN, as does
//    one to a node number beyond the handle's node count;
//  - a node that initiated a reset, or was just plugged, answers nothing
//    (EAGAIN) for 500 ms; plugging causes three resets 15 ms apart;
//  - a reset clears the output plug's point-to-point count and the resource
//    manager's registers (their owners re-establish them, as CMP requires);
//    the camcorder goes on sending for one second after the reset;
//  - FCP responses go to every handle on the port that listens for FCP.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fwemu/config.h"
#include "fwemu/handle.h"
#include "fwemu/node.h"

namespace fwemu {

struct Port {
    std::vector<Node*> order;  // index = node number; the local node last
    unsigned generation = 0;
    Node* local = nullptr;
};

class Bus {
public:
    // The process's bus, made from FWEMU_BUS on first use.  Never destroyed:
    // its thread runs until the process ends.
    static Bus& Get();

    explicit Bus(const BusDescription& desc, std::string* error);

    std::mutex& mutex() { return m_mutex; }

    // All of the following need the lock.
    int PortCount() const { return static_cast<int>(m_ports.size()); }
    Port& port(int index) { return m_ports[index]; }
    void Attach(raw1394_handle* h, int port);
    void Detach(raw1394_handle* h);
    int Read(raw1394_handle* h, nodeid_t node, uint64_t addr, size_t length, quadlet_t* buffer);
    int Write(raw1394_handle* h, nodeid_t node, uint64_t addr, size_t length,
              const quadlet_t* data);
    int Lock(raw1394_handle* h, nodeid_t node, uint64_t addr, unsigned extcode, quadlet_t data,
             quadlet_t arg, quadlet_t* result);

    void Reset(int port, Node* initiator, bool renumber);
    void Plug(Node* node);
    void Unplug(Node* node);
    void Storm(int port, int count, int intervalMs);
    void Schedule(int delayMs, std::function<void()> action);
    Node* Find(const std::string& name);
    const std::vector<std::unique_ptr<Node>>& nodes() const { return m_nodes; }
    bool fast() const { return m_fast; }
    // True when this raw1394_loop_iterate call is to fail with EINTR.
    bool InjectEintr();

    // Starts the bus thread (once).
    void Start();

private:
    Node* Target(raw1394_handle* h, nodeid_t node, int port);
    int DoRead(raw1394_handle* h, nodeid_t node, uint64_t addr, size_t length, quadlet_t* buffer);
    int DoWrite(raw1394_handle* h, nodeid_t node, uint64_t addr, size_t length,
                const quadlet_t* data);
    int DoLock(raw1394_handle* h, nodeid_t node, uint64_t addr, unsigned extcode, quadlet_t data,
               quadlet_t arg, quadlet_t* result);
    int Fail(raw1394_handle* h, int rcode);
    void Renumber(Port& port);
    void Run();
    void RunTransmitter(Node& node, int64_t cycles);
    void DeliverFcp(Node* from, const std::vector<uint8_t>& frame);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<std::unique_ptr<Node>> m_nodes;
    std::vector<Port> m_ports;
    std::vector<raw1394_handle*> m_handles;
    std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> m_actions;
    bool m_fast = false;
    int m_speed = 1;  // real time times this
    bool m_started = false;
    int64_t m_iterations = 0;
    std::thread m_thread;
};

}  // namespace fwemu
