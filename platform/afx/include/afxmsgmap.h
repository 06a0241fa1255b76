// Message maps: per-class tables that route window messages to member
// functions.  A class declares its table with DECLARE_MESSAGE_MAP() and
// defines it with BEGIN_MESSAGE_MAP(theClass, baseClass) ... END_MESSAGE_MAP();
// a message not in a class's table is looked up in its base class's table,
// and so on up to CWnd.
//
// Entries that name a handler take it as a member pointer,
// e.g. ON_BN_CLICKED(IDC_ABOUT, &CMainDialog::OnAbout); the ON_WM_* entries
// call the handler of the fixed name (OnPaint, OnTimer, ...) of the class.
#pragma once

#include <windows.h>

class CWnd;

#define afx_msg

// Calls the handler of one entry on a window object; returns the message's
// result.
typedef LRESULT (*AFX_PMSG)(CWnd* pWnd, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;             // the window message (WM_COMMAND for commands)
    UINT nCode;                // notification code of a WM_COMMAND entry
    UINT nID;                  // first control id of a WM_COMMAND entry
    UINT nLastID;              // last control id of a WM_COMMAND entry
    const UINT* pnRegistered;  // registered message: the variable that holds its number
    AFX_PMSG pfn;              // null ends the table
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                     \
protected:                                        \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
        using ThisClass [[maybe_unused]] = theClass;                                  \
        using TheBaseClass = baseClass;                                               \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                     \
    { 0, 0, 0, 0, nullptr, nullptr }                                                          \
    }                                                                                         \
    ;                                                                                         \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, _messageEntries}; \
    return &messageMap;                                                                       \
    }

#define AFX_MSG_THUNK(...)                                                                         \
    [](CWnd* pWnd_, [[maybe_unused]] WPARAM wParam_, [[maybe_unused]] LPARAM lParam_) -> LRESULT { \
        [[maybe_unused]] ThisClass* pThis_ = static_cast<ThisClass*>(pWnd_);                       \
        __VA_ARGS__                                                                                \
    }

// ---- Window messages -----------------------------------------------------------
#define ON_WM_SYSCOMMAND()                                          \
    {WM_SYSCOMMAND, 0, 0, 0, nullptr, AFX_MSG_THUNK({               \
         pThis_->OnSysCommand(static_cast<UINT>(wParam_), lParam_); \
         return 0;                                                  \
     })},
#define ON_WM_DESTROY()                            \
    {WM_DESTROY, 0, 0, 0, nullptr, AFX_MSG_THUNK({ \
         pThis_->OnDestroy();                      \
         return 0;                                 \
     })},
#define ON_WM_PAINT()                            \
    {WM_PAINT, 0, 0, 0, nullptr, AFX_MSG_THUNK({ \
         pThis_->OnPaint();                      \
         return 0;                               \
     })},
#define ON_WM_QUERYDRAGICON()                                         \
    {WM_QUERYDRAGICON, 0, 0, 0, nullptr, AFX_MSG_THUNK({              \
         return reinterpret_cast<LRESULT>(pThis_->OnQueryDragIcon()); \
     })},
#define ON_WM_TIMER()                                     \
    {WM_TIMER, 0, 0, 0, nullptr, AFX_MSG_THUNK({          \
         pThis_->OnTimer(static_cast<UINT_PTR>(wParam_)); \
         return 0;                                        \
     })},
#define ON_WM_SHOWWINDOW()                                                             \
    {WM_SHOWWINDOW, 0, 0, 0, nullptr, AFX_MSG_THUNK({                                  \
         pThis_->OnShowWindow(static_cast<BOOL>(wParam_), static_cast<UINT>(lParam_)); \
         return 0;                                                                     \
     })},

// A message of the program's own: LRESULT (theClass::*)(WPARAM, LPARAM).
#define ON_MESSAGE(message, memberFxn)                             \
    {static_cast<UINT>(message), 0, 0, 0, nullptr, AFX_MSG_THUNK({ \
         LRESULT (ThisClass::*pfn_)(WPARAM, LPARAM) = memberFxn;   \
         return (pThis_->*pfn_)(wParam_, lParam_);                 \
     })},
// A registered message whose number is in the UINT variable nMessageVariable
// (read when a message arrives, so it may be registered after the table is
// made): LRESULT (theClass::*)(WPARAM, LPARAM).
#define ON_REGISTERED_MESSAGE(nMessageVariable, memberFxn)       \
    {0, 0, 0, 0, &(nMessageVariable), AFX_MSG_THUNK({            \
         LRESULT (ThisClass::*pfn_)(WPARAM, LPARAM) = memberFxn; \
         return (pThis_->*pfn_)(wParam_, lParam_);               \
     })},

// ---- Commands and control notifications: void (theClass::*)() -----------------------
#define ON_CONTROL(wNotifyCode, id, memberFxn)  \
    {WM_COMMAND,                                \
     static_cast<UINT>(wNotifyCode),            \
     static_cast<UINT>(id),                     \
     static_cast<UINT>(id),                     \
     nullptr,                                   \
     AFX_MSG_THUNK({                            \
         void (ThisClass::*pfn_)() = memberFxn; \
         (pThis_->*pfn_)();                     \
         return 0;                              \
     })},
#define ON_COMMAND(id, memberFxn) ON_CONTROL(0, id, memberFxn)
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
