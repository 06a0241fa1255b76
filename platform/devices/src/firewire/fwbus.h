// The IEEE-1394 bus as the DV device driver sees it: ports (host
// adapters), the nodes on each, a node's configuration ROM, AV/C
// command/response transactions through the node's FCP registers, bus
// resets, and isochronous DV reception.  The system implementation sits on
// the raw1394 and IEC 61883 libraries; tests put a scripted bus in its
// place.
//
// Every call may come from any thread; an implementation serialises what
// its library needs serialised.  No call blocks longer than its time-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dvfw {

// What the driver reads from a node's configuration ROM.
struct ConfigRom {
    uint64_t guid = 0;      // the node's unique ID (stays across bus resets)
    uint32_t vendorId = 0;  // 24-bit company ID
    uint32_t modelId = 0;
    uint32_t unitSpecId = 0;  // 0x00A02D: the unit speaks AV/C
    uint32_t unitSwVersion = 0;
    std::string vendorName;  // textual leaves; empty when absent
    std::string modelName;
};

// Receives the DV packets of an isochronous stream, on the bus's receive
// thread.  `data` holds whole 80-byte DIF blocks (the packet's payload
// without its CIP header; an empty packet has none); `lost` counts the
// data packets that went missing on the bus since the previous call, as
// the stream's own continuity shows it (the bus itself reports none).
class DvPacketSink {
public:
    virtual void OnPacket(const uint8_t* data, size_t size, unsigned lost) = 0;
    // The connection to the unit's output plug could not be set up again
    // after a bus reset: no more packets will come.
    virtual void OnReceptionBroken() = 0;

protected:
    ~DvPacketSink() = default;
};

// A running reception; destroying it stops it (no OnPacket call runs or
// follows once the destructor returns).
class DvReceiver {
public:
    virtual ~DvReceiver() = default;
    virtual int Channel() const = 0;
    // After a bus reset the unit is node `node` of bus generation
    // `generation`: the connection to its output plug is set up again on
    // the same channel, while reception goes on.
    virtual void Reconnect(int node, unsigned generation) = 0;
};

enum class AvcStatus {
    Answered,  // the response is in *response (its first byte the response code)
    NoAnswer,  // time-out, or the node has gone
};

// One port: a handle on one host adapter's bus.
class BusPort {
public:
    virtual ~BusPort() = default;

    // Bus resets seen so far on this port.
    virtual unsigned Generation() = 0;
    // Nodes on the bus now (node numbers 0 .. count - 1), the adapter's own
    // node included.
    virtual int NodeCount() = 0;
    virtual int LocalNode() = 0;
    // Reads the node's configuration ROM; false when it could not be read
    // whole (the node does not answer, or not yet after a bus reset).
    virtual bool ReadConfigRom(int node, ConfigRom* rom) = 0;
    // One AV/C transaction: sends the command frame once, waits (bounded)
    // for the final response from that node to that command, past interim
    // ones.  A status inquiry that goes unanswered may be sent once more;
    // a control command never is (the unit may have carried it out).
    virtual AvcStatus Avc(int node, const std::vector<uint8_t>& command,
                          std::vector<uint8_t>* response) = 0;
    // Opens the port's handle anew, so that nodes that appeared since it
    // was opened can be reached; a scan that found unreadable nodes calls
    // it before looking again.
    virtual void Refresh() {}
    // Waits up to timeoutMs for a bus reset; true when one happened.
    virtual bool WaitForReset(int timeoutMs) = 0;
    // Starts receiving the DV output of node `node` of bus generation
    // `generation`: on the channel its output plug uses, else on the
    // broadcast channel 63.  Null when reception cannot start.
    virtual std::unique_ptr<DvReceiver> ReceiveDv(int node, unsigned generation,
                                                  DvPacketSink* sink) = 0;
};

class Bus {
public:
    virtual ~Bus() = default;
    // Number of ports; 0 when there is no bus or it cannot be opened (no
    // kernel support, no permission).
    virtual int PortCount() = 0;
    // A new handle on a port, or null.
    virtual std::shared_ptr<BusPort> OpenPort(int port) = 0;
};

// The system's bus (raw1394), or a bus without ports where the libraries
// are not built in.
std::shared_ptr<Bus> CreateSystemBus();

}  // namespace dvfw
