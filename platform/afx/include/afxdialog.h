// CDialog: a dialog from a template, run modally (DoModal) or modeless
// (Create).  IDOK and IDCANCEL commands (Enter, Escape, the OK and Cancel
// buttons, the close box) reach the virtual OnOK and OnCancel.
#pragma once

#include "afxwnd.h"

class CDialog : public CWnd {
public:
    CDialog();
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Runs the dialog modally through the dialog manager: the owner (the
    // parent's top-level window, else the application's main window) is
    // disabled meanwhile.  Returns EndDialog's result, or -1 when the
    // dialog could not be created.
    virtual INT_PTR DoModal();
    // Creates the dialog modeless, e.g. as a child of pParentWnd.
    virtual BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    void EndDialog(int nResult);

    // Dialog start: exchanges data into the controls (UpdateData(FALSE)).
    // TRUE lets the dialog manager put the focus on the first tab stop.
    virtual BOOL OnInitDialog();

    BOOL PreTranslateMessage(MSG* pMsg) override;

protected:
    // UpdateData(TRUE), then EndDialog(IDOK).
    virtual void OnOK();
    // EndDialog(IDCANCEL).
    virtual void OnCancel();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
    HWND OwnerWindow() const;

    DECLARE_MESSAGE_MAP()
};

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
