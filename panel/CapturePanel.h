// The capture panel: the child dialog with every working control, and the
// shared record of the running capture.  The graph worker, the notify
// window, the status polling thread and the statistics thread all work on
// one CCapturePanel object.
//
// The class is laid out by thread, in one order: the dialog (the panel's
// thread), the engine (the graph worker and the panel's thread, taking
// turns at the build lock), tape transport and status (the transport
// buttons, the polling thread, the statistics thread and the hold that
// keeps those two away from the graph), and the shutdown.
#pragma once

#include <afxwin.h>
#include <dshow.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "ImageButton.h"
#include "resource.h"

class CDeviceList;

// Private messages of the engine.
#define WM_GRAPHEVENT (WM_USER + 1)  // the filter graph to the notify window
// Hold request to the statistics thread, wParam an event the thread sets
// once it is held.  A thread already held (a hold that follows a resume
// within the thread's 10 ms turn) acknowledges from inside its hold.
#define WM_HOLDSTATS (WM_USER + 2)
#define WM_RESCANDEVICES (WM_USER + 4)  // scan for devices again, to the worker
// To the panel: the recording that just ended lost its file; the user is
// told once the handler that ended it is done.
#define WM_CAPTUREFILELOST (WM_USER + 5)
// To the panel: a recording ended by itself (a write failed, the disk is
// full, ...); the user is told once the handler that ended it is done.
#define WM_CAPTURESTOPPED (WM_USER + 6)
// Sent by the worker to the panel once its build is over: the controls
// come alive, unless the device has gone meanwhile.
#define WM_GRAPHREADY (WM_USER + 7)

class CCapturePanel : public CDialog {
public:
    enum { IDD = 129 };

    explicit CCapturePanel(CWnd* pParent = NULL);
    ~CCapturePanel() override;

    CCapturePanel(const CCapturePanel&) = delete;
    CCapturePanel& operator=(const CCapturePanel&) = delete;

    // ==== Dialog =============================================================
    // The panel's thread: the handlers, the controls, the output file and
    // the settings.  The worker fills the device list and the device type
    // through sent messages, which this thread carries out.

    afx_msg void OnCaptureButton();
    afx_msg void OnFileTypeChange();
    afx_msg void OnDeviceSelChange();

    // Controls.
    CComboBox m_wndDeviceCombo;     // 1031
    CStatic m_wndDeviceType;        // 1018
    CStatic m_wndTransportMode;     // 1016
    CStatic m_wndTimecode;          // 1015
    CEdit m_wndCaptureFile;         // 1022
    CComboBox m_wndFileTypeCombo;   // 1032
    CStatic m_wndDropped;           // 1020
    CStatic m_wndCaptured;          // 1021
    CStatic m_wndBanner;            // 1034
    CImageButton m_btnPlay;         // 1003
    CImageButton m_btnPause;        // 1004
    CImageButton m_btnStop;         // 1005
    CImageButton m_btnFastForward;  // 1006
    CImageButton m_btnRewind;       // 1007
    CImageButton m_btnStepForward;  // 1008
    CImageButton m_btnStepReverse;  // 1009
    CImageButton m_btnSlowReverse;  // 1010
    CImageButton m_btnSlowForward;  // 1011
    CImageButton m_btnCapture;      // 1019
    CImageButton m_btnBrowse;       // 1029

    // Output file naming and settings.
    BOOL NextNumberedName(LPCSTR pszSource, LPSTR pszDest, int nDestSize, int nWidth);
    BOOL DefaultCaptureFile(LPSTR pszDest, int nDestSize);
    void LoadSettings();
    void SaveSettings();
    BOOL SetCaptureFile(LPCSTR pszName);
    void OnBrowse();
    void DeleteIfExists(LPCSTR pszName);

    // Moves the name in the buffer on until no file has it.  False when no
    // next name can be formed (too long for the buffer, or the number would
    // wrap around); the buffer then holds the last name tried.
    BOOL MakeFreeName(LPSTR pszName, int nSize);
    // The steps of OnBrowse after the dialog: makes the chosen file the
    // output file unless it is the current one.
    void UseChosenCaptureFile(LPCSTR pszChosen);
    // Whether a recording can go into the current output file: NULL when
    // the graph runs and the file is there and may be written, else the
    // message that tells the user why nothing would be recorded.  The
    // running graph creates the file when it starts; a file that has gone
    // since (its folder removed, say), or a writer that failed on it, is
    // dealt with by starting the writer anew on the name, which makes the
    // file again and clears the writer's earlier failure.
    LPCSTR CaptureRefusal();
    // A recording ended by itself with the error the graph reported (the
    // device gone by then, or not): it is stopped as Stop Capture stops it,
    // and the user is told why, how much was captured and where it is.
    void EndRecordingOnError(HRESULT hrCause, bool bDeviceLost);
    // The log line of a recording that has just ended into strFile.
    void LogRecording(const std::string& strFile, std::chrono::steady_clock::duration finishing);

    // Whether a recording runs: written here, read by the statistics
    // thread too.
    std::atomic<bool> m_bCapturing{false};
    std::string m_strCaptureFile;
    HBITMAP m_hBannerBitmap = NULL;
    UINT_PTR m_nTimerId = 0;
    // The text of the message about a recording that ended by itself,
    // shown by OnCaptureStopped.
    std::string m_strStoppedText;
    // Set while EndRecordingOnError ends a recording, whose own message
    // replaces Stop Capture's "file lost".
    bool m_bEndingOnError = false;
    // The graph reported an error while no recording ran (the writer could
    // not make its file when the graph started, say); the next Capture
    // starts the writer anew.
    bool m_bGraphFailed = false;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    // Enter and Escape never close the panel.
    void OnOK() override;
    void OnCancel() override;

    afx_msg void OnShowWindow(BOOL bShow, UINT nStatus);
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg LRESULT OnCaptureFileLost(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnCaptureStopped(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnGraphReady(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

private:
    // Capture and Stop Capture, the two faces of the Capture button.
    // StartRecording opens the capture stream unless the recording would
    // go nowhere; StopRecording closes it and moves the output on to the
    // next free name.  Both need the capture graph builder.
    void StartRecording();
    void StopRecording();
    // The pictures of the bitmap buttons, and the Capture button's face.
    void SetButtonPictures();
    void SetCaptureButtonPicture(bool bRecording);

public:
    // ==== Engine =============================================================
    // The graph worker and the panel's thread.  The worker scans and makes
    // the first graph under m_buildLock; the panel's thread makes every
    // later graph in its handlers, and leaves the device list and the graph
    // alone while it cannot take the lock.

    // The worker: scans for devices, builds the first graph after each
    // scan and starts the preview; then waits for a re-scan or WM_QUIT.
    // 1 when it ends on WM_QUIT, 0 after a failed initialisation.
    static UINT GraphWorkerThread(LPVOID pParam);
    void CreateNotifyWindow();
    static LRESULT CALLBACK NotifyWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    // The selected device has gone: empties the device list, tears the
    // graph down and asks the worker to scan again.  The caller has ended a
    // running capture.
    void ResetToNoDevice();

    // Base graph: filter graph, capture graph builder and the selected
    // device's filter, with the device's control interfaces.
    BOOL BuildBaseGraph();
    void TeardownGraph();

    // Preview and recording graph of the chosen file type, and back.
    bool StartGraph();
    void StopGraph();
    bool BuildType1Graph();
    bool BuildType2Graph();
    void ConfigureMux(IBaseFilter* pMux);
    void RemoveDownstream(IBaseFilter* pFilter);

    // The live picture.
    void SetDecoderResolution(IGraphBuilder* pGraph, int nResolution);
    void PlaceVideoWindow();
    void AttachVideoWindow(IVideoWindow* pVideoWindow, const RECT& rcPicture, HWND hFrame);

    CDeviceList* m_pDeviceList = NULL;

    // Graph interface record: owning references, null when absent.  The
    // polling thread reads the transport and the timecode reader, the
    // statistics thread the dropped-frame counters, each outside a hold.
    IGraphBuilder* m_pGraph = NULL;
    ICaptureGraphBuilder2* m_pBuilder = NULL;
    IBaseFilter* m_pDeviceFilter = NULL;
    IAMExtDevice* m_pExtDevice = NULL;
    IAMExtTransport* m_pTransport = NULL;
    IAMTimecodeReader* m_pTimecodeReader = NULL;
    IAMDroppedFrames* m_pDroppedFrames = NULL;
    IVideoWindow* m_pVideoWindow = NULL;
    IBaseFilter* m_pMux = NULL;
    IFileSinkFilter* m_pFileSink = NULL;
    IMediaEventEx* m_pMediaEvent = NULL;

    HWND m_hNotifyWnd = NULL;
    CWinThread* m_pWorkerThread = NULL;
    // The device chosen, its standard (0 NTSC, else PAL) and the file type
    // (0 Type-1, 1 Type-2).  The panel's thread writes them, and so does
    // the worker the device and its standard as it lists the devices; the
    // statistics thread reads the standard.
    std::atomic<int> m_nDeviceIndex{-1};
    std::atomic<int> m_nFileType{1};
    std::atomic<int> m_nVideoStandard{0};

    // Held by the worker from the start of a scan to the end of the build
    // that follows it.  The panel's thread waits for it only where the
    // worker no longer calls into that thread; graph events and device
    // changes that find it held are put off until the build is over.
    std::mutex m_buildLock;
    // Scans the worker has made, counted under m_buildLock: a handler that
    // let go of the lock can tell whether the device list was made anew.
    unsigned m_nScanCount = 0;

    // Test hooks: points where a thread meets another at the build lock.
    // Tests park a thread at one of them to run the other side's handling
    // there, in a set order; without a hook nothing happens.
    enum class RacePoint {
        WorkerIgnoresRescan,    // worker, lock held, a re-scan request ignored
        WorkerScanning,         // worker, lock held, devices found, before its first send
        WorkerBuildDone,        // worker, lock released, before the controls come alive
        GraphEventPutOff,       // panel's thread, graph events put off (lock held elsewhere)
        AfterDeviceMessageBox,  // panel's thread, "no longer valid" answered, lock not held
    };
    using RaceHook = void (*)(CCapturePanel* pPanel, RacePoint point);
    std::atomic<RaceHook> m_pfnRaceHook{nullptr};

private:
    // What the worker's first build after a scan came to: no build (no
    // scan, no device, or the panel is going away), a running preview, or
    // a failure, which ends the worker.
    enum class FirstBuild { None, Ready, Failed };

    // The worker's scan and first build; false when the build failed.
    bool ScanAndBuild();
    // The scan, unless devices are listed already or the panel is going
    // away, and the devices found put in the device list, one chosen;
    // true when a build is to follow.  The worker, under m_buildLock.
    bool ListDevices();
    // The chosen device's base graph and its preview.  The worker, under
    // m_buildLock.
    FirstBuild BuildFirstGraph();
    // Takes the build lock on the panel's thread while answering the
    // worker's sent messages, since the worker may be calling into this
    // thread while it holds the lock.
    void LockBuildAnsweringWorker(std::unique_lock<std::mutex>& lock);
    // The handlers of the notify window's messages.
    void OnGraphEvent();
    void OnDeviceChange(WPARAM wParam);
    void AtRacePoint(RacePoint point) {
        if (RaceHook pfnHook = m_pfnRaceHook.load()) pfnHook(this, point);
    }
    // Releases an interface field and leaves it null.
    template <class T>
    static void ReleaseField(T*& p) {
        if (p != NULL) {
            p->Release();
            p = NULL;
        }
    }

public:
    // ==== Tape transport and status ==========================================
    // The transport buttons on the panel's thread; the polling thread and
    // the statistics thread, which read the device and write the status
    // texts; the hold that the worker and the panel's thread put on those
    // two while they change the graph.

    // Transport buttons 1003 to 1011: each sends one mode to the device's
    // transport, and does nothing while there is none.
    afx_msg void OnPlay();
    afx_msg void OnPause();
    afx_msg void OnStop();
    // Wind when the tape stands still, fast play otherwise.
    afx_msg void OnFastForward();
    afx_msg void OnRewind();
    afx_msg void OnStepForward();
    afx_msg void OnStepReverse();
    afx_msg void OnSlowReverse();
    afx_msg void OnSlowForward();

    // The status polling thread, started with _beginthread and the panel as
    // its argument after the two polling events exist: every 20 ms the
    // transport mode into 1016 and the timecode into 1015, until
    // m_hStopPollEvent is signalled.  Once it is, the thread touches the
    // panel no more, not even when a device call it was in returns later:
    // a shutdown that has given up waiting for it leaves the stop event
    // open and the device interfaces alive.
    static void __cdecl StatusPollThread(void* pParam);
    // The statistics thread, started with AfxBeginThread and the panel as
    // its argument: every 15 ms the dropped frames into 1020 and the
    // captured time into 1021, until WM_QUIT (exit code 1; 0 without a
    // panel), which ends it even while it is held.  Answers WM_HOLDSTATS.
    static UINT StatisticsThread(LPVOID pParam);

    // Status-thread hold protocol: from HoldStatusThreads to the matching
    // ResumeStatusThreads neither the polling thread nor the statistics
    // thread touches a graph interface.  Holds nest, from one thread or
    // from several; the threads stay held until the last hold is resumed.
    BOOL HoldStatusThreads();
    BOOL ResumeStatusThreads();

    // A hold for the life of a scope: the constructor holds, the
    // destructor resumes, on every way out of the scope.
    class CStatusHold {
    public:
        explicit CStatusHold(CCapturePanel& panel) : m_panel(panel) { m_panel.HoldStatusThreads(); }
        ~CStatusHold() { m_panel.ResumeStatusThreads(); }

        CStatusHold(const CStatusHold&) = delete;
        CStatusHold& operator=(const CStatusHold&) = delete;

    private:
        CCapturePanel& m_panel;
    };

    // The polling thread: its handle and events, and the hold's flag it
    // acknowledges through m_hPollPausedEvent.
    HANDLE m_hPollThread = INVALID_HANDLE_VALUE;
    HANDLE m_hStopPollEvent = NULL;
    std::atomic<bool> m_bPollPause{false};
    HANDLE m_hPollPausedEvent = NULL;
    // The transport mode last read by the polling thread; the transport
    // buttons, Capture, Stop Capture and the enable pass go by it.
    std::atomic<LONG> m_nTransportMode{-1};
    // The statistics thread and the hold's flag it stays idle under.
    CWinThread* m_pStatsThread = NULL;
    std::atomic<bool> m_bStatsHold{false};
    // The device's counts when the recording started (set by Capture) and
    // since then (kept by the statistics thread, taken once more by Stop
    // Capture).
    std::atomic<LONG> m_nDroppedBase{0};
    std::atomic<LONG> m_nDropped{0};
    std::atomic<LONG> m_nNotDroppedBase{0};
    std::atomic<LONG> m_nNotDropped{0};

private:
    void SendTransportMode(long lMode);
    // One pass of the polling thread; false once the stop event is seen
    // after a device call.
    static bool PollPass(CCapturePanel* pPanel, HANDLE hStop, HWND hPanel);
    // One pass of the statistics thread outside a hold.
    void StatisticsPass(HWND hPanel);
    // The hold of the statistics thread; false when WM_QUIT came meanwhile.
    bool HoldStatistics(HANDLE hHeldEvent);

    // Hold nesting: how many holds are in force, and whether the outermost
    // one has seen both threads idle.  Holds come from the worker and from
    // the panel's thread, so the count is kept under a lock of its own.
    std::mutex m_holdLock;
    std::condition_variable m_holdDone;
    int m_nHoldCount = 0;
    bool m_bHoldInForce = false;

public:
    // ==== Shutdown ===========================================================
    // The panel's thread, in OnDestroy; the worker sees the flags.

    // Set once the panel is being destroyed: the worker starts no scan
    // and no build after it has seen this.
    std::atomic<bool> m_bShuttingDown{false};
    // Set by the worker from the start of a scan until its last call into
    // the panel's thread after the build.
    std::atomic<bool> m_bWorkerBusy{false};

protected:
    // The worker out of its build, a running recording stopped, the status
    // threads ended, the graph and the windows gone, the settings saved.
    afx_msg void OnDestroy();

private:
    // Waits until the worker is out of its scan and build, handling the
    // worker's sent messages meanwhile; after it no build starts.
    void StopWorkerBuilds();
    // Steps 3 and 4 of the shutdown: the status threads end.
    void EndStatusThreads();
};
