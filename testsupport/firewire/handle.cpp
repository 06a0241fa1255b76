// Handle state and its readiness descriptor.
#include "fwemu/handle.h"

#include <sys/eventfd.h>
#include <unistd.h>

raw1394_handle::raw1394_handle() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

raw1394_handle::~raw1394_handle() {
    if (m_fd >= 0) close(m_fd);
}

void raw1394_handle::Signal() {
    const bool want = hasWork();
    if (want == m_signalled) return;
    if (want) {
        const uint64_t one = 1;
        (void)!write(m_fd, &one, sizeof one);
    } else {
        uint64_t value;
        (void)!read(m_fd, &value, sizeof value);
    }
    m_signalled = want;
}
