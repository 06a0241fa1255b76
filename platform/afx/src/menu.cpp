// CMenu.
#include <memory>
#include <unordered_map>

#include "afxmenu.h"
#include "afxwnd.h"

CMenu::CMenu() : m_hMenu(nullptr) {}

CMenu* CMenu::FromHandle(HMENU hMenu) {
    if (!hMenu) return nullptr;
    thread_local std::unordered_map<HMENU, std::unique_ptr<CMenu>> temporaries;
    auto& slot = temporaries[hMenu];
    if (!slot) {
        slot = std::make_unique<CMenu>();
        slot->m_hMenu = hMenu;
    }
    return slot.get();
}

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, LPCSTR lpszNewItem) {
    return ::AppendMenu(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) const {
    return CMenu::FromHandle(::GetSystemMenu(m_hWnd, bRevert));
}
