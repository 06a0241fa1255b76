// Faults a node can be told to show, set from the bus description or at run
// time through the control socket: a list of words separated by
// commas or spaces:
//   delay=<ms>          AV/C answers come this late
//   interim[=<ms>]      CONTROL commands are answered INTERIM at once and
//                       finally after <ms> (default 300); interim=never: no
//                       final answer
//   silent              no AV/C answer at all
//   reject              every AV/C command is answered REJECTED
//   transition=<ms>     TRANSPORT STATE answers IN TRANSITION for <ms> after
//                       each CONTROL command
//   late                each answer is held back until the next command has
//                       arrived, then sent before that command's own answer
//   loss=<n>            every n-th isochronous data packet is lost
//   burst=<at>:<count>  <count> data packets are lost after packet <at>
//   frameloss=<n>       every n-th frame is lost whole (all its packets)
//   eintr=<n>           every n-th raw1394_loop_iterate on any handle fails
//                       with EINTR (a bus-wide fault)
//   clear               all of the above off
#pragma once

#include <cstdint>
#include <string>

namespace fwemu {

struct Faults {
    int delayMs = 0;
    int interimMs = -1;  // -1: off; kNever: no final answer
    bool silent = false;
    bool reject = false;
    int transitionMs = 0;
    bool late = false;
    int64_t lossEvery = 0;
    int64_t burstAt = -1;
    int64_t burstCount = 0;
    int64_t frameLossEvery = 0;
    int64_t eintrEvery = 0;

    static constexpr int kNever = -2;
};

// Applies the words of `desc` to `faults` in order.  False (with a message)
// on the first word it does not know; the words before it stay applied.
bool ApplyFaultWords(const std::string& desc, Faults& faults, std::string* error);

}  // namespace fwemu
