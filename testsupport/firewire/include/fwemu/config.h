// The emulated bus as described by the file FWEMU_BUS names: one line a
// port or node, '#' starts a comment, words are key=value (values may be
// double-quoted).
//
//   pacing realtime | fast | x<N> how the camcorders' clocks run (below)
//   port                          starts the next port (nodes before the
//                                 first "port" line are on port 0)
//   <kind> [name=<n>] [tape=<file>] [repeat=<n>] [vendor=<text>] [model=<text>]
//          [guid=<hex>] [unplugged] [nobroadcast] [playing] [<fault words>]
//
// Kinds: camcorder (AV/C tape subunit, plays the raw DV file `tape`), hdv
// (AV/C tape subunit answering an HDV signal mode, sends no DV), disk
// (SBP-2 unit, no AV/C), iidc (IIDC camera, does not answer AV/C).
// A tape unit's output plug starts with a broadcast connection on channel
// 63 (the stream flows before anyone connects) unless nobroadcast is given.
// "playing" starts the transport in play (clients that send no PLAY).
// Nodes are named <kind><n> by default (camcorder1, disk1, ...).  Fault
// words are those of faults.h.
//
// Pacing realtime: 8000 cycles a second.  Pacing fast: while a receiver
// listens to a camcorder's channel, the camcorder's clock runs as fast as
// the slowest listening receiver frees its buffer, so nothing is lost
// (injected losses aside); with no receiver it runs at real time.  Pacing
// x<N>: N times real time, whatever the receivers do (long tests of a
// program that must keep up).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fwemu/faults.h"

namespace fwemu {

enum class NodeKind { Local, Camcorder, Hdv, Disk, Iidc };

struct NodeDescription {
    NodeKind kind = NodeKind::Camcorder;
    std::string name;
    std::string tape;
    int repeat = 1;  // repeat=<n>: the file played n times over as one tape
    std::string vendor;
    std::string model;
    uint64_t guid = 0;
    int port = 0;
    bool plugged = true;
    bool broadcast = true;
    bool playing = false;
    Faults faults;
};

struct BusDescription {
    int ports = 0;
    bool fast = false;
    int speed = 1;  // pacing x<N>: N times real time
    std::vector<NodeDescription> nodes;
};

// Parses a bus description.  False with a message naming the line on the
// first error.
bool ParseBusDescription(const std::string& text, BusDescription& bus, std::string* error);

const char* KindName(NodeKind kind);

}  // namespace fwemu
