// Posting the graph's notify message.
#include "media/graphnotify.h"

#include <winuser.h>

#include <atomic>

namespace {

std::atomic<LPFNPOSTNOTIFY> g_poster{nullptr};

}  // namespace

LPFNPOSTNOTIFY MediaSetNotifyPoster(LPFNPOSTNOTIFY pfn) { return g_poster.exchange(pfn); }

BOOL MediaPostNotify(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LPFNPOSTNOTIFY pfn = g_poster.load();
    return (pfn ? pfn : PostMessage)(hWnd, msg, wParam, lParam);
}
