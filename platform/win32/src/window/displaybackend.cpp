#include <atomic>

#include "win32/display.h"

namespace win32_display {

namespace {
std::atomic<Backend*> g_backend{nullptr};
}

void SetDisplayBackend(Backend* backend) { g_backend.store(backend); }
Backend* DisplayBackend() { return g_backend.load(); }

}  // namespace win32_display
