// A trace of what the driver does on the bus, for reports from the field.
// With TAPELOOM_FIREWIRE_TRACE=<file> in the environment every AV/C
// command and answer, bus reset, scan, connection change and frame-loss
// event is appended to that file, one line each, stamped with the seconds
// since the first line.  Without it nothing is formatted or written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dvfw::trace {

// Whether tracing is on (read from the environment once).
bool Enabled();

// Appends one line; thread-safe.  Cheap when tracing is off.
void Line(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Bytes as hexadecimal pairs separated by spaces.
std::string Hex(const uint8_t* data, size_t size);

}  // namespace dvfw::trace
