#include "messagequeue.h"
#include "win32/devices.h"
#include "winbase.h"
#include "windowtable.h"

namespace win32_devices {

void BroadcastDeviceChange(WPARAM event, LPARAM data) {
    using namespace win32_detail;
    for (HWND hwnd : TopLevelWindows()) {
        auto queue = WindowQueue(hwnd);
        if (!queue) continue;
        if (queue->thread_id() == GetCurrentThreadId()) {
            CallProc(hwnd, WM_DEVICECHANGE, event, data);
            continue;
        }
        // Nobody waits for the answer: a device thread never blocks on the
        // windows' threads.
        queue->PushSent(MakeSent(hwnd, WM_DEVICECHANGE, event, data));
    }
}

}  // namespace win32_devices
