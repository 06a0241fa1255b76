// The program's log: one line per recording at its end and one per
// failure, for whoever looks into what happened once the window is
// closed.  Each line goes to stderr and is appended to
// $XDG_STATE_HOME/tapeloom/tapeloom.log (else ~/.local/state/...), stamped
// with the local date and time.  When the file would grow past half a
// megabyte it becomes tapeloom.log.1 (replacing the one before) and a new
// one is started, so the two stay under 1 MB.  Any thread may log.
#pragma once

#include <windef.h>
#include <winerror.h>

#include <string>

// Appends one line (without its newline) to the log.
void LogLine(const std::string& line);

// Logs a failed step of building or running the graph with its result
// code; true when hr succeeded (nothing is logged then).
bool LogStep(const char* step, HRESULT hr);

// The log file's path ("" when neither XDG_STATE_HOME nor HOME is set).
std::string LogFilePath();
