// A thread's message queue: posted messages, messages sent to the thread's
// windows by other threads, its timers, and its quit flag.
//
// A thread gets its queue on its first window-system call, as on Windows.
// Queues live in a table keyed by thread identifier, so PostThreadMessage
// can find them; the table entry goes when the thread ends.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "winuser.h"

namespace win32_detail {

using Clock = std::chrono::steady_clock;

class MessageQueue;

// A message sent to a window of another thread.  The sender waits for
// `done`; the receiver runs the window procedure and fills `result`.  Text
// parameters travel as copies, so that a sender that gave up waiting never
// leaves the receiver with a pointer into a stack frame that has gone.
struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    // The queue to wake when done; null when nobody waits for the result.
    std::shared_ptr<MessageQueue> sender;

    // Non-zero: not a message but a change made on another thread that
    // the display must show (win32_display::Change mask).
    unsigned display_changes = 0;
    // Set: not a message but work queued for the window's thread
    // (win32_window_task::PostWindowTask).
    std::function<void()> task;

    std::string text;          // WM_SETTEXT: copy of the text
    std::vector<char> buffer;  // WM_GETTEXT: the receiver writes here

    std::mutex mutex;
    bool done = false;       // guarded by mutex
    bool abandoned = false;  // guarded by mutex: the sender gave up
    LRESULT result = 0;      // guarded by mutex
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT elapse;
    TIMERPROC proc;
    Clock::time_point due;
};

struct MessageFilter {
    HWND hwnd = nullptr;  // null: every message of the thread
    UINT min = 0;
    UINT max = 0;
    bool Matches(const MSG& msg) const;
};

class MessageQueue {
public:
    MessageQueue(DWORD thread_id, bool display_thread);

    DWORD thread_id() const { return m_threadId; }
    bool display_thread() const { return m_displayThread; }

    // Posted messages.  False once the thread has ended.
    bool Post(const MSG& msg);
    void PostQuit(int exit_code);
    bool TakePosted(const MessageFilter& filter, bool remove, MSG* out);
    // Removes every posted message for a destroyed window.
    void DropPostedFor(HWND hwnd);

    // Incoming sent messages.  PushSent fails once the thread has ended.
    bool PushSent(std::shared_ptr<SentMessage> sent);
    std::shared_ptr<SentMessage> TakeSent();
    // True if the message was still waiting and has been taken back.
    bool WithdrawSent(const std::shared_ptr<SentMessage>& sent);

    // Timers.  A timer without a window gets a fresh identifier.
    UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
    bool KillTimer(HWND hwnd, UINT_PTR id);
    void KillWindowTimers(HWND hwnd);
    // A WM_TIMER for the first due timer that passes the filter; otherwise
    // false, with *next_due set to the earliest due time (if any timer).
    bool TakeTimer(const MessageFilter& filter, bool remove, MSG* out, Clock::time_point* next_due,
                   bool* has_next);

    // Waits until Wake or the deadline.  On the display thread, with
    // display_events, the wait runs the display's event loop; a thread that
    // waits for the answer to its own send handles no display events.
    void Wait(Clock::time_point deadline, bool no_deadline, bool display_events = true);
    void Wake();

    // Hang detection: a thread that has not looked at its queue for 5 s and
    // is not waiting for messages counts as hung.
    void NotePumped();
    bool IsHung() const;

    // The thread has ended: queued sends are answered with 0 and no more
    // messages are accepted.
    void Close();

private:
    const DWORD m_threadId;
    const bool m_displayThread;

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_woken = false;
    bool m_closed = false;
    std::deque<MSG> m_posted;
    std::deque<std::shared_ptr<SentMessage>> m_sent;
    std::vector<Timer> m_timers;
    UINT_PTR m_nextThreadTimer = 1;
    bool m_quit = false;
    int m_quitCode = 0;

    std::atomic<int64_t> m_lastPumpMs;
    std::atomic<int> m_waiting{0};
};

// The calling thread's queue, created on first use.
std::shared_ptr<MessageQueue> CurrentQueue();
// The calling thread's queue if it has one.
std::shared_ptr<MessageQueue> CurrentQueueIfAny();
// The queue of a thread, or null if it has none (or has ended).
std::shared_ptr<MessageQueue> FindQueue(DWORD thread_id);

// Finishes a sent message: stores the result and wakes a waiting sender.
void CompleteSent(const std::shared_ptr<SentMessage>& sent, LRESULT result);

// Runs every sent message waiting in the queue (on its own thread).
void ProcessIncomingSends(MessageQueue& queue);

// A sent-message record with its text parameters copied.
std::shared_ptr<SentMessage> MakeSent(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

int64_t NowMs();

}  // namespace win32_detail
