// PostWindowTask: work for a window's thread, queued like a sent message
// that nobody waits for.
#include "win32/windowtask.h"

#include "messagequeue.h"
#include "windowtable.h"

namespace win32_window_task {

bool PostWindowTask(HWND hwnd, std::function<void()> task) {
    if (!task) return false;
    auto queue = win32_detail::WindowQueue(hwnd);
    if (!queue) return false;
    auto sent = std::make_shared<win32_detail::SentMessage>();
    sent->hwnd = hwnd;
    sent->task = std::move(task);
    return queue->PushSent(std::move(sent));
}

}  // namespace win32_window_task
