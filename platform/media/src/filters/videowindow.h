// The video renderer's window: a child window inside the owner it is given,
// showing the newest picture scaled to its client rectangle.
//
// Threads.  Settings (owner, style, position, visibility, message drain)
// come from any thread and are kept here; the window itself belongs to the
// owner's thread, so each change is carried out there (directly when the
// caller is that thread, else as a task queued for it, never waited for).
// Pictures come from the streaming thread: Present copies one (top-down)
// into a spare buffer and swaps it in under a short lock, replacing a picture not drawn
// yet (a dropped frame), and asks the window's thread to repaint with one
// posted message at a time.  The window's thread takes the newest picture
// when it paints.  So the streaming thread never waits on the window's
// thread, however busy that thread is.
//
// The window exists only while there is an owner: without one nothing is
// shown.  It is destroyed when the owner is taken away, when Close is
// called (the renderer goes), or with its owner; whichever comes first.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <vector>

class VideoWindow : public std::enable_shared_from_this<VideoWindow> {
public:
    static std::shared_ptr<VideoWindow> Create();
    VideoWindow(const VideoWindow&) = delete;
    VideoWindow& operator=(const VideoWindow&) = delete;

    // Settings, any thread.  The style keeps WS_VISIBLE out: visibility is
    // SetVisible's.  SetOwner adds WS_CHILD to the style, or takes it away
    // for no owner.
    void SetOwner(HWND owner);
    LONG Style();
    void SetStyle(LONG style);
    void SetVisible(bool visible);
    void SetPosition(long left, long top, long width, long height);
    void SetDrain(HWND drain);

    // The picture format of the connection: 32-bit BI_RGB.
    void SetFormat(const BITMAPINFOHEADER& header);
    // Streaming thread: shows a picture of the connected format (`size`
    // bytes, at least the format's image size).
    void Present(const BYTE* bits, size_t size);
    // Starts the counts again (a new run).
    void ResetCounts();
    long FramesDrawn();
    long FramesDropped();

    // The window now, or NULL.
    HWND Handle();
    // The renderer is going: the window is destroyed on its thread.
    void Close();

private:
    struct Picture {
        BITMAPINFO info{};
        std::vector<BYTE> bits;
    };

    VideoWindow() = default;
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Paint(HWND hwnd);
    // Brings the window in line with the settings; runs on any thread and
    // moves itself to the thread that must do the work.
    void Apply();
    void ApplyLater(HWND on);

    std::mutex m_lock;
    // Settings.
    HWND m_owner = nullptr;
    LONG m_style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    bool m_visible = false;
    bool m_positioned = false;
    RECT m_position{};  // left, top, right, bottom in the owner's client area
    HWND m_drain = nullptr;
    bool m_closed = false;
    // The window.
    HWND m_hwnd = nullptr;
    bool m_creating = false;
    bool m_repaintPosted = false;
    // Pictures: the streaming thread fills m_back (under the filter's
    // receive lock) and swaps it with m_pending; the window's thread swaps
    // m_pending with m_front to paint it.
    BITMAPINFOHEADER m_format{};
    Picture m_back, m_pending, m_front;
    bool m_pendingFresh = false;
    long m_drawn = 0;
    long m_dropped = 0;
};
