#include "message_queue.h"

#include <algorithm>
#include <unordered_map>

#include "win32/display.h"
#include "winbase.h"
#include "window_table.h"

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
    : thread_id_(thread_id), display_thread_(display_thread), last_pump_ms_(NowMs()) {}

bool MessageQueue::Post(const MSG& msg) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return false;
        posted_.push_back(msg);
    }
    Wake();
    return true;
}

void MessageQueue::PostQuit(int exit_code) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        quit_code_ = exit_code;
    }
    Wake();
}

bool MessageQueue::TakePosted(const MessageFilter& filter, bool remove, MSG* out) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = posted_.begin(); it != posted_.end(); ++it) {
        if (!filter.Matches(*it)) continue;
        *out = *it;
        if (remove) posted_.erase(it);
        return true;
    }
    if (quit_) {
        *out = MSG{};
        out->message = WM_QUIT;
        out->wParam = static_cast<WPARAM>(quit_code_);
        if (remove) quit_ = false;
        return true;
    }
    return false;
}

void MessageQueue::DropPostedFor(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.erase(std::remove_if(posted_.begin(), posted_.end(),
                                 [hwnd](const MSG& m) { return m.hwnd == hwnd; }),
                  posted_.end());
}

bool MessageQueue::PushSent(std::shared_ptr<SentMessage> sent) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return false;
        sent_.push_back(std::move(sent));
    }
    Wake();
    return true;
}

std::shared_ptr<SentMessage> MessageQueue::TakeSent() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (sent_.empty()) return nullptr;
    auto sent = std::move(sent_.front());
    sent_.pop_front();
    return sent;
}

bool MessageQueue::WithdrawSent(const std::shared_ptr<SentMessage>& sent) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(sent_.begin(), sent_.end(), sent);
    if (it == sent_.end()) return false;
    sent_.erase(it);
    return true;
}

UINT_PTR MessageQueue::SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!hwnd) {
            // Thread timers: a fresh identifier unless an existing one is named.
            auto it = std::find_if(timers_.begin(), timers_.end(),
                                   [&](const Timer& t) { return t.hwnd == nullptr && t.id == id; });
            if (id == 0 || it == timers_.end()) {
                id = next_thread_timer_++;
                if (next_thread_timer_ == 0) next_thread_timer_ = 1;
            }
        }
        if (elapse < 10) elapse = 10;  // the shortest period Windows accepts
        Timer timer{hwnd, id, elapse, proc, Clock::now() + std::chrono::milliseconds(elapse)};
        auto it = std::find_if(timers_.begin(), timers_.end(),
                               [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
        if (it != timers_.end())
            *it = timer;
        else
            timers_.push_back(timer);
    }
    Wake();
    return hwnd ? (id ? id : 1) : id;
}

bool MessageQueue::KillTimer(HWND hwnd, UINT_PTR id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(timers_.begin(), timers_.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == timers_.end()) return false;
    timers_.erase(it);
    return true;
}

void MessageQueue::KillWindowTimers(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex_);
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                                 [hwnd](const Timer& t) { return t.hwnd == hwnd; }),
                  timers_.end());
}

bool MessageQueue::TakeTimer(const MessageFilter& filter, bool remove, MSG* out,
                             Clock::time_point* next_due, bool* has_next) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = Clock::now();
    *has_next = false;
    Timer* best = nullptr;
    for (auto& t : timers_) {
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
    waiting_.fetch_add(1);
    win32_display::Backend* display =
        display_thread_ && display_events ? win32_display::DisplayBackend() : nullptr;
    if (display) {
        display->WaitForEvents(deadline, no_deadline);
    } else {
        std::unique_lock<std::mutex> lock(mutex_);
        if (no_deadline)
            cv_.wait(lock, [this] { return woken_; });
        else
            cv_.wait_until(lock, deadline, [this] { return woken_; });
        woken_ = false;
    }
    waiting_.fetch_sub(1);
    NotePumped();
}

void MessageQueue::Wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    cv_.notify_all();
    if (display_thread_) {
        if (auto* display = win32_display::DisplayBackend()) display->Wake();
    }
}

void MessageQueue::NotePumped() { last_pump_ms_.store(NowMs()); }

bool MessageQueue::IsHung() const {
    if (waiting_.load() > 0) return false;
    return NowMs() - last_pump_ms_.load() > kHungAfterMs;
}

void MessageQueue::Close() {
    std::deque<std::shared_ptr<SentMessage>> pending;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        pending.swap(sent_);
        posted_.clear();
        timers_.clear();
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
