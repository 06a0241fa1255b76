#include <algorithm>
#include <cstring>

#include "win32/resources.h"
#include "winbase.h"
#include "winuser.h"

int LoadString(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    const char* text = win32_resources::FindString(static_cast<int>(uID));
    if (!lpBuffer || cchBufferMax <= 0) return 0;
    lpBuffer[0] = '\0';
    if (!text) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    size_t n = std::min<size_t>(std::strlen(text), static_cast<size_t>(cchBufferMax - 1));
    std::memcpy(lpBuffer, text, n);
    lpBuffer[n] = '\0';
    return static_cast<int>(n);
}
