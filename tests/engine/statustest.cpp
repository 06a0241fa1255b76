#include "statustest.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "resource.h"

namespace statustest {

namespace {

const UINT WM_TEST_STALL = WM_APP + 1;
const UINT WM_TEST_RUN = WM_APP + 2;

struct TextRecord {
    std::string text;
    int sets = 0;
};

std::mutex g_textLock;
std::map<int, TextRecord> g_texts;

LRESULT CALLBACK TextProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_SETTEXT) {
        std::lock_guard<std::mutex> lock(g_textLock);
        TextRecord& record = g_texts[GetDlgCtrlID(hWnd)];
        record.text = reinterpret_cast<const char*>(lParam);
        ++record.sets;
    }
    return DefWindowProc(hWnd, uMsg, wParam, lParam);
}

void RegisterClasses() {
    static const bool registered = [] {
        WNDCLASSEX wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = "Status Test Panel";
        RegisterClassEx(&wc);
        wc.lpfnWndProc = TextProc;
        wc.lpszClassName = "Status Test Text";
        RegisterClassEx(&wc);
        return true;
    }();
    (void)registered;
}

const int kControls[] = {IDC_TIMECODE,    IDC_TRANSPORT_MODE, IDC_DROPPED,      IDC_CAPTURED,
                         IDC_PLAY,        IDC_PAUSE,          IDC_STOP,         IDC_FAST_FORWARD,
                         IDC_REWIND,      IDC_STEP_FORWARD,   IDC_STEP_REVERSE, IDC_SLOW_REVERSE,
                         IDC_SLOW_FORWARD};

}  // namespace

// ---- PanelThread --------------------------------------------------------

PanelThread::PanelThread(CCapturePanel* pPanel) : m_pPanel(pPanel) {
    {
        std::lock_guard<std::mutex> lock(g_textLock);
        g_texts.clear();
    }
    m_thread = std::thread([this] { Main(); });
    while (m_nThreadID == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

PanelThread::~PanelThread() {
    PostThreadMessage(m_nThreadID, WM_QUIT, 0, 0);
    m_thread.join();
}

void PanelThread::Main() {
    MSG msg;
    PeekMessage(&msg, NULL, 0, 0, PM_NOREMOVE);
    RegisterClasses();
    m_hWnd = CreateWindowEx(0, "Status Test Panel", "", WS_POPUP, 0, 0, 400, 100, NULL, NULL, NULL,
                            NULL);
    for (int nID : kControls)
        CreateWindowEx(0, "Status Test Text", "", WS_CHILD, 0, 0, 20, 10, m_hWnd,
                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(nID)), NULL, NULL);
    m_pPanel->SubclassWindow(m_hWnd);
    m_nThreadID = GetCurrentThreadId();
    while (GetMessage(&msg, NULL, 0, 0) > 0) {
        if (msg.hwnd == NULL && msg.message == WM_TEST_STALL) {
            Sleep(static_cast<DWORD>(msg.wParam));
        } else if (msg.hwnd == NULL && msg.message == WM_TEST_RUN) {
            (*reinterpret_cast<const std::function<void()>*>(msg.wParam))();
            SetEvent(reinterpret_cast<HANDLE>(msg.lParam));
        } else {
            DispatchMessage(&msg);
        }
    }
    m_pPanel->UnsubclassWindow();
    DestroyWindow(m_hWnd);
}

std::string PanelThread::Text(int nID) {
    std::lock_guard<std::mutex> lock(g_textLock);
    return g_texts[nID].text;
}

int PanelThread::Sets(int nID) {
    std::lock_guard<std::mutex> lock(g_textLock);
    return g_texts[nID].sets;
}

bool PanelThread::WaitText(int nID, const std::string& text, int ms) {
    return enginetest::WaitUntil([&] { return Text(nID) == text; }, ms);
}

void PanelThread::Stall(DWORD ms) { PostThreadMessage(m_nThreadID, WM_TEST_STALL, ms, 0); }

void PanelThread::Click(int nID) {
    SendMessage(m_hWnd, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED),
                reinterpret_cast<LPARAM>(GetDlgItem(m_hWnd, nID)));
}

void PanelThread::Run(const std::function<void()>& f) {
    HANDLE hDone = CreateEvent(NULL, TRUE, FALSE, NULL);
    PostThreadMessage(m_nThreadID, WM_TEST_RUN, reinterpret_cast<WPARAM>(&f),
                      reinterpret_cast<LPARAM>(hDone));
    WaitForSingleObject(hDone, INFINITE);
    CloseHandle(hDone);
}

// ---- Fakes --------------------------------------------------------------

STDMETHODIMP FakeTransport::put_Mode(long lMode) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_sent.push_back(lMode);
    return S_OK;
}

STDMETHODIMP FakeTransport::get_Mode(long* plMode) {
    ++reads;
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_cv.wait(lock, [this] { return !m_bStalled; });
    }
    *plMode = mode;
    return result;
}

std::vector<long> FakeTransport::Sent() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_sent;
}

void FakeTransport::Stall(bool bOn) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bStalled = bOn;
    }
    m_cv.notify_all();
}

STDMETHODIMP FakeTimecode::GetTimecode(PTIMECODE_SAMPLE pSample) {
    ++reads;
    if (pSample->dwFlags != ED_DEVCAP_TIMECODE_READ || pSample->timecode.dwFrames != 0 ||
        pSample->qwTick != 0 || pSample->dwUser != 0 || pSample->timecode.wFrameRate != 0 ||
        pSample->timecode.wFrameFract != 0)
        ++badSamples;
    pSample->timecode.dwFrames = digits;
    return result;
}

STDMETHODIMP FakeCounters::GetNumDropped(long* plDropped) {
    ++reads;
    *plDropped = dropped;
    return droppedResult;
}

STDMETHODIMP FakeCounters::GetNumNotDropped(long* plNotDropped) {
    ++reads;
    *plNotDropped = delivered;
    return deliveredResult;
}

// ---- HangGuard ----------------------------------------------------------

HangGuard::HangGuard(const char* pszWhat, int seconds) {
    m_thread = std::thread([this, pszWhat, seconds] {
        std::unique_lock<std::mutex> lock(m_lock);
        if (!m_cv.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_bDone; })) {
            fprintf(stderr, "hung: %s\n", pszWhat);
            std::abort();
        }
    });
}

HangGuard::~HangGuard() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bDone = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

}  // namespace statustest
