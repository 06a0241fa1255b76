#include "videowindow.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "win32/windowtask.h"

namespace {

constexpr char kClassName[] = "VideoRendererWindow";
// Private to the class: the streaming thread asks for a repaint.
constexpr UINT kRepaint = WM_USER + 0x100;

void RegisterWindowClass(WNDPROC proc) {
    static std::once_flag once;
    std::call_once(once, [proc] {
        WNDCLASSEX wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = kClassName;
        RegisterClassEx(&wc);
    });
}

bool IsInput(UINT msg) {
    return (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) ||
           (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST);
}

}  // namespace

std::shared_ptr<VideoWindow> VideoWindow::Create() {
    RegisterWindowClass(&VideoWindow::WindowProc);
    return std::shared_ptr<VideoWindow>(new VideoWindow);
}

// ---- settings -------------------------------------------------------------

void VideoWindow::SetOwner(HWND owner) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_owner = owner;
        m_style = owner ? (m_style | WS_CHILD) : (m_style & ~WS_CHILD);
    }
    Apply();
}

LONG VideoWindow::Style() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_style | (m_visible ? WS_VISIBLE : 0);
}

void VideoWindow::SetStyle(LONG style) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_style = style & ~WS_VISIBLE;
    }
    Apply();
}

void VideoWindow::SetVisible(bool visible) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_visible = visible;
    }
    Apply();
}

void VideoWindow::SetPosition(long left, long top, long width, long height) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_positioned = true;
        const LONG l = static_cast<LONG>(left), t = static_cast<LONG>(top);
        m_position = RECT{l, t, l + std::max(static_cast<LONG>(width), 0),
                          t + std::max(static_cast<LONG>(height), 0)};
    }
    Apply();
}

void VideoWindow::SetDrain(HWND drain) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_drain = drain;
}

HWND VideoWindow::Handle() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_hwnd;
}

void VideoWindow::Close() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_closed = true;
    }
    Apply();
}

// ---- pictures ---------------------------------------------------------------

void VideoWindow::SetFormat(const BITMAPINFOHEADER& header) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_format = header;
}

void VideoWindow::Present(const BYTE* bits, size_t size) {
    BITMAPINFOHEADER format;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        format = m_format;
    }
    // The copy is made outside the lock: m_back is the streaming thread's.
    // It is kept top-down, so painting draws it without turning it over: a
    // bottom-up picture's rows are copied in reverse order.
    const size_t row = static_cast<size_t>(std::max<LONG>(format.biWidth, 0)) * 4;
    const size_t rows = static_cast<size_t>(std::abs(format.biHeight));
    if (format.biHeight > 0 && row * rows <= size) {
        m_back.bits.resize(row * rows);
        for (size_t y = 0; y < rows; ++y)
            std::memcpy(m_back.bits.data() + y * row, bits + (rows - 1 - y) * row, row);
        format.biHeight = -format.biHeight;
    } else {
        m_back.bits.assign(bits, bits + size);
    }
    m_back.info.bmiHeader = format;
    HWND post = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::swap(m_back, m_pending);
        if (m_pendingFresh) ++m_dropped;
        m_pendingFresh = true;
        if (m_hwnd && !m_repaintPosted) {
            m_repaintPosted = true;
            post = m_hwnd;
        }
    }
    if (post && !PostMessage(post, kRepaint, 0, 0)) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_repaintPosted = false;
    }
}

void VideoWindow::ResetCounts() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_drawn = 0;
    m_dropped = 0;
}

long VideoWindow::FramesDrawn() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_drawn;
}

long VideoWindow::FramesDropped() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_dropped;
}

// ---- the window ---------------------------------------------------------------

void VideoWindow::ApplyLater(HWND on) {
    // Fails only when the window's thread has ended, and its windows with it.
    auto self = shared_from_this();
    win32_window_task::PostWindowTask(on, [self] { self->Apply(); });
}

void VideoWindow::Apply() {
    const DWORD thread = GetCurrentThreadId();
    for (;;) {
        HWND hwnd, owner;
        bool closed;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            hwnd = m_hwnd;
            owner = m_owner;
            closed = m_closed;
        }
        if (hwnd) {
            if (GetWindowThreadProcessId(hwnd, nullptr) != thread) return ApplyLater(hwnd);
            if (closed || GetParent(hwnd) != owner) {
                DestroyWindow(hwnd);  // WM_NCDESTROY forgets it
                std::lock_guard<std::mutex> lock(m_lock);
                if (m_hwnd == hwnd) m_hwnd = nullptr;
                continue;
            }
            LONG style;
            bool visible;
            RECT pos;
            {
                std::lock_guard<std::mutex> lock(m_lock);
                style = m_style;
                visible = m_visible;
                pos = m_position;
            }
            // Always a child: the caption, frame and clipping bits are kept
            // but change nothing a child window shows.
            const LONG current = GetWindowLong(hwnd, GWL_STYLE);
            const LONG wanted =
                (style & ~(WS_VISIBLE | WS_POPUP)) | WS_CHILD | (current & WS_VISIBLE);
            if (wanted != current) SetWindowLong(hwnd, GWL_STYLE, wanted);
            SetWindowPos(hwnd, HWND_TOP, pos.left, pos.top, pos.right - pos.left,
                         pos.bottom - pos.top, SWP_NOACTIVATE);
            ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);
            return;
        }
        if (closed || !owner) return;
        const DWORD ownerThread = GetWindowThreadProcessId(owner, nullptr);
        if (!ownerThread) return;  // the owner has gone
        if (ownerThread != thread) return ApplyLater(owner);
        RECT pos;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (m_creating) return;  // the creating call looks again when done
            m_creating = true;
            if (!m_positioned) {
                // The picture's own size at the owner's corner until placed.
                m_position = RECT{0, 0, m_format.biWidth, std::abs(m_format.biHeight)};
            }
            pos = m_position;
        }
        HWND created = CreateWindowEx(0, kClassName, "Video Renderer", WS_CHILD | WS_CLIPSIBLINGS,
                                      pos.left, pos.top, pos.right - pos.left, pos.bottom - pos.top,
                                      owner, nullptr, nullptr, this);
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_creating = false;
        }
        if (!created) return;
    }
}

LRESULT CALLBACK VideoWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    using Holder = std::shared_ptr<VideoWindow>;
    if (msg == WM_NCCREATE) {
        auto* self =
            static_cast<VideoWindow*>(reinterpret_cast<CREATESTRUCT*>(lParam)->lpCreateParams);
        // The window keeps its VideoWindow alive until WM_NCDESTROY.
        SetWindowLongPtr(hwnd, GWLP_USERDATA,
                         reinterpret_cast<LONG_PTR>(new Holder(self->shared_from_this())));
        std::lock_guard<std::mutex> lock(self->m_lock);
        self->m_hwnd = hwnd;
        self->m_repaintPosted = false;
    }
    auto* holder = reinterpret_cast<Holder*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (!holder) return DefWindowProc(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        Holder self = std::move(*holder);
        delete holder;
        SetWindowLongPtr(hwnd, GWLP_USERDATA, 0);
        {
            std::lock_guard<std::mutex> lock(self->m_lock);
            if (self->m_hwnd == hwnd) self->m_hwnd = nullptr;
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    return (*holder)->Handle(hwnd, msg, wParam, lParam);
}

LRESULT VideoWindow::Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case kRepaint: {
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_repaintPosted = false;
            }
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        }
        case WM_PAINT:
            Paint(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the picture, or black, covers the whole window
    }
    if (IsInput(msg)) {
        HWND drain;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            drain = m_drain;
        }
        // Mouse and keyboard go to the drain, as they are.
        if (drain) {
            PostMessage(drain, msg, wParam, lParam);
            return 0;
        }
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

void VideoWindow::Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_pendingFresh) {
            std::swap(m_front, m_pending);
            m_pendingFresh = false;
            ++m_drawn;
        }
    }
    RECT rc;
    GetClientRect(hwnd, &rc);
    const BITMAPINFOHEADER& h = m_front.info.bmiHeader;
    const size_t needed = static_cast<size_t>(h.biWidth) * std::abs(h.biHeight) * 4;
    if (h.biWidth <= 0 || h.biHeight == 0 || m_front.bits.size() < needed ||
        !StretchDIBits(dc, 0, 0, rc.right, rc.bottom, 0, 0, h.biWidth, std::abs(h.biHeight),
                       m_front.bits.data(), &m_front.info, DIB_RGB_COLORS, SRCCOPY))
        FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EndPaint(hwnd, &ps);
}
