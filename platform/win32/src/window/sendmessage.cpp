// SendMessage and SendMessageTimeout, within the thread and across threads.
//
// A send to a window of the calling thread calls its procedure directly.  A
// send to another thread's window queues the call there and waits; while it
// waits the sender still runs the messages other threads send to it (unless
// SMTO_BLOCK), so two threads sending to each other never deadlock.
#include <cstring>

#include "broadcast.h"
#include "messagequeue.h"
#include "winbase.h"
#include "windowtable.h"

namespace win32_detail {

namespace {

// Messages whose lParam is a string the receiver only reads.
bool CarriesText(UINT message) {
    return message == WM_SETTEXT || message == CB_ADDSTRING || message == CB_INSERTSTRING;
}

LRESULT RunSent(SentMessage& sent) {
    if (sent.task) {
        sent.task();
        return 0;
    }
    if (sent.display_changes) {
        NotifyDisplay(sent.hwnd, sent.display_changes);
        return 0;
    }
    LPARAM lParam = sent.lParam;
    if (CarriesText(sent.message) && sent.lParam)
        lParam = reinterpret_cast<LPARAM>(sent.text.c_str());
    else if (sent.message == WM_GETTEXT)
        lParam = reinterpret_cast<LPARAM>(sent.buffer.data());
    if (!IsWindow(sent.hwnd)) return 0;
    return CallProc(sent.hwnd, sent.message, sent.wParam, lParam);
}

}  // namespace

void CompleteSent(const std::shared_ptr<SentMessage>& sent, LRESULT result) {
    std::shared_ptr<MessageQueue> sender;
    {
        std::lock_guard<std::mutex> lock(sent->mutex);
        sent->result = result;
        sent->done = true;
        if (!sent->abandoned) sender = sent->sender;
    }
    if (sender) sender->Wake();
}

void ProcessIncomingSends(MessageQueue& queue) {
    while (auto sent = queue.TakeSent()) {
        queue.NotePumped();
        LRESULT result = RunSent(*sent);
        CompleteSent(sent, result);
    }
}

std::shared_ptr<SentMessage> MakeSent(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->message = message;
    sent->wParam = wParam;
    sent->lParam = lParam;
    if (CarriesText(message) && lParam) sent->text = reinterpret_cast<const char*>(lParam);
    if (message == WM_GETTEXT) sent->buffer.assign(wParam + 1, 0);
    return sent;
}

// Sends to a window of another thread.  Returns false on time-out, on a
// hung receiver (SMTO_ABORTIFHUNG) or when the receiver's thread has ended.
bool SendAcross(const std::shared_ptr<MessageQueue>& target, HWND hwnd, UINT message, WPARAM wParam,
                LPARAM lParam, UINT flags, bool timed, UINT timeout, LRESULT* result) {
    auto self = CurrentQueue();
    if ((flags & SMTO_ABORTIFHUNG) && target->IsHung()) {
        SetLastError(ERROR_TIMEOUT);
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
    auto sent = MakeSent(hwnd, message, wParam, lParam);
    sent->sender = self;
    if (!target->PushSent(sent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(sent->mutex);
            if (sent->done) break;
        }
        if (!(flags & SMTO_BLOCK)) ProcessIncomingSends(*self);
        {
            std::lock_guard<std::mutex> lock(sent->mutex);
            if (sent->done) break;
        }
        if (timed && Clock::now() >= deadline) {
            if (!target->WithdrawSent(sent)) {
                std::lock_guard<std::mutex> lock(sent->mutex);
                if (sent->done) break;
                // Running now: the receiver finishes it on its own copies.
                sent->abandoned = true;
            }
            SetLastError(ERROR_TIMEOUT);
            return false;
        }
        self->Wait(deadline, !timed, /*display_events=*/false);
    }
    std::lock_guard<std::mutex> lock(sent->mutex);
    *result = sent->result;
    if (message == WM_GETTEXT && wParam > 0 && lParam) {
        size_t n = std::min<size_t>(wParam - 1, std::strlen(sent->buffer.data()));
        std::memcpy(reinterpret_cast<char*>(lParam), sent->buffer.data(), n);
        reinterpret_cast<char*>(lParam)[n] = '\0';
    }
    return true;
}

// The common path of both calls.
bool SendTo(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, bool timed,
            UINT timeout, LRESULT* result) {
    *result = 0;
    DWORD owner;
    std::shared_ptr<MessageQueue> queue;
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        Window* w = FindWindowLocked(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
        owner = w->thread_id;
        queue = w->queue.lock();
    }
    if (owner == GetCurrentThreadId()) {
        *result = CallProc(hwnd, message, wParam, lParam);
        return true;
    }
    if (!queue) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    return SendAcross(queue, hwnd, message, wParam, lParam, flags, timed, timeout, result);
}

}  // namespace win32_detail

using namespace win32_detail;

LRESULT SendMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd == HWND_BROADCAST) {
        BroadcastSend(Msg, wParam, lParam, SMTO_NORMAL, false, 0);
        return 0;
    }
    LRESULT result;
    SendTo(hWnd, Msg, wParam, lParam, SMTO_NORMAL, false, 0, &result);
    return result;
}

LRESULT SendMessageTimeout(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags,
                           UINT uTimeout, PDWORD_PTR lpdwResult) {
    if (hWnd == HWND_BROADCAST) {
        BroadcastSend(Msg, wParam, lParam, fuFlags, true, uTimeout);
        if (lpdwResult) *lpdwResult = 0;
        return TRUE;
    }
    LRESULT result;
    if (!SendTo(hWnd, Msg, wParam, lParam, fuFlags, true, uTimeout, &result)) return 0;
    if (lpdwResult) *lpdwResult = static_cast<DWORD_PTR>(result);
    return TRUE;
}
