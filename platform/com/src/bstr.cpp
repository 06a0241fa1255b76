// BSTR: a 32-bit byte count, the characters, a NUL terminator.  The BSTR
// points past the count, so it reads as an ordinary wide C string and the
// length survives embedded NULs.
#include <objbase.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>

namespace {

constexpr size_t kPrefix = sizeof(DWORD);

DWORD* PrefixOf(BSTR bstr) {
    return reinterpret_cast<DWORD*>(reinterpret_cast<char*>(bstr) - kPrefix);
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* pch, UINT ui) {
    // The byte count must fit the 32-bit prefix.
    if (ui > (std::numeric_limits<DWORD>::max() - sizeof(OLECHAR)) / sizeof(OLECHAR))
        return nullptr;
    size_t bytes = size_t{ui} * sizeof(OLECHAR);
    auto* block = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    DWORD count = static_cast<DWORD>(bytes);
    std::memcpy(block, &count, sizeof count);
    BSTR bstr = reinterpret_cast<BSTR>(block + kPrefix);
    if (pch)
        std::memcpy(bstr, pch, bytes);
    else
        std::memset(bstr, 0, bytes);
    bstr[ui] = L'\0';
    return bstr;
}

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    size_t len = std::wcslen(psz);
    if (len > std::numeric_limits<UINT>::max()) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(len));
}

UINT SysStringLen(BSTR bstr) {
    if (!bstr) return 0;
    DWORD count;
    std::memcpy(&count, PrefixOf(bstr), sizeof count);
    return count / sizeof(OLECHAR);
}

void SysFreeString(BSTR bstrString) {
    if (bstrString) std::free(PrefixOf(bstrString));
}
