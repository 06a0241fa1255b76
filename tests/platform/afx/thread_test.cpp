#include <afxwin.h>
#include <gtest/gtest.h>

#include <atomic>

namespace {

struct Context {
    std::atomic<bool> ran{false};
    std::atomic<bool> done{false};
    std::atomic<int> priority{THREAD_PRIORITY_ERROR_RETURN};
    std::atomic<CWinThread*> self{nullptr};
    HANDLE release = nullptr;  // the thread waits for it before ending
};

UINT RecordAndWait(LPVOID pParam) {
    auto* ctx = static_cast<Context*>(pParam);
    ctx->priority = GetThreadPriority(GetCurrentThread());
    ctx->self = AfxGetThread();
    ctx->ran = true;
    if (ctx->release) WaitForSingleObject(ctx->release, INFINITE);
    return 7;
}

// A worker with a message loop that ends on WM_QUIT.
UINT MessageLoop(LPVOID pParam) {
    auto* ctx = static_cast<Context*>(pParam);
    MSG msg;
    PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
    ctx->ran = true;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) DispatchMessage(&msg);
    return msg.message == WM_QUIT ? 1 : 0;
}

UINT EndAtOnce(LPVOID pParam) {
    static_cast<Context*>(pParam)->done = true;
    return 3;
}

}  // namespace

TEST(AfxBeginThread, PriorityAndThreadObject) {
    for (int priority : {THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_HIGHEST}) {
        Context ctx;
        ctx.release = CreateEvent(nullptr, TRUE, FALSE, nullptr);
        CWinThread* pThread = AfxBeginThread(RecordAndWait, &ctx, priority);
        ASSERT_NE(pThread, nullptr);
        pThread->m_bAutoDelete = FALSE;  // safe: the thread waits for the release
        while (!ctx.ran) Sleep(1);
        // The thread ran at the asked priority from its first instruction.
        EXPECT_EQ(ctx.priority, priority);
        EXPECT_EQ(pThread->GetThreadPriority(), priority);
        EXPECT_EQ(ctx.self, pThread);
        EXPECT_NE(pThread->m_nThreadID, 0u);
        SetEvent(ctx.release);
        EXPECT_EQ(WaitForSingleObject(pThread->m_hThread, 10000), WAIT_OBJECT_0);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeThread(pThread->m_hThread, &code));
        EXPECT_EQ(code, 7u);
        delete pThread;
        CloseHandle(ctx.release);
    }
    EXPECT_EQ(AfxGetThread(), nullptr);  // no application object here
    EXPECT_EQ(AfxBeginThread(nullptr, nullptr), nullptr);
}

TEST(AfxBeginThread, SuspendedUntilResumed) {
    Context ctx;
    CWinThread* pThread =
        AfxBeginThread(RecordAndWait, &ctx, THREAD_PRIORITY_NORMAL, 256 * 1024, CREATE_SUSPENDED);
    ASSERT_NE(pThread, nullptr);
    pThread->m_bAutoDelete = FALSE;
    Sleep(50);
    EXPECT_FALSE(ctx.ran);
    EXPECT_EQ(WaitForSingleObject(pThread->m_hThread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    pThread->ResumeThread();
    EXPECT_EQ(WaitForSingleObject(pThread->m_hThread, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(ctx.ran);
    delete pThread;
}

TEST(AfxBeginThread, QuitPostedToARunningLoop) {
    Context ctx;
    CWinThread* pThread = AfxBeginThread(MessageLoop, &ctx, THREAD_PRIORITY_HIGHEST);
    ASSERT_NE(pThread, nullptr);
    while (!ctx.ran) Sleep(1);
    EXPECT_TRUE(pThread->PostThreadMessage(WM_QUIT, 0, 0));
    EXPECT_EQ(WaitForSingleObject(pThread->m_hThread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(pThread->m_hThread, &code));
    EXPECT_EQ(code, 1u);
}

// The owner's shutdown posts WM_QUIT and waits on the handle of an
// auto-deleting thread that may have ended long before: the object, the
// identifier and the handle must all still be there.
TEST(AfxBeginThread, EndedAutoDeleteThreadStaysUsable) {
    Context ctx;
    CWinThread* pThread = AfxBeginThread(EndAtOnce, &ctx);
    ASSERT_NE(pThread, nullptr);
    const DWORD id = pThread->m_nThreadID;
    while (!ctx.done) Sleep(1);
    Sleep(50);  // the thread has left its function and ended
    EXPECT_EQ(pThread->m_nThreadID, id);
    pThread->PostThreadMessage(WM_QUIT, 0, 0);  // no queue any more: no effect
    EXPECT_EQ(WaitForSingleObject(pThread->m_hThread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(pThread->m_hThread, &code));
    EXPECT_EQ(code, 3u);
    // Waiting again is just as safe.
    EXPECT_EQ(WaitForSingleObject(pThread->m_hThread, 0), WAIT_OBJECT_0);
}
