// The capture panel dialog: its controls, its initialisation, the periodic
// enable pass, the device and file-type choices and Capture / Stop Capture.
#include "CapturePanel.h"

#include <process.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <new>

#include "ButtonTips.h"
#include "CaptureMessages.h"
#include "DeviceList.h"
#include "EventLog.h"

namespace {

// The key colour of the button pictures: it takes the button face colour.
const COLORREF kKeyColour = RGB(255, 255, 0);

const UINT_PTR kPanelTimer = 1;
const UINT kPanelTimerPeriodMs = 100;

// The banner above the Capture button.
const int kBannerBitmap = 144;

// Room for a numbered output name while the next free one is looked for.
const int kNameBufferSize = 2000;

bool FileExists(const std::string& strName) {
    OFSTRUCT of;
    return OpenFile(strName.c_str(), &of, OF_EXIST) != HFILE_ERROR;
}

HINSTANCE ProgramInstance() {
    CWinApp* pApp = AfxGetApp();
    return pApp != NULL ? pApp->m_hInstance : NULL;
}

}  // namespace

CCapturePanel::CCapturePanel(CWnd* pParent) : CDialog(IDD, pParent) {}

CCapturePanel::~CCapturePanel() {
    // Whatever graph interfaces are still held, last field first.
    IUnknown* const apHeld[] = {m_pMediaEvent,    m_pFileSink,       m_pMux,       m_pVideoWindow,
                                m_pDroppedFrames, m_pTimecodeReader, m_pTransport, m_pExtDevice,
                                m_pDeviceFilter,  m_pBuilder,        m_pGraph};
    for (IUnknown* pHeld : apHeld)
        if (pHeld != NULL) pHeld->Release();
}

BEGIN_MESSAGE_MAP(CCapturePanel, CDialog)
ON_WM_SHOWWINDOW()
ON_WM_DESTROY()
ON_WM_TIMER()
ON_MESSAGE(WM_CAPTUREFILELOST, &CCapturePanel::OnCaptureFileLost)
ON_MESSAGE(WM_CAPTURESTOPPED, &CCapturePanel::OnCaptureStopped)
ON_MESSAGE(WM_GRAPHREADY, &CCapturePanel::OnGraphReady)
ON_BN_CLICKED(IDC_CAPTURE, &CCapturePanel::OnCaptureButton)
ON_BN_CLICKED(IDC_BROWSE, &CCapturePanel::OnBrowse)
ON_CBN_SELCHANGE(IDC_FILE_TYPE, &CCapturePanel::OnFileTypeChange)
ON_CBN_SELCHANGE(IDC_DEVICE, &CCapturePanel::OnDeviceSelChange)
// Tape transport buttons.
ON_BN_CLICKED(IDC_PLAY, &CCapturePanel::OnPlay)
ON_BN_CLICKED(IDC_PAUSE, &CCapturePanel::OnPause)
ON_BN_CLICKED(IDC_STOP, &CCapturePanel::OnStop)
ON_BN_CLICKED(IDC_FAST_FORWARD, &CCapturePanel::OnFastForward)
ON_BN_CLICKED(IDC_REWIND, &CCapturePanel::OnRewind)
ON_BN_CLICKED(IDC_STEP_FORWARD, &CCapturePanel::OnStepForward)
ON_BN_CLICKED(IDC_STEP_REVERSE, &CCapturePanel::OnStepReverse)
ON_BN_CLICKED(IDC_SLOW_REVERSE, &CCapturePanel::OnSlowReverse)
ON_BN_CLICKED(IDC_SLOW_FORWARD, &CCapturePanel::OnSlowForward)
END_MESSAGE_MAP()

void CCapturePanel::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_DEVICE, m_wndDeviceCombo);
    DDX_Control(pDX, IDC_DEVICE_TYPE, m_wndDeviceType);
    DDX_Control(pDX, IDC_TRANSPORT_MODE, m_wndTransportMode);
    DDX_Control(pDX, IDC_TIMECODE, m_wndTimecode);
    DDX_Control(pDX, IDC_CAPTURE_FILE, m_wndCaptureFile);
    DDX_Control(pDX, IDC_FILE_TYPE, m_wndFileTypeCombo);
    DDX_Control(pDX, IDC_DROPPED, m_wndDropped);
    DDX_Control(pDX, IDC_CAPTURED, m_wndCaptured);
    DDX_Control(pDX, IDC_BANNER, m_wndBanner);
    DDX_Control(pDX, IDC_PLAY, m_btnPlay);
    DDX_Control(pDX, IDC_PAUSE, m_btnPause);
    DDX_Control(pDX, IDC_STOP, m_btnStop);
    DDX_Control(pDX, IDC_FAST_FORWARD, m_btnFastForward);
    DDX_Control(pDX, IDC_REWIND, m_btnRewind);
    DDX_Control(pDX, IDC_STEP_FORWARD, m_btnStepForward);
    DDX_Control(pDX, IDC_STEP_REVERSE, m_btnStepReverse);
    DDX_Control(pDX, IDC_SLOW_REVERSE, m_btnSlowReverse);
    DDX_Control(pDX, IDC_SLOW_FORWARD, m_btnSlowForward);
    DDX_Control(pDX, IDC_CAPTURE, m_btnCapture);
    DDX_Control(pDX, IDC_BROWSE, m_btnBrowse);
}

BOOL CCapturePanel::OnInitDialog() {
    CDialog::OnInitDialog();
    m_nDeviceIndex = -1;

    m_hStopPollEvent = CreateEvent(NULL, TRUE, FALSE, NULL);
    m_hPollPausedEvent = CreateEvent(NULL, TRUE, FALSE, NULL);

    m_pDeviceList = new (std::nothrow) CDeviceList();
    if (m_pDeviceList == NULL) {
        EndDialog(IDCANCEL);
        return TRUE;
    }

    LoadSettings();
    CreateNotifyWindow();

    m_bPollPause = false;
    m_hPollThread =
        reinterpret_cast<HANDLE>(_beginthread(&CCapturePanel::StatusPollThread, 0, this));
    if (m_hPollThread == INVALID_HANDLE_VALUE) {
        m_wndTransportMode.SetWindowText("Error");
        m_wndTimecode.SetWindowText("Error");
    }
    m_bStatsHold = false;
    m_pStatsThread =
        AfxBeginThread(&CCapturePanel::StatisticsThread, this, THREAD_PRIORITY_NORMAL, 0, 0, NULL);

    m_nTimerId = SetTimer(kPanelTimer, kPanelTimerPeriodMs, NULL);

    // No device yet: the worker fills the list once the panel is shown.
    m_wndDeviceCombo.ResetContent();
    m_wndDeviceCombo.AddString("No Supported DV Devices Found");
    m_wndDeviceCombo.SetCurSel(0);
    m_wndDeviceCombo.EnableWindow(FALSE);
    m_wndDeviceType.SetWindowText("No Supported DV Devices Found");
    m_btnCapture.EnableWindow(FALSE);
    m_wndFileTypeCombo.EnableWindow(FALSE);
    m_btnBrowse.EnableWindow(FALSE);

    m_wndDropped.SetWindowText("0 Frames");
    m_wndCaptured.SetWindowText("0 Frames");

    // The end of the path is the part worth seeing.
    m_wndCaptureFile.SetWindowText(m_strCaptureFile.c_str());
    const int nLength = m_wndCaptureFile.GetWindowTextLength();
    m_wndCaptureFile.SetSel(nLength, nLength, FALSE);

    m_wndFileTypeCombo.ResetContent();
    m_wndFileTypeCombo.AddString("Type-1 DV AVI File");
    m_wndFileTypeCombo.AddString("Type-2 DV AVI File");
    if (m_nFileType != 0 && m_nFileType != 1) m_nFileType = 1;
    m_wndFileTypeCombo.SetCurSel(m_nFileType);

    SetButtonPictures();
    AddButtonTips(m_hWnd);

    // The banner's yellow takes the colour of the panel's face.
    COLORMAP map;
    map.from = kKeyColour;
    map.to = GetSysColor(COLOR_BTNFACE);
    m_hBannerBitmap = CreateMappedBitmap(ProgramInstance(), kBannerBitmap, 0, &map, 1);
    m_wndBanner.SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_hBannerBitmap));

    return TRUE;
}

void CCapturePanel::OnOK() {}

void CCapturePanel::OnCancel() {}

void CCapturePanel::OnShowWindow(BOOL bShow, UINT nStatus) {
    CDialog::OnShowWindow(bShow, nStatus);
    if (bShow == 1) {
        LoadSettings();
        m_pWorkerThread = AfxBeginThread(&CCapturePanel::GraphWorkerThread, this,
                                         THREAD_PRIORITY_HIGHEST, 0, 0, NULL);
    } else {
        SaveSettings();
    }
}

void CCapturePanel::OnTimer(UINT_PTR nIDEvent) {
    CButton* const apFree[] = {&m_btnSlowForward, &m_btnFastForward, &m_btnSlowReverse,
                               &m_btnRewind,      &m_btnStop,        &m_btnPause,
                               &m_btnPlay};
    // While the worker builds, the interface fields are its own; the
    // transport counts as absent until the build is over.
    std::unique_lock<std::mutex> lock(m_buildLock, std::try_to_lock);
    const bool bTransport = lock.owns_lock() && m_pTransport != NULL;
    if (lock.owns_lock()) lock.unlock();
    if (bTransport && !m_bCapturing) {
        for (CButton* pButton : apFree) pButton->EnableWindow(TRUE);
        const BOOL bStep = m_nTransportMode == ED_MODE_FREEZE;
        m_btnStepReverse.EnableWindow(bStep);
        m_btnStepForward.EnableWindow(bStep);
    } else {
        m_btnStepReverse.EnableWindow(FALSE);
        m_btnStepForward.EnableWindow(FALSE);
        for (CButton* pButton : apFree) pButton->EnableWindow(FALSE);
    }
    CDialog::OnTimer(nIDEvent);
}

void CCapturePanel::OnFileTypeChange() {
    int nType = m_wndFileTypeCombo.GetCurSel();
    if (nType == CB_ERR) nType = 1;
    if (nType == m_nFileType) return;
    m_nFileType = nType;
    StopGraph();
    DeleteIfExists(m_strCaptureFile.c_str());
    StartGraph();
}

void CCapturePanel::OnDeviceSelChange() {
    const int nSelection = m_wndDeviceCombo.GetCurSel();
    if (nSelection == CB_ERR) return;
    {
        // The device list and the graph are the worker's while it builds.
        std::unique_lock<std::mutex> lock(m_buildLock);
        if (!CDeviceList::IsSupportedDvDevice(m_pDeviceList->GetMoniker(nSelection))) {
            const unsigned nScans = m_nScanCount;
            lock.unlock();
            ::MessageBox(m_hWnd,
                         "The Selected Capture Device is no longer valid, The selection will not "
                         "be changed.",
                         "Tapeloom", MB_ICONEXCLAMATION | MB_OK);
            AtRacePoint(RacePoint::AfterDeviceMessageBox);
            // While the box was up the device's loss may have been handled
            // and the worker may be scanning again, sending to this thread
            // under the lock: the lock is taken with its calls answered.
            LockBuildAnsweringWorker(lock);
            // A reset meanwhile has emptied the list, and a scan since has
            // made a new one: either way the list chosen from has gone.
            if (m_nScanCount == nScans && m_pDeviceList->GetCount() > 0) ResetToNoDevice();
        } else {
            m_nDeviceIndex = nSelection;
            std::string strType;
            int nStandard = m_nVideoStandard;
            m_pDeviceList->GetDeviceType(nSelection, strType, &nStandard);
            m_nVideoStandard = nStandard;
            m_wndDeviceType.SetWindowText(strType.c_str());

            StopGraph();
            bool bBuilt = false;
            {
                CStatusHold hold(*this);
                TeardownGraph();
                DeleteIfExists(m_strCaptureFile.c_str());
                bBuilt = BuildBaseGraph() != FALSE;
                if (!bBuilt) TeardownGraph();
            }
            // The preview's graph is built and run outside this hold:
            // StartGraph holds only while it builds.
            if (bBuilt && !StartGraph()) m_wndDeviceType.SetWindowText("Error Initializing");
        }
    }
    // Graph events put off meanwhile are handled now.
    if (m_hNotifyWnd != NULL) ::PostMessage(m_hNotifyWnd, WM_GRAPHEVENT, 0, 0);
}

void CCapturePanel::OnCaptureButton() {
    if (m_pBuilder == NULL) return;
    if (m_bCapturing)
        StopRecording();
    else
        StartRecording();
}

void CCapturePanel::StartRecording() {
    // Nothing would be written: recording does not start, and the tape is
    // left as it is.
    if (LPCSTR pszRefusal = CaptureRefusal()) {
        LogLine(std::string("failure: capture refused: ") + pszRefusal);
        ::MessageBox(m_hWnd, pszRefusal, "Tapeloom", MB_ICONEXCLAMATION | MB_OK);
        return;
    }
    if (m_nTransportMode != ED_MODE_PLAY) OnPlay();
    if (m_pDroppedFrames != NULL) {
        m_nNotDropped = 0;
        m_nDropped = 0;
        long nCount = 0;
        m_pDroppedFrames->GetNumDropped(&nCount);
        m_nDroppedBase = nCount;
        nCount = 0;
        m_pDroppedFrames->GetNumNotDropped(&nCount);
        m_nNotDroppedBase = nCount;
    }
    REFERENCE_TIME rtStart = 0, rtStop = MAXLONGLONG;
    m_pBuilder->ControlStream(&PIN_CATEGORY_CAPTURE, NULL, NULL, &rtStart, &rtStop, 0, 0);
    m_bCapturing = true;
    m_wndFileTypeCombo.EnableWindow(FALSE);
    m_btnBrowse.EnableWindow(FALSE);
    m_wndDeviceCombo.EnableWindow(FALSE);
    SetCaptureButtonPicture(true);
}

void CCapturePanel::StopRecording() {
    if (m_nTransportMode != ED_MODE_FREEZE) OnPause();
    if (m_pDroppedFrames != NULL) {
        long nCount = 0;
        if (SUCCEEDED(m_pDroppedFrames->GetNumDropped(&nCount)))
            m_nDropped = nCount - m_nDroppedBase;
        if (SUCCEEDED(m_pDroppedFrames->GetNumNotDropped(&nCount)))
            m_nNotDropped = nCount - m_nNotDroppedBase;
    }
    REFERENCE_TIME rtStart = MAXLONGLONG, rtStop = 0;
    m_pBuilder->ControlStream(&PIN_CATEGORY_CAPTURE, NULL, NULL, &rtStart, &rtStop, 0, 0);
    m_bCapturing = false;
    // The file writer keeps writing a file whose name has gone (its folder
    // removed while it ran), so the recording ends up nowhere.  This
    // handler also runs inside the graph's event handling and the
    // shutdown; the user is told after it, and not at all at shutdown.
    if (!FileExists(m_strCaptureFile) && !m_bShuttingDown && !m_bEndingOnError && m_hWnd != NULL)
        ::PostMessage(m_hWnd, WM_CAPTUREFILELOST, 0, 0);

    // The recording is done: the output moves on to the next free name.
    // The recorded file must never stay the output file (the next
    // recording would overwrite it, a file type change or the shutdown
    // would delete it), so when no next name can be formed the default
    // name is taken instead, and when even that fails the graph is
    // stopped, which completes the file, and recording is refused until
    // another file is chosen.
    // A name too long for the buffer is never cut into another one: it has
    // no next name, as one whose number cannot grow.
    const std::string strRecorded = m_strCaptureFile;
    const auto tFinishing = std::chrono::steady_clock::now();
    char szName[kNameBufferSize] = "";
    BOOL bNamed = FALSE;
    if (m_strCaptureFile.size() < static_cast<size_t>(kNameBufferSize)) {
        m_strCaptureFile.copy(szName, kNameBufferSize - 1);
        bNamed = MakeFreeName(szName, kNameBufferSize);
    }
    if (!bNamed) bNamed = DefaultCaptureFile(szName, kNameBufferSize);
    if (!bNamed) {
        StopGraph();
        szName[0] = '\0';
    }
    SetCaptureFile(szName);
    LogRecording(strRecorded, std::chrono::steady_clock::now() - tFinishing);

    m_wndFileTypeCombo.EnableWindow(bNamed);
    m_btnBrowse.EnableWindow(TRUE);
    m_wndDeviceCombo.EnableWindow(TRUE);
    m_btnCapture.EnableWindow(bNamed);
    SetCaptureButtonPicture(false);
}

LRESULT CCapturePanel::OnCaptureFileLost(WPARAM, LPARAM) {
    ::MessageBox(m_hWnd, kLostText, "Tapeloom", MB_ICONEXCLAMATION | MB_OK);
    return 0;
}

void CCapturePanel::LogRecording(const std::string& strFile,
                                 std::chrono::steady_clock::duration finishing) {
    // The file is complete once the writer has moved on to the next name.
    std::error_code ignored;
    const std::uintmax_t size = std::filesystem::file_size(strFile, ignored);
    const long nFrames = static_cast<long>(m_nNotDropped);
    const int nRate = m_nVideoStandard != 0 ? 25 : 30;
    char szLine[256];
    std::snprintf(szLine, sizeof szLine,
                  "recording: frames %ld dropped %ld duration %02ld:%02ld:%02ld.%02ld bytes %lld "
                  "finishing %.3f s file ",
                  nFrames, static_cast<long>(m_nDropped), nFrames / nRate / 3600,
                  nFrames / nRate / 60 % 60, nFrames / nRate % 60, nFrames % nRate,
                  size == static_cast<std::uintmax_t>(-1) ? -1LL : static_cast<long long>(size),
                  std::chrono::duration<double>(finishing).count());
    LogLine(szLine + strFile);
}

void CCapturePanel::EndRecordingOnError(HRESULT hrCause, bool bDeviceLost) {
    char szLine[128];
    std::snprintf(szLine, sizeof szLine, "failure: recording stopped by itself: result 0x%08X%s",
                  static_cast<unsigned>(hrCause), bDeviceLost ? ", device gone" : "");
    LogLine(szLine);
    const std::string strRecorded = m_strCaptureFile;
    m_bEndingOnError = true;
    StopRecording();
    m_bEndingOnError = false;
    // The captured time as the Captured counter shows it, taken as the
    // recording stopped: the frames after the failure were not written,
    // and there are no more than the moment it took the event to come.
    const long nSeconds = static_cast<long>(m_nNotDropped) / (m_nVideoStandard != 0 ? 25 : 30);
    m_strStoppedText = RecordingStoppedText(hrCause, bDeviceLost, FileExists(strRecorded),
                                            strRecorded.c_str(), nSeconds);
    // This runs inside the graph's event handling; the box comes after it.
    if (!m_bShuttingDown && m_hWnd != NULL) ::PostMessage(m_hWnd, WM_CAPTURESTOPPED, 0, 0);
}

LRESULT CCapturePanel::OnCaptureStopped(WPARAM, LPARAM) {
    if (m_strStoppedText.empty()) return 0;
    const std::string strText = m_strStoppedText;
    m_strStoppedText.clear();
    ::MessageBox(m_hWnd, strText.c_str(), "Tapeloom", MB_ICONEXCLAMATION | MB_OK);
    return 0;
}

// Yellow in the button pictures stands for the button face.
static const COLORREF kPictureKey = RGB(255, 255, 0);

void CCapturePanel::SetButtonPictures() {
    struct Picture {
        CImageButton* pButton;
        UINT nBitmap;
    };
    // The transport buttons and "..." show their picture centred, with no
    // caption.
    const Picture aTransport[] = {
        {&m_btnPlay, IDB_PLAY},
        {&m_btnStop, IDB_STOP},
        {&m_btnPause, IDB_PAUSE},
        {&m_btnFastForward, IDB_FASTFORWARD},
        {&m_btnRewind, IDB_REWIND},
        {&m_btnSlowForward, IDB_SLOWFORWARD},
        {&m_btnSlowReverse, IDB_SLOWREVERSE},
        {&m_btnStepReverse, IDB_STEPREVERSE},
        {&m_btnStepForward, IDB_STEPFORWARD},
    };
    for (const Picture& picture : aTransport) {
        picture.pButton->SetImage(picture.nBitmap, 15, 15, kPictureKey);
        picture.pButton->SetImagePosition(-1, -1);
        picture.pButton->m_bDrawText = FALSE;
    }
    // Capture keeps the automatic layout: picture and caption.
    m_btnCapture.SetImage(IDB_CAPTURE, 15, 15, kPictureKey);
    m_btnBrowse.SetImage(IDB_BROWSE, 11, 11, kPictureKey);
    m_btnBrowse.SetImagePosition(-1, -1);
    m_btnBrowse.m_bDrawText = FALSE;
}

void CCapturePanel::SetCaptureButtonPicture(bool bRecording) {
    m_btnCapture.SetImage(bRecording ? IDB_STOPCAPTURE : IDB_CAPTURE, 15, 15, kPictureKey);
    m_btnCapture.SetWindowText(bRecording ? "Stop Capture" : "Capture");
}
