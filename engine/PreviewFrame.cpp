#include "PreviewFrame.h"

#include <atomic>

namespace {

std::atomic<HWND> g_hPreviewFrame{NULL};

}  // namespace

HWND GetPreviewFrameWindow() { return g_hPreviewFrame; }

void SetPreviewFrameWindow(HWND hFrame) { g_hPreviewFrame = hFrame; }
