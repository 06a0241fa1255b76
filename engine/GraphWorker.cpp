// The graph worker thread, which scans for devices and builds the first
// graph after each scan, and the hidden notify window, which receives the
// graph's events and the system's device changes on the panel's thread.
#include "CapturePanel.h"
#include "DeviceList.h"

namespace {

const char kNotifyClass[] = "Cap Notify";

// Do two filter references name the same object?  A missing filter is
// never the same object as anything.
bool IsSameObject(IBaseFilter* pFirst, IBaseFilter* pSecond) {
    if (pFirst == NULL || pSecond == NULL) return false;
    if (pFirst == pSecond) return true;
    IUnknown* pUnknownFirst = NULL;
    IUnknown* pUnknownSecond = NULL;
    pFirst->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnknownFirst));
    pSecond->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnknownSecond));
    const bool bSame = pUnknownFirst != NULL && pUnknownFirst == pUnknownSecond;
    if (pUnknownFirst != NULL) pUnknownFirst->Release();
    if (pUnknownSecond != NULL) pUnknownSecond->Release();
    return bSame;
}

}  // namespace

UINT CCapturePanel::GraphWorkerThread(LPVOID pParam) {
    CCapturePanel* pPanel = static_cast<CCapturePanel*>(pParam);
    CoInitialize(NULL);
    // The thread's message queue, so that requests posted while it scans
    // are kept for it.
    MSG msgFirst;
    PeekMessage(&msgFirst, NULL, 0, 0, PM_NOREMOVE);
    UINT nResult = 1;
    bool bScan = true;
    for (;;) {
        if (bScan && !pPanel->ScanAndBuild()) {
            nResult = 0;
            break;
        }
        bScan = false;
        MSG msg;
        const BOOL bGot = GetMessage(&msg, NULL, 0, 0);
        if (bGot == -1) {
            nResult = 0;
            break;
        }
        if (bGot == 0) break;  // WM_QUIT
        if (msg.message == WM_RESCANDEVICES) {
            bScan = true;  // ScanAndBuild ignores it while devices are listed
            continue;
        }
        DispatchMessage(&msg);
        Sleep(0);
    }
    CoUninitialize();
    return nResult;
}

bool CCapturePanel::ScanAndBuild() {
    // Busy from here to the last call into the panel's thread: the
    // shutdown waits for that, answering the calls meanwhile.
    struct Busy {
        std::atomic<bool>& m_bBusy;
        explicit Busy(std::atomic<bool>& bBusy) : m_bBusy(bBusy) { m_bBusy = true; }
        ~Busy() { m_bBusy = false; }
    } busy(m_bWorkerBusy);
    FirstBuild eOutcome = FirstBuild::None;
    {
        std::lock_guard<std::mutex> lock(m_buildLock);
        if (ListDevices()) eOutcome = BuildFirstGraph();
    }
    // The build is over: the user may act again (the panel's thread may
    // wait for the build lock in a handler, so the controls come alive
    // only once it is free), and graph events that came while the graph was
    // half built, and were put off, are handled now.
    if (m_bShuttingDown) return true;
    if (eOutcome == FirstBuild::Ready) {
        AtRacePoint(RacePoint::WorkerBuildDone);
        // The panel's thread may have reset to no device since the lock
        // was let go (the device lost as the build ended): the controls are
        // enabled there, where no reset can come between the test and them.
        ::SendMessage(m_hWnd, WM_GRAPHREADY, 0, 0);
    }
    if (m_hNotifyWnd != NULL) ::PostMessage(m_hNotifyWnd, WM_GRAPHEVENT, 0, 0);
    return eOutcome != FirstBuild::Failed;
}

bool CCapturePanel::ListDevices() {
    // Once the panel is going away no scan starts: the shutdown tears the
    // graph down and must not do it under a build.  A re-scan request
    // while devices are listed is ignored.
    if (m_bShuttingDown || m_pDeviceList->GetCount() > 0) {
        // Graph events that came meanwhile were put off, as during a
        // build: they are asked for again once the lock is free.
        AtRacePoint(RacePoint::WorkerIgnoresRescan);
        Sleep(0);
        return false;
    }
    m_pDeviceList->Enumerate();
    ++m_nScanCount;
    if (m_pDeviceList->GetCount() == 0 || m_bShuttingDown) return false;

    AtRacePoint(RacePoint::WorkerScanning);
    m_wndDeviceType.SetWindowText("Initializing...");
    m_wndDeviceCombo.ResetContent();
    for (int i = 0; i < m_pDeviceList->GetCount(); ++i) {
        std::string strName;
        m_pDeviceList->GetFriendlyName(i, strName);
        m_wndDeviceCombo.InsertString(-1, strName.c_str());
    }
    if (m_nDeviceIndex < 0 || m_nDeviceIndex > m_pDeviceList->GetLastIndex()) m_nDeviceIndex = 0;
    m_wndDeviceCombo.SetCurSel(m_nDeviceIndex);

    std::string strType;
    int nStandard = m_nVideoStandard;
    m_pDeviceList->GetDeviceType(m_nDeviceIndex, strType, &nStandard);
    m_nVideoStandard = nStandard;
    m_wndDeviceType.SetWindowText(strType.c_str());
    return true;
}

CCapturePanel::FirstBuild CCapturePanel::BuildFirstGraph() {
    {
        CStatusHold hold(*this);
        if (!BuildBaseGraph()) {
            TeardownGraph();
            m_wndDeviceType.SetWindowText("Error Initializing");
            m_pDeviceList->Clear();
            return FirstBuild::Failed;
        }
    }
    // The shutdown releases the base graph.
    if (m_bShuttingDown) return FirstBuild::None;
    if (StartGraph()) return FirstBuild::Ready;

    m_wndDeviceCombo.ResetContent();
    m_wndDeviceCombo.InsertString(-1, "Error Initializing");
    m_wndDeviceCombo.SetCurSel(0);
    m_wndDeviceCombo.EnableWindow(FALSE);
    m_wndDeviceType.SetWindowText("Error Initializing");
    {
        CStatusHold hold(*this);
        TeardownGraph();
    }
    m_pDeviceList->Clear();
    return FirstBuild::Failed;
}

LRESULT CCapturePanel::OnGraphReady(WPARAM, LPARAM) {
    // Still the graph the worker built: no reset has emptied the list.
    if (m_bShuttingDown || m_pDeviceList == NULL || m_pDeviceList->GetCount() == 0 ||
        m_pBuilder == NULL)
        return 0;
    m_wndDeviceCombo.EnableWindow(TRUE);
    m_btnCapture.EnableWindow(TRUE);
    m_wndFileTypeCombo.EnableWindow(TRUE);
    m_btnBrowse.EnableWindow(TRUE);
    return 0;
}

void CCapturePanel::LockBuildAnsweringWorker(std::unique_lock<std::mutex>& lock) {
    while (!lock.try_lock()) {
        MSG msg;
        PeekMessage(&msg, NULL, 0, 0, PM_NOREMOVE);
        Sleep(1);
    }
}

void CCapturePanel::CreateNotifyWindow() {
    WNDCLASSEX wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &CCapturePanel::NotifyWndProc;
    wc.cbWndExtra = sizeof(CCapturePanel*);
    wc.lpszClassName = kNotifyClass;
    RegisterClassEx(&wc);
    m_hNotifyWnd = CreateWindowEx(0, kNotifyClass, "Caption",
                                  WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 10, 10, NULL, NULL, NULL, this);
}

LRESULT CALLBACK CCapturePanel::NotifyWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    CCapturePanel* pPanel = reinterpret_cast<CCapturePanel*>(GetWindowLongPtr(hWnd, 0));
    switch (uMsg) {
        case WM_CREATE: {
            const CREATESTRUCT* pCreate = reinterpret_cast<const CREATESTRUCT*>(lParam);
            SetWindowLongPtr(hWnd, 0, reinterpret_cast<LONG_PTR>(pCreate->lpCreateParams));
            break;
        }
        case WM_DEVICECHANGE:
            if (pPanel != NULL) pPanel->OnDeviceChange(wParam);
            break;
        case WM_GRAPHEVENT:
            if (pPanel != NULL) pPanel->OnGraphEvent();
            break;
        default:
            break;
    }
    return ::DefWindowProc(hWnd, uMsg, wParam, lParam);
}

void CCapturePanel::OnDeviceChange(WPARAM wParam) {
    if (wParam != DBT_DEVNODES_CHANGED || m_pWorkerThread == NULL) return;
    std::unique_lock<std::mutex> lock(m_buildLock, std::try_to_lock);
    // While the worker scans, the list is its own; it looks at the count
    // again when the request comes, so the request is simply passed on.
    if (!lock.owns_lock() || m_pDeviceList->GetCount() == 0)
        m_pWorkerThread->PostThreadMessage(WM_RESCANDEVICES, 0, 0);
}

void CCapturePanel::OnGraphEvent() {
    // While the worker builds, the graph is half made: the events wait in
    // the graph's queue until the worker, done, asks for them again.
    std::unique_lock<std::mutex> lock(m_buildLock, std::try_to_lock);
    if (!lock.owns_lock()) {
        AtRacePoint(RacePoint::GraphEventPutOff);
        return;
    }

    IGraphBuilder* pGraph = m_pGraph;
    if (pGraph != NULL) pGraph->AddRef();
    if (pGraph != NULL && m_pMediaEvent != NULL) {
        while (m_pMediaEvent != NULL) {
            long lCode = 0;
            LONG_PTR lParam1 = 0, lParam2 = 0;
            if (FAILED(m_pMediaEvent->GetEvent(&lCode, &lParam1, &lParam2, 0))) break;
            IMediaEventEx* pEvents = m_pMediaEvent;
            pEvents->AddRef();
            if (lCode == EC_ERRORABORT) {
                const bool bDeviceGone =
                    m_pDeviceList->GetCount() > 0 &&
                    !CDeviceList::IsSupportedDvDevice(m_pDeviceList->GetMoniker(m_nDeviceIndex));
                // A recording that ends by itself is told; an error while
                // none runs leaves the writer to be started anew at Capture.
                if (m_pBuilder != NULL && m_bCapturing)
                    EndRecordingOnError(static_cast<HRESULT>(lParam1), bDeviceGone);
                else
                    m_bGraphFailed = true;
                if (bDeviceGone) ResetToNoDevice();
            } else if (lCode == EC_DEVICE_LOST && lParam2 == 0) {
                IUnknown* pUnknown = reinterpret_cast<IUnknown*>(lParam1);
                IBaseFilter* pFilter = NULL;
                if (pUnknown != NULL)
                    pUnknown->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&pFilter));
                if (pFilter != NULL) {
                    if (IsSameObject(pFilter, m_pDeviceFilter) && m_pDeviceList->GetCount() > 0) {
                        if (m_pBuilder != NULL && m_bCapturing) StopRecording();
                        ResetToNoDevice();
                    }
                    pFilter->Release();
                }
            }
            // The parameters belong to the queue they came from, which a
            // reset may have let go of by now.
            pEvents->FreeEventParams(lCode, lParam1, lParam2);
            pEvents->Release();
        }
    }
    if (pGraph != NULL) pGraph->Release();
}

void CCapturePanel::ResetToNoDevice() {
    {
        CStatusHold hold(*this);
        m_wndDeviceCombo.ResetContent();
        m_wndDeviceCombo.AddString("No Supported DV Devices");
        m_wndDeviceCombo.SetCurSel(0);
        m_wndDeviceType.SetWindowText("No Supported DV Devices");
        m_wndDeviceCombo.EnableWindow(FALSE);
        m_btnCapture.EnableWindow(FALSE);
        m_wndFileTypeCombo.EnableWindow(FALSE);
        m_btnBrowse.EnableWindow(FALSE);
        StopGraph();
        TeardownGraph();
        DeleteIfExists(m_strCaptureFile.c_str());
        m_pDeviceList->Clear();
    }
    if (m_pWorkerThread != NULL) m_pWorkerThread->PostThreadMessage(WM_RESCANDEVICES, 0, 0);
}
