// Hooks the capture benchmark sets on the AVI writer of the multiplexer,
// through the environment (never set by the program or its users):
//
//   TAPELOOM_AVI_WRITER="checkpoints=off,stall=<ms>@<MB>,report=<file>"
//
// checkpoints=off: the growing file is made valid only at part boundaries
// (the cost of the checkpoints, measured side by side); stall: the writer
// thread stops for <ms> before its first write that reaches <MB> MB into the
// file (a disk that stops answering); report: each recording's writer totals
// line (with the queue's high-water mark) is appended to <file>.
#pragma once

#include <string>

#include "media/avi/aviwriter.h"

namespace media {

struct WriterHooks {
    bool checkpoints = true;
    avi::FileFaults faults;
    std::string report;

    void Apply(avi::AviWriterOptions& options) const;
    // Appends `totals`' line to the report file, if there is one.
    void Report(const avi::AviWriterTotals& totals) const;
};

// The hooks `text` asks for; unknown items are ignored.
WriterHooks ParseWriterHooks(const std::string& text);
WriterHooks WriterHooksFromEnvironment();

}  // namespace media
