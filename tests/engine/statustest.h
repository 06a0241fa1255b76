// Helpers of the status threads' tests: the panel's window on a thread of
// its own with the controls the threads write to, stand-in device
// interfaces whose answers a test sets, and a guard that ends a hung test.
#pragma once

#include <edevdefs.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "com/comobject.h"
#include "media/iids.h"
#include "testsupport/enginetest.h"

namespace statustest {

// The panel's window and its controls (the four texts and the nine
// transport buttons), owned by a thread that answers messages as the
// panel's thread does.  The panel object is bound to the window, so
// WM_COMMAND reaches the panel's message map.
class PanelThread {
public:
    explicit PanelThread(CCapturePanel* pPanel);
    ~PanelThread();
    PanelThread(const PanelThread&) = delete;
    PanelThread& operator=(const PanelThread&) = delete;

    HWND Window() const { return m_hWnd; }
    // The control's last text and how many texts it has been sent.
    std::string Text(int nID);
    int Sets(int nID);
    bool WaitText(int nID, const std::string& text, int ms = 5000);
    // The thread answers nothing for that long; returns at once.
    void Stall(DWORD ms);
    // A click on a button, as the button reports it to the panel.
    void Click(int nID);
    // Runs f on the thread and waits for it.
    void Run(const std::function<void()>& f);

private:
    void Main();
    CCapturePanel* m_pPanel;
    std::thread m_thread;
    std::atomic<DWORD> m_nThreadID{0};
    HWND m_hWnd = NULL;
};

// Transport and timecode reader of a device whose answers the test sets.
class FakeTransport final : public ComObject<IAMExtTransport> {
public:
    FakeTransport() = default;
    STDMETHODIMP GetTransportBasicParameters(long, long*, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Mode(long lMode) override;
    STDMETHODIMP get_Mode(long* plMode) override;

    std::vector<long> Sent();
    // get_Mode waits while stalled (a device that does not answer).
    void Stall(bool bOn);

    std::atomic<long> mode{ED_MODE_STOP};
    std::atomic<HRESULT> result{S_OK};
    std::atomic<long> reads{0};

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_bStalled = false;
    std::vector<long> m_sent;
};

class FakeTimecode final : public ComObject<IAMTimecodeReader> {
public:
    FakeTimecode() = default;
    STDMETHODIMP GetTimecode(PTIMECODE_SAMPLE pSample) override;

    std::atomic<DWORD> digits{0};
    std::atomic<HRESULT> result{S_OK};
    std::atomic<long> reads{0};
    // A sample that did not come as asked (flags 0x1019, everything else 0).
    std::atomic<long> badSamples{0};
};

class FakeCounters final : public ComObject<IAMDroppedFrames> {
public:
    FakeCounters() = default;
    STDMETHODIMP GetNumDropped(long* plDropped) override;
    STDMETHODIMP GetNumNotDropped(long* plNotDropped) override;

    std::atomic<long> dropped{0}, delivered{0};
    std::atomic<HRESULT> droppedResult{S_OK}, deliveredResult{S_OK};
    std::atomic<long> reads{0};
};

// Ends the process with a message when it is not destroyed in time: a
// hang fails the test instead of stopping the suite.
class HangGuard {
public:
    HangGuard(const char* pszWhat, int seconds = 30);
    ~HangGuard();

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_bDone = false;
    std::thread m_thread;
};

}  // namespace statustest
