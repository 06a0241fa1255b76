#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "afx_test_support.h"

using namespace afx_test;

namespace {

std::vector<std::string> g_events;
std::vector<DRAWITEMSTRUCT> g_draws;
UINT g_uTestMessage = 0;  // registered at run time, after the maps exist

class CTestButton : public CButton {
public:
    void DrawItem(LPDRAWITEMSTRUCT lpDIS) override { g_draws.push_back(*lpDIS); }
};

class CBaseDialog : public CDialog {
public:
    explicit CBaseDialog(CWnd* pParent = nullptr) : CDialog(kDialogId, pParent) {}

    CComboBox m_wndCombo;
    CEdit m_wndEdit;
    CTestButton m_wndDrawn;
    CStatic m_wndLabel;
    int m_nLoads = 0;  // exchanges into the controls
    int m_nSaves = 0;  // exchanges out of them
    std::function<void(CBaseDialog*)> m_onInit;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (m_onInit) m_onInit(this);
        return TRUE;
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        CDialog::DoDataExchange(pDX);
        DDX_Control(pDX, kCombo, m_wndCombo);
        DDX_Control(pDX, kEdit, m_wndEdit);
        DDX_Control(pDX, kDrawn, m_wndDrawn);
        DDX_Control(pDX, kLabel, m_wndLabel);
        ++(pDX->m_bSaveAndValidate ? m_nSaves : m_nLoads);
    }
    afx_msg void OnPlain() { g_events.push_back("base plain"); }
    afx_msg void OnTimer(UINT_PTR nIDEvent) {
        KillTimer(nIDEvent);
        g_events.push_back("timer " + std::to_string(nIDEvent));
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseDialog, CDialog)
ON_BN_CLICKED(kPlain, &CBaseDialog::OnPlain)
ON_WM_TIMER()
END_MESSAGE_MAP()

class CDerivedDialog : public CBaseDialog {
protected:
    afx_msg void OnComboChange() { g_events.push_back("selchange"); }
    afx_msg LRESULT OnTestMessage(WPARAM wParam, LPARAM lParam) {
        g_events.push_back("registered");
        return static_cast<LRESULT>(wParam) + lParam;
    }
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam) {
        g_events.push_back("syscommand " + std::to_string(nID));
        CBaseDialog::OnSysCommand(nID, lParam);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedDialog, CBaseDialog)
ON_CBN_SELCHANGE(kCombo, &CDerivedDialog::OnComboChange)
ON_REGISTERED_MESSAGE(g_uTestMessage, &CDerivedDialog::OnTestMessage)
ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

// A panel: a child dialog whose Enter and Escape do nothing.
class CChildPanel : public CDialog {
public:
    CChildPanel() : CDialog(kChildId) {}

protected:
    void OnOK() override { g_events.push_back("panel ok"); }
    void OnCancel() override { g_events.push_back("panel cancel"); }
    afx_msg void OnShowWindow(BOOL bShow, UINT nStatus) {
        CDialog::OnShowWindow(bShow, nStatus);
        g_events.push_back(std::string("panel shown ") + (bShow ? "1" : "0"));
    }
    afx_msg void OnDestroy() {
        CDialog::OnDestroy();
        g_events.push_back("panel destroyed");
    }
    afx_msg void OnPlain() { g_events.push_back("panel plain"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CChildPanel, CDialog)
ON_WM_SHOWWINDOW()
ON_WM_DESTROY()
ON_BN_CLICKED(kPlain, &CChildPanel::OnPlain)
END_MESSAGE_MAP()

class Framework : public ::testing::Test {
protected:
    void SetUp() override {
        InstallDisplay();
        g_events.clear();
        g_draws.clear();
    }
    void TearDown() override { Pump(); }
};

void PostCommand(CWnd* pWnd, int id) {
    pWnd->PostMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

}  // namespace

TEST_F(Framework, ModalRunEndsOnPostedOkAfterExchangingData) {
    CBaseDialog dlg;
    HWND combo_in_run = nullptr;
    dlg.m_onInit = [&](CBaseDialog* d) {
        combo_in_run = d->m_wndCombo.m_hWnd;
        // The controls are bound, and a bound control is its own object.
        EXPECT_EQ(CWnd::FromHandle(combo_in_run), &d->m_wndCombo);
        EXPECT_EQ(d->GetDlgItem(kCombo), &d->m_wndCombo);
        d->m_wndCombo.AddString("first");
        d->m_wndCombo.InsertString(-1, "second");
        EXPECT_EQ(d->m_wndCombo.SetCurSel(1), 1);
        PostCommand(d, IDOK);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_NE(combo_in_run, nullptr);
    EXPECT_EQ(dlg.m_nLoads, 1);
    EXPECT_EQ(dlg.m_nSaves, 1);  // OnOK saved once
    // The window and its controls are gone, and the objects let go of them.
    EXPECT_FALSE(IsWindow(combo_in_run));
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_wndCombo.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(combo_in_run), nullptr);
    // A second run binds the controls afresh.
    dlg.m_onInit = [](CBaseDialog* d) { PostCommand(d, IDCANCEL); };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.m_nLoads, 2);
    EXPECT_EQ(dlg.m_nSaves, 1);  // Cancel saves nothing
}

TEST_F(Framework, CloseBoxEndsModalRunWithCancel) {
    CDerivedDialog dlg;
    dlg.m_onInit = [](CBaseDialog* d) { d->PostMessage(WM_SYSCOMMAND, SC_CLOSE, 0); };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    // The derived handler saw it first, then the default processing ended
    // the dialog through OnCancel.
    EXPECT_EQ(g_events, std::vector<std::string>{"syscommand " + std::to_string(SC_CLOSE)});
    EXPECT_EQ(dlg.m_nSaves, 0);
}

TEST_F(Framework, MissingTemplateFailsTheRun) {
    CDialog dlg(4242);
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_FALSE(dlg.Create(4242));
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST_F(Framework, MessageMapRouting) {
    CDerivedDialog dlg;
    ASSERT_TRUE(dlg.Create(kDialogId));
    HWND hDlg = dlg.m_hWnd;
    ASSERT_NE(hDlg, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(hDlg), &dlg);

    // A base class's entry serves the derived object; entries are chosen by
    // control id and notification code.
    SendMessage(GetDlgItem(hDlg, kPlain), BM_CLICK, 0, 0);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(kCombo, CBN_SELCHANGE), 0);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(kPlain, CBN_SELCHANGE), 0);  // no such entry
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(kOther, BN_CLICKED), 0);     // no such entry
    EXPECT_EQ(g_events, (std::vector<std::string>{"base plain", "selchange"}));

    // A registered message's number is read when the message comes; before
    // it is registered the entry matches nothing (not even message 0).
    g_events.clear();
    dlg.SendMessage(WM_NULL, 0, 0);
    EXPECT_TRUE(g_events.empty());
    g_uTestMessage = RegisterWindowMessage("afx-test-registered-message");
    ASSERT_NE(g_uTestMessage, 0u);
    EXPECT_EQ(dlg.SendMessage(g_uTestMessage, 2, 3), 5);
    EXPECT_EQ(g_events, std::vector<std::string>{"registered"});

    // WM_TIMER through the base class's entry, on this thread.
    g_events.clear();
    EXPECT_NE(dlg.SetTimer(5, 10, nullptr), 0u);
    for (int i = 0; i < 200 && g_events.empty(); ++i) {
        Pump(1);
        Sleep(5);
    }
    EXPECT_EQ(g_events, std::vector<std::string>{"timer 5"});

    // A command from another thread's send runs on the dialog's thread.
    g_events.clear();
    std::atomic<bool> sent{false};
    std::thread sender([&] {
        SendMessage(hDlg, WM_COMMAND, MAKEWPARAM(kCombo, CBN_SELCHANGE), 0);
        sent = true;
    });
    while (!sent) Pump(1);
    sender.join();
    EXPECT_EQ(g_events, std::vector<std::string>{"selchange"});

    EXPECT_TRUE(dlg.DestroyWindow());
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(hDlg), nullptr);
}

TEST_F(Framework, OwnerDrawRequestsReachTheButtonsDrawItem) {
    CBaseDialog dlg;
    ASSERT_TRUE(dlg.Create(kDialogId));
    dlg.ShowWindow(SW_SHOW);
    Pump();
    ASSERT_FALSE(g_draws.empty());
    const DRAWITEMSTRUCT& first = g_draws.front();
    EXPECT_EQ(first.CtlType, static_cast<UINT>(ODT_BUTTON));
    EXPECT_EQ(first.CtlID, static_cast<UINT>(kDrawn));
    EXPECT_EQ(first.hwndItem, dlg.m_wndDrawn.m_hWnd);
    EXPECT_TRUE(first.itemAction & ODA_DRAWENTIRE);
    EXPECT_NE(first.hDC, nullptr);

    // Disabling redraws it with the disabled state.
    g_draws.clear();
    dlg.m_wndDrawn.EnableWindow(FALSE);
    Pump();
    ASSERT_FALSE(g_draws.empty());
    EXPECT_TRUE(g_draws.back().itemState & ODS_DISABLED);

    // A request for a control without an object is left to the default.
    DRAWITEMSTRUCT stray{};
    stray.CtlType = ODT_BUTTON;
    stray.hwndItem = GetDlgItem(dlg.m_hWnd, kOther);
    g_draws.clear();
    dlg.SendMessage(WM_DRAWITEM, kOther, reinterpret_cast<LPARAM>(&stray));
    EXPECT_TRUE(g_draws.empty());
    dlg.DestroyWindow();
}

TEST_F(Framework, ModelessChildDialog) {
    CBaseDialog host;
    CChildPanel panel;
    host.m_onInit = [&](CBaseDialog* d) {
        EXPECT_TRUE(panel.Create(kChildId, d));
        panel.ShowWindow(SW_SHOW);
    };
    ASSERT_TRUE(host.Create(kDialogId));
    host.ShowWindow(SW_SHOW);
    Pump();
    ASSERT_NE(panel.m_hWnd, nullptr);
    EXPECT_EQ(::GetParent(panel.m_hWnd), host.m_hWnd);
    EXPECT_EQ(panel.GetParent(), &host);
    EXPECT_EQ(g_events, std::vector<std::string>{"panel shown 1"});
    EXPECT_TRUE(panel.IsWindowVisible());

    // The panel's controls reach the panel's map, not the host's; its own
    // Enter and Escape do not close it.
    g_events.clear();
    SendMessage(GetDlgItem(panel.m_hWnd, kPlain), BM_CLICK, 0, 0);
    panel.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    panel.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(g_events, (std::vector<std::string>{"panel plain", "panel ok", "panel cancel"}));
    EXPECT_TRUE(panel.IsWindowVisible());

    // Placed over a rectangle of the host.
    RECT label;
    ::GetWindowRect(GetDlgItem(host.m_hWnd, kLabel), &label);
    host.ScreenToClient(&label);
    panel.SetWindowPos(&CWnd::wndTop, label.left, label.top, 80, 30, SWP_SHOWWINDOW);
    RECT placed;
    panel.GetWindowRect(&placed);
    host.ScreenToClient(&placed);
    EXPECT_EQ(placed.left, label.left);
    EXPECT_EQ(placed.top, label.top);
    EXPECT_EQ(placed.right - placed.left, 80);

    // Destroyed with its parent.
    g_events.clear();
    HWND hPanel = panel.m_hWnd;
    host.DestroyWindow();
    EXPECT_EQ(g_events, std::vector<std::string>{"panel destroyed"});
    EXPECT_FALSE(IsWindow(hPanel));
    EXPECT_EQ(panel.m_hWnd, nullptr);
}

TEST_F(Framework, HandleMaps) {
    CBaseDialog dlg;
    ASSERT_TRUE(dlg.Create(kDialogId));
    HWND plain = GetDlgItem(dlg.m_hWnd, kPlain);
    // A window without an object gets one temporary object per thread.
    CWnd* temporary = dlg.GetDlgItem(kPlain);
    ASSERT_NE(temporary, nullptr);
    EXPECT_EQ(temporary->m_hWnd, plain);
    EXPECT_EQ(dlg.GetDlgItem(kPlain), temporary);
    EXPECT_EQ(CWnd::FromHandlePermanent(plain), nullptr);
    CWnd* elsewhere = nullptr;
    std::thread([&] { elsewhere = CWnd::FromHandle(plain); }).join();
    EXPECT_NE(elsewhere, temporary);
    EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);

    // Attach binds without routing; one object a window.
    CWnd attached;
    EXPECT_TRUE(attached.Attach(plain));
    EXPECT_EQ(CWnd::FromHandle(plain), &attached);
    CButton other;
    EXPECT_FALSE(other.SubclassWindow(plain));
    EXPECT_EQ(attached.Detach(), plain);
    EXPECT_EQ(CWnd::FromHandlePermanent(plain), nullptr);

    // Subclassing and giving the window back.
    EXPECT_TRUE(other.SubclassDlgItem(kPlain, &dlg));
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtr(plain, GWLP_WNDPROC)), &AfxWndProc);
    SendMessage(plain, BM_CLICK, 0, 0);  // the button's own processing still runs
    EXPECT_EQ(g_events, std::vector<std::string>{"base plain"});
    EXPECT_EQ(other.UnsubclassWindow(), plain);
    EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongPtr(plain, GWLP_WNDPROC)), &AfxWndProc);

    // Wrappers act on the bound window.
    dlg.m_wndEdit.SetWindowText("/a/long/path/to/a/file.avi");
    std::string text;
    dlg.m_wndEdit.GetWindowText(text);
    EXPECT_EQ(text, "/a/long/path/to/a/file.avi");
    dlg.m_wndEdit.SetSel(0, -1);
    dlg.SetDlgItemText(kLabel, "changed");
    char buf[32];
    EXPECT_EQ(dlg.GetDlgItemText(kLabel, buf, sizeof buf), 7);
    EXPECT_STREQ(buf, "changed");
    dlg.m_wndCombo.AddString("a");
    dlg.m_wndCombo.AddString("bb");
    EXPECT_EQ(dlg.m_wndCombo.GetCount(), 2);
    dlg.m_wndCombo.GetLBText(1, text);
    EXPECT_EQ(text, "bb");
    dlg.m_wndCombo.ResetContent();
    EXPECT_EQ(dlg.m_wndCombo.GetCount(), 0);
    EXPECT_EQ(dlg.m_wndCombo.GetCurSel(), CB_ERR);
    dlg.m_wndLabel.EnableWindow(FALSE);
    EXPECT_FALSE(dlg.m_wndLabel.IsWindowEnabled());
    dlg.DestroyWindow();
}

TEST_F(Framework, MainWindowOwnsDialogsWithoutParent) {
    CWinApp app("afx test");
    app.SetCurrentHandles();
    EXPECT_STREQ(app.m_pszAppName, "afx test");
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_EQ(AfxGetThread(), &app);
    {
        CBaseDialog main;
        ASSERT_TRUE(main.Create(kDialogId));
        main.ShowWindow(SW_SHOW);
        app.m_pMainWnd = &main;
        EXPECT_EQ(AfxGetMainWnd(), &main);

        // A dialog without a parent is owned by the main window, which is
        // disabled while it runs.
        CBaseDialog about;
        bool main_disabled = false;
        about.m_onInit = [&](CBaseDialog* d) {
            main_disabled = !main.IsWindowEnabled();
            PostCommand(d, IDOK);
        };
        EXPECT_EQ(about.DoModal(), IDOK);
        EXPECT_TRUE(main_disabled);
        EXPECT_TRUE(main.IsWindowEnabled());

        // Destroying the main window lets go of it and ends the thread's
        // message loop.
        main.DestroyWindow();
        EXPECT_EQ(app.m_pMainWnd, nullptr);
        MSG msg;
        ASSERT_TRUE(PeekMessage(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    }
    {
        // A main window whose run failed never leaves the pointer dangling.
        CDialog broken(4242);
        app.m_pMainWnd = &broken;
        EXPECT_EQ(broken.DoModal(), -1);
    }
    EXPECT_EQ(app.m_pMainWnd, nullptr);
}
