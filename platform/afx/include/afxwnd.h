// CWnd: a C++ object bound to a window.  A window reaches its object's
// message map once the object has attached (Attach) or subclassed it
// (SubclassWindow, DDX_Control, or by creating it through CDialog).
#pragma once

#include <windows.h>

#include <string>

#include "afxmsgmap.h"

class CDataExchange;
class CMenu;

class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object of a window: the attached one, else a temporary CWnd that
    // belongs to the calling thread and lives until the thread ends.  Null
    // for a null handle.
    static CWnd* FromHandle(HWND hWnd);
    // The attached object only, else null.
    static CWnd* FromHandlePermanent(HWND hWnd);

    BOOL Attach(HWND hWndNew);
    HWND Detach();
    // Attaches and routes the window's messages through this object; the
    // window's own procedure becomes the default processing.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
    HWND UnsubclassWindow();

    virtual BOOL DestroyWindow();

    // ---- Windows and controls ----
    CWnd* GetDlgItem(int nID) const;
    CWnd* GetParent() const;
    int GetDlgCtrlID() const;
    DWORD GetStyle() const;
    BOOL ShowWindow(int nCmdShow);
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
    void MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE);
    void GetWindowRect(LPRECT lpRect) const;
    void GetClientRect(LPRECT lpRect) const;
    void ScreenToClient(LPPOINT lpPoint) const;
    void ScreenToClient(LPRECT lpRect) const;
    void ClientToScreen(LPPOINT lpPoint) const;
    void ClientToScreen(LPRECT lpRect) const;
    BOOL EnableWindow(BOOL bEnable = TRUE);
    BOOL IsWindowEnabled() const;
    void SetWindowText(LPCSTR lpszString);
    int GetWindowText(LPSTR lpszStringBuf, int nMaxCount) const;
    void GetWindowText(std::string& rString) const;
    int GetWindowTextLength() const;
    void SetDlgItemText(int nID, LPCSTR lpszString);
    int GetDlgItemText(int nID, LPSTR lpStr, int nMaxCount) const;
    CWnd* SetFocus();
    static CWnd* GetFocus();
    BOOL SetForegroundWindow();
    void Invalidate(BOOL bErase = TRUE);
    void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE);
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    // The window's system menu, as a temporary object of the calling thread.
    CMenu* GetSystemMenu(BOOL bRevert) const;

    // ---- Messages and timers ----
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer);
    BOOL KillTimer(UINT_PTR nIDEvent);

    // Help requests go to the application's help entry point.
    virtual void WinHelp(DWORD_PTR dwData, UINT nCmd = HELP_CONTEXT);

    // ---- Dialog data ----
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // ---- Message processing ----
    // Keyboard and mouse messages before dispatch; TRUE when handled.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // Runs the current message's default processing.
    LRESULT Default();

    static const CWnd wndTop;
    static const CWnd wndBottom;

protected:
    explicit CWnd(HWND hWnd);  // a fixed handle value (wndTop, wndBottom)

    virtual const AFX_MSGMAP* GetMessageMap() const;
    static const AFX_MSGMAP* GetThisMessageMap();

    virtual void DoDataExchange(CDataExchange* pDX);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // WM_COMMAND: the command or notification's map entry; FALSE when none.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // A message the parent passes back to the control it concerns
    // (WM_DRAWITEM); TRUE when the control handled it.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual void PreSubclassWindow();
    // After the window's last message; the object is detached by then.
    virtual void PostNcDestroy();

    // Default handlers: the message's default processing.
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnDestroy();
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnShowWindow(BOOL bShow, UINT nStatus);

    WNDPROC m_pfnSuper;  // the window's procedure before subclassing

private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend class CDialog;
    BOOL OnCmdMsg(UINT nID, UINT nCode);
    void OnFinalNcDestroy();
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// Exchange between a dialog's controls and its members (DoDataExchange).
class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);
    BOOL m_bSaveAndValidate;  // TRUE: controls to members
    CWnd* m_pDlgWnd;
};

// Binds control nIDC of the dialog to rControl (subclassing it) the first
// time; later exchanges leave the binding alone.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
