// Control classes: thin wrappers over the standard controls' messages.
#pragma once

#include <string>

#include "afxwnd.h"

class CButton : public CWnd {
public:
    // Called for each owner-draw request of an owner-drawn button (the
    // parent's WM_DRAWITEM for this button).
    virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);

protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class CStatic : public CWnd {
public:
    // STM_SETIMAGE: shows hBitmap, returns the previous picture.
    HBITMAP SetBitmap(HBITMAP hBitmap);
    HBITMAP GetBitmap() const;
};

class CEdit : public CWnd {
public:
    // Selects [nStartChar, nEndChar) and, unless bNoScroll, scrolls the
    // caret into view.
    void SetSel(int nStartChar, int nEndChar, BOOL bNoScroll = FALSE);
};

class CComboBox : public CWnd {
public:
    void ResetContent();
    int AddString(LPCSTR lpszString);
    int InsertString(int nIndex, LPCSTR lpszString);
    int SetCurSel(int nSelect);
    int GetCurSel() const;
    int GetCount() const;
    int GetLBTextLen(int nIndex) const;
    int GetLBText(int nIndex, LPSTR lpszText) const;
    void GetLBText(int nIndex, std::string& rString) const;
};
