#include "messagequeue.h"

#include <algorithm>
#include <unordered_map>

#include "win32/display.h"
#include "winbase.h"
#include "windowtable.h"

namespace win32_detail {

namespace {

constexpr int64_t kHungAfterMs = 5000;

struct QueueTable {
    std::mutex mutex;
    std::unordered_map<DWORD, std::shared_ptr<MessageQueue>> queues;
};

QueueTable& Queues() {
    static QueueTable* table = new QueueTable;  // outlives every thread
    return *table;
}

// Owns the calling thread's queue; its destructor runs when the thread ends.
struct ThreadQueueHolder {
    std::shared_ptr<MessageQueue> queue;
    ~ThreadQueueHolder() {
        if (!queue) return;
        DestroyThreadWindows(queue->thread_id());
        {
            std::lock_guard<std::mutex> lock(Queues().mutex);
            Queues().queues.erase(queue->thread_id());
        }
        queue->Close();
    }
};

thread_local ThreadQueueHolder t_holder;

}  // namespace

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

bool MessageFilter::Matches(const MSG& msg) const {
    if (hwnd && msg.hwnd != hwnd && !IsChild(hwnd, msg.hwnd)) return false;
    if (min == 0 && max == 0) return true;
    return msg.message >= min && msg.message <= max;
}

MessageQueue::MessageQueue(DWORD thread_id, bool display_thread)
    : m_threadId(thread_id), m_displayThread(display_thread), m_lastPumpMs(NowMs()) {}

bool MessageQueue::Post(const MSG& msg) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed) return false;
        m_posted.push_back(msg);
    }
    Wake();
    return true;
}

void MessageQueue::PostQuit(int exit_code) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        m_quitCode = exit_code;
    }
    Wake();
}

bool MessageQueue::TakePosted(const MessageFilter& filter, bool remove, MSG* out) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_posted.begin(); it != m_posted.end(); ++it) {
        if (!filter.Matches(*it)) continue;
        *out = *it;
        if (remove) m_posted.erase(it);
        return true;
    }
    if (m_quit) {
        *out = MSG{};
        out->message = WM_QUIT;
        out->wParam = static_cast<WPARAM>(m_quitCode);
        if (remove) m_quit = false;
        return true;
    }
    return false;
}

void MessageQueue::DropPostedFor(HWND hwnd) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_posted.erase(std::remove_if(m_posted.begin(), m_posted.end(),
                                  [hwnd](const MSG& m) { return m.hwnd == hwnd; }),
                   m_posted.end());
}

bool MessageQueue::PushSent(std::shared_ptr<SentMessage> sent) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed) return false;
        m_sent.push_back(std::move(sent));
    }
    Wake();
    return true;
}

std::shared_ptr<SentMessage> MessageQueue::TakeSent() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_sent.empty()) return nullptr;
    auto sent = std::move(m_sent.front());
    m_sent.pop_front();
    return sent;
}

bool MessageQueue::WithdrawSent(const std::shared_ptr<SentMessage>& sent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = std::find(m_sent.begin(), m_sent.end(), sent);
    if (it == m_sent.end()) return false;
    m_sent.erase(it);
    return true;
}

UINT_PTR MessageQueue::SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!hwnd) {
            // Thread timers: a fresh identifier unless an existing one is named.
            auto it = std::find_if(m_timers.begin(), m_timers.end(),
                                   [&](const Timer& t) { return t.hwnd == nullptr && t.id == id; });
            if (id == 0 || it == m_timers.end()) {
                id = m_nextThreadTimer++;
                if (m_nextThreadTimer == 0) m_nextThreadTimer = 1;
            }
        }
        if (elapse < 10) elapse = 10;  // the shortest period Windows accepts
        Timer timer{hwnd, id, elapse, proc, Clock::now() + std::chrono::milliseconds(elapse)};
        auto it = std::find_if(m_timers.begin(), m_timers.end(),
                               [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
        if (it != m_timers.end())
            *it = timer;
        else
            m_timers.push_back(timer);
    }
    Wake();
    return hwnd ? (id ? id : 1) : id;
}

bool MessageQueue::KillTimer(HWND hwnd, UINT_PTR id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = std::find_if(m_timers.begin(), m_timers.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == m_timers.end()) return false;
    m_timers.erase(it);
    return true;
}

void MessageQueue::KillWindowTimers(HWND hwnd) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                  [hwnd](const Timer& t) { return t.hwnd == hwnd; }),
                   m_timers.end());
}

bool MessageQueue::TakeTimer(const MessageFilter& filter, bool remove, MSG* out,
                             Clock::time_point* next_due, bool* has_next) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto now = Clock::now();
    *has_next = false;
    Timer* best = nullptr;
    for (auto& t : m_timers) {
        MSG m{};
        m.hwnd = t.hwnd;
        m.message = WM_TIMER;
        if (!filter.Matches(m)) continue;
        if (!best || t.due < best->due) best = &t;
    }
    if (!best) return false;
    if (best->due > now) {
        *next_due = best->due;
        *has_next = true;
        return false;
    }
    *out = MSG{};
    out->hwnd = best->hwnd;
    out->message = WM_TIMER;
    out->wParam = best->id;
    out->lParam = reinterpret_cast<LPARAM>(best->proc);
    out->time = static_cast<DWORD>(NowMs());
    // Expirations missed while the thread was busy make one WM_TIMER.
    if (remove) best->due = now + std::chrono::milliseconds(best->elapse);
    return true;
}

void MessageQueue::Wait(Clock::time_point deadline, bool no_deadline, bool display_events) {
    m_waiting.fetch_add(1);
    win32_display::Backend* display =
        m_displayThread && display_events ? win32_display::DisplayBackend() : nullptr;
    if (display) {
        display->WaitForEvents(deadline, no_deadline);
    } else {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (no_deadline)
            m_cv.wait(lock, [this] { return m_woken; });
        else
            m_cv.wait_until(lock, deadline, [this] { return m_woken; });
        m_woken = false;
    }
    m_waiting.fetch_sub(1);
    NotePumped();
}

void MessageQueue::Wake() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_woken = true;
    }
    m_cv.notify_all();
    if (m_displayThread) {
        if (auto* display = win32_display::DisplayBackend()) display->Wake();
    }
}

void MessageQueue::NotePumped() { m_lastPumpMs.store(NowMs()); }

bool MessageQueue::IsHung() const {
    if (m_waiting.load() > 0) return false;
    return NowMs() - m_lastPumpMs.load() > kHungAfterMs;
}

void MessageQueue::Close() {
    std::deque<std::shared_ptr<SentMessage>> pending;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        pending.swap(m_sent);
        m_posted.clear();
        m_timers.clear();
    }
    for (auto& sent : pending) CompleteSent(sent, 0);
}

std::shared_ptr<MessageQueue> CurrentQueue() {
    if (!t_holder.queue) {
        auto* display = win32_display::DisplayBackend();
        const bool on_display = display && display->IsDisplayThread();
        auto queue = std::make_shared<MessageQueue>(GetCurrentThreadId(), on_display);
        {
            std::lock_guard<std::mutex> lock(Queues().mutex);
            Queues().queues[queue->thread_id()] = queue;
        }
        t_holder.queue = std::move(queue);
    }
    return t_holder.queue;
}

std::shared_ptr<MessageQueue> CurrentQueueIfAny() { return t_holder.queue; }

std::shared_ptr<MessageQueue> FindQueue(DWORD thread_id) {
    std::lock_guard<std::mutex> lock(Queues().mutex);
    auto it = Queues().queues.find(thread_id);
    return it == Queues().queues.end() ? nullptr : it->second;
}

}  // namespace win32_detail
