// Output pin of a source with its own streaming thread.  The thread starts
// when the filter leaves the stopped state and is joined when it stops.
// While the filter runs it takes a buffer from the allocator, lets the
// derived pin fill it (FillBuffer, which may wait for the frame's time
// with WaitForStreamTime) and delivers it.  A live source does not deliver
// while paused.
//
// FillBuffer returning S_FALSE ends the stream (EndOfStream downstream); a
// failure, or a failure to deliver other than the downstream filter being
// stopped, raises EC_ERRORABORT and ends the thread.
//
// May block: GetBuffer (all buffers downstream), Receive downstream.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "basepin.h"

class SourceStreamPin : public BaseOutputPin {
public:
    SourceStreamPin(BaseFilter* filter, LPCWSTR name, const GUID& category = GUID_NULL,
                    bool withStreamControl = false);
    ~SourceStreamPin() override;

    HRESULT Active() override;
    HRESULT Inactive() override;

    // Wakes the thread on a change of the filter's state.
    void StateChanged() override;

protected:
    virtual HRESULT FillBuffer(IMediaSample* pSample) = 0;
    // Called on the streaming thread before the first and after the last
    // sample of each run of the thread.
    virtual void OnThreadStart() {}
    virtual void OnThreadStop() {}

    // Waits until the clock reaches stream time t; false when the pin is
    // stopping (the caller returns at once).  Without a clock, returns true.
    bool WaitForStreamTime(REFERENCE_TIME t);
    bool Stopping();

private:
    void ThreadProc();

    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stop = false;
};
