// The bus trace.
#include "fwtrace.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace dvfw::trace {

namespace {

struct Sink {
    std::mutex lock;
    FILE* file = nullptr;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

    Sink() {
        const char* path = std::getenv("TAPELOOM_FIREWIRE_TRACE");
        if (path && *path) file = std::fopen(path, "a");
        if (file) std::setvbuf(file, nullptr, _IOLBF, 0);
    }
    ~Sink() {
        if (file) std::fclose(file);
    }
};

Sink& TheSink() {
    static Sink sink;
    return sink;
}

}  // namespace

bool Enabled() { return TheSink().file != nullptr; }

void Line(const char* format, ...) {
    Sink& sink = TheSink();
    if (!sink.file) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - sink.start).count();
    std::lock_guard<std::mutex> lock(sink.lock);
    std::fprintf(sink.file, "%10.4f %s\n", seconds, text);
}

std::string Hex(const uint8_t* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 3);
    for (size_t i = 0; i < size; ++i) {
        if (i) out += ' ';
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

}  // namespace dvfw::trace
