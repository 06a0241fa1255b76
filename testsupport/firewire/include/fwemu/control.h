// Run-time control of the emulated bus: a Unix stream socket at
// $FWEMU_CONTROL, served by a thread of the process that loaded the
// library (started with the first handle).  One command a line, one answer
// a line: "ok ..." or "error <why>".
//
//   nodes                       name:port:number of every plugged node
//   plug <node> | unplug <node>
//   reset [by <node>] [renumber] [port <n>]
//                               a bus reset (initiated by <node>: that node
//                               answers nothing for 500 ms); renumber moves
//                               every node but the local one down a number
//   storm <count> <ms> [port <n>]   resets <ms> apart
//   fault <node> <words>        faults.h; "fault <node> clear" ends them
//   generation [port <n>]
//   mark <node>                 remembers how many AV/C commands came so far
//   avc <node>                  "ok <n> <frame> ..." the commands (hex)
//                               received since the mark
//   state <node>                "ok <mode> <frame under the head>"
//   frames <node>               "ok <frames sent> <data packets> <lost>"
//   channel <node>              "ok <channel> <connected 0|1>"
#pragma once

#include <string>

namespace fwemu {

class Bus;

// Starts the control thread once if FWEMU_CONTROL is set.  Needs the lock.
void StartControlSocket(Bus& bus);

// Runs one command line.  Needs the lock.
std::string ExecuteControl(Bus& bus, const std::string& line);

}  // namespace fwemu
