// Posting the graph's notify message.
#include "media/graphnotify.h"

#include <atomic>

namespace {

BOOL NoPoster(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::atomic<LPFNPOSTNOTIFY> g_poster{nullptr};

}  // namespace

LPFNPOSTNOTIFY MediaSetNotifyPoster(LPFNPOSTNOTIFY pfn) { return g_poster.exchange(pfn); }

BOOL MediaPostNotify(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LPFNPOSTNOTIFY pfn = g_poster.load();
    return (pfn ? pfn : NoPoster)(hWnd, msg, wParam, lParam);
}
