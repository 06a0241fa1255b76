#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "testsupport/windowthread.h"

using test_support::RegisterTestClass;

namespace {

std::vector<std::string>* g_log;
HWND g_names[4];

std::string NameOf(HWND hwnd) {
    for (int i = 0; i < 4; ++i)
        if (g_names[i] == hwnd) return std::string(1, static_cast<char>('A' + i));
    return "?";
}

LRESULT CALLBACK LoggingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (g_log && msg == WM_DESTROY) g_log->push_back("destroy " + NameOf(hwnd));
    if (g_log && msg == WM_NCDESTROY) g_log->push_back("ncdestroy " + NameOf(hwnd));
    if (msg == WM_CREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCT*>(lp);
        SetWindowLongPtr(hwnd, 0, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        if (cs->lpCreateParams == reinterpret_cast<void*>(-1)) return -1;
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

HWND MakeWindow(HWND parent = nullptr, DWORD style = WS_CAPTION, void* param = nullptr) {
    RegisterTestClass("Logging", LoggingProc, 4);
    return CreateWindowEx(0, "Logging", "Caption", parent ? (style | WS_CHILD) : style, 10, 20, 100,
                          50, parent, nullptr, nullptr, param);
}

}  // namespace

TEST(Window, ClassesAndExtraBytes) {
    int object = 0;
    HWND hwnd = MakeWindow(nullptr, WS_CAPTION, &object);
    ASSERT_NE(hwnd, nullptr);
    // Four extra bytes hold the creation parameter, a whole pointer.
    EXPECT_EQ(reinterpret_cast<int*>(GetWindowLongPtr(hwnd, 0)), &object);
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtr(hwnd, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));

    WNDCLASSEX wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = LoggingProc;
    wc.lpszClassName = "logging";  // class names ignore case
    EXPECT_EQ(RegisterClassEx(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    EXPECT_EQ(
        CreateWindowEx(0, "No Such Class", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));

    // WM_CREATE returning -1 fails the creation and leaves no window.
    EXPECT_EQ(MakeWindow(nullptr, WS_CAPTION, reinterpret_cast<void*>(-1)), nullptr);
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(DestroyWindow(hwnd));
}

TEST(Window, DestroyOrder) {
    std::vector<std::string> log;
    g_log = &log;
    HWND a = MakeWindow();
    HWND b = MakeWindow(a);
    HWND c = MakeWindow(b);
    HWND d = MakeWindow(a);
    g_names[0] = a, g_names[1] = b, g_names[2] = c, g_names[3] = d;
    EXPECT_TRUE(IsChild(a, c));
    EXPECT_EQ(GetParent(c), b);
    ASSERT_TRUE(DestroyWindow(a));
    g_log = nullptr;
    // WM_DESTROY goes down the tree, WM_NCDESTROY comes back up it.
    std::vector<std::string> want = {"destroy A",   "destroy B", "destroy C",   "ncdestroy C",
                                     "ncdestroy B", "destroy D", "ncdestroy D", "ncdestroy A"};
    EXPECT_EQ(log, want);
    for (HWND h : {a, b, c, d}) EXPECT_FALSE(IsWindow(h));
}

TEST(Window, OnlyTheOwnerDestroys) {
    HWND hwnd = MakeWindow();
    BOOL result = TRUE;
    DWORD error = 0;
    std::thread([&] {
        result = DestroyWindow(hwnd);
        error = GetLastError();
    }).join();
    EXPECT_FALSE(result);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(DestroyWindow(hwnd));
}

TEST(Window, WindowsOfAnEndedThreadGo) {
    HWND hwnd = nullptr;
    std::thread([&] { hwnd = MakeWindow(); }).join();
    EXPECT_NE(hwnd, nullptr);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST(Window, GeometryAndState) {
    HWND top = MakeWindow();
    HWND child = MakeWindow(top);
    ASSERT_TRUE(SetWindowPos(child, HWND_TOP, 5, 6, 30, 40, SWP_SHOWWINDOW));
    RECT rc;
    GetWindowRect(child, &rc);
    EXPECT_EQ(rc.left, 15);
    EXPECT_EQ(rc.top, 26);
    EXPECT_EQ(rc.right, 45);
    EXPECT_EQ(rc.bottom, 66);
    GetClientRect(child, &rc);
    EXPECT_EQ(rc.right, 30);
    EXPECT_EQ(rc.bottom, 40);
    POINT p{15, 26};
    ScreenToClient(top, &p);
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, 6);
    POINT q{0, 0};
    MapWindowPoints(child, top, &q, 1);
    EXPECT_EQ(q.x, 5);
    EXPECT_EQ(q.y, 6);

    EXPECT_FALSE(IsWindowVisible(child));  // its parent is hidden
    EXPECT_FALSE(ShowWindow(top, SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(child));
    ShowWindow(top, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(top));
    ShowWindow(top, SW_RESTORE);
    EXPECT_FALSE(IsIconic(top));

    EXPECT_FALSE(EnableWindow(child, FALSE));
    EXPECT_FALSE(IsWindowEnabled(child));
    EXPECT_TRUE(EnableWindow(child, TRUE));

    EXPECT_TRUE(SetWindowText(top, "A rather long caption"));
    char buf[8];
    EXPECT_EQ(GetWindowText(top, buf, sizeof buf), 7);
    EXPECT_STREQ(buf, "A rathe");
    EXPECT_EQ(GetWindowTextLength(top), 21);
    DestroyWindow(top);
}
