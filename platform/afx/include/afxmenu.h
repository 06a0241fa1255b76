// CMenu: a menu handle with the operations the program uses.
#pragma once

#include <windows.h>

class CMenu {
public:
    CMenu();
    ~CMenu() = default;
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    HMENU m_hMenu;

    HMENU GetSafeHmenu() const { return m_hMenu; }
    operator HMENU() const { return m_hMenu; }

    // A temporary object of the calling thread for a menu handle, freed
    // when the thread ends; null for a null handle.
    static CMenu* FromHandle(HMENU hMenu);

    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCSTR lpszNewItem = nullptr);
};
