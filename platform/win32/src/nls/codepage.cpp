// MultiByteToWideChar and WideCharToMultiByte between UTF-8 (CP_ACP and
// CP_UTF8 both) and wide strings of one code point a WCHAR.
//
// Invalid UTF-8 (overlong forms, surrogates, values past U+10FFFF, cut
// sequences) becomes one U+FFFD for each maximal invalid part, as Windows
// does; with MB_ERR_INVALID_CHARS the call fails instead.  On the wide side a
// lone surrogate or a value past U+10FFFF is invalid; a high and low
// surrogate pair, as UTF-16 data would carry it, is joined into its code
// point.
#include <cstdint>
#include <cstring>
#include <string>

#include "winbase.h"
#include "winnls.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool KnownCodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// Decodes UTF-8; false when invalid input was met and `strict` is set.
bool DecodeUtf8(const unsigned char* in, size_t size, bool strict, std::u32string& out) {
    size_t i = 0;
    while (i < size) {
        unsigned char b = in[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        size_t need;
        char32_t cp;
        unsigned char lower = 0x80, upper = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0) lower = 0xA0;
            if (b == 0xED) upper = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0) lower = 0x90;
            if (b == 0xF4) upper = 0x8F;
        } else {
            if (strict) return false;
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool valid = true;
        for (size_t k = 0; k < need; ++k, ++j) {
            if (j >= size || in[j] < lower || in[j] > upper) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (in[j] & 0x3F);
            lower = 0x80;
            upper = 0xBF;
        }
        if (!valid) {
            if (strict) return false;
            out.push_back(kReplacement);
            i = j;  // the maximal invalid part ends before the offending byte
            continue;
        }
        out.push_back(cp);
        i = j;
    }
    return true;
}

void AppendUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
    if (!KnownCodePage(CodePage)) return Fail(ERROR_INVALID_PARAMETER);
    if ((dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0)
        return Fail(ERROR_INVALID_FLAGS);
    if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && lpWideCharStr == nullptr) ||
        (cchWideChar > 0 &&
         static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)))
        return Fail(ERROR_INVALID_PARAMETER);

    const size_t size =
        cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    std::u32string wide;
    if (!DecodeUtf8(reinterpret_cast<const unsigned char*>(lpMultiByteStr), size,
                    (dwFlags & MB_ERR_INVALID_CHARS) != 0, wide))
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
    if (wide.size() > static_cast<size_t>(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER);
    const int needed = static_cast<int>(wide.size());
    if (cchWideChar == 0) return needed;
    if (cchWideChar < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    for (size_t i = 0; i < wide.size(); ++i) lpWideCharStr[i] = static_cast<WCHAR>(wide[i]);
    return needed;
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar) {
    if (!KnownCodePage(CodePage)) return Fail(ERROR_INVALID_PARAMETER);
    if ((dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0)
        return Fail(ERROR_INVALID_FLAGS);
    // UTF-8 represents every code point: there is no default character.
    if (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && lpMultiByteStr == nullptr) ||
        (cbMultiByte > 0 &&
         static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)))
        return Fail(ERROR_INVALID_PARAMETER);

    size_t count = 0;
    if (cchWideChar == -1) {
        while (lpWideCharStr[count] != 0) ++count;
        ++count;
    } else {
        count = static_cast<size_t>(cchWideChar);
    }
    const bool strict = (dwFlags & WC_ERR_INVALID_CHARS) != 0;
    std::string utf8;
    for (size_t i = 0; i < count; ++i) {
        char32_t cp = static_cast<char32_t>(lpWideCharStr[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < count) {
            char32_t low = static_cast<char32_t>(lpWideCharStr[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            if (strict) return Fail(ERROR_NO_UNICODE_TRANSLATION);
            cp = kReplacement;
        }
        AppendUtf8(cp, utf8);
    }
    if (utf8.size() > static_cast<size_t>(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER);
    const int needed = static_cast<int>(utf8.size());
    if (cbMultiByte == 0) return needed;
    if (cbMultiByte < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(lpMultiByteStr, utf8.data(), utf8.size());
    return needed;
}
