// UTF-8 and wide strings, for code that holds its text in std::string and
// std::wstring: the one pair of converters over WideCharToMultiByte and
// MultiByteToWideChar (CP_UTF8), so that every part of the program treats
// invalid text alike.
//
// The whole string is converted, embedded NULs included (each stays one
// NUL).  Invalid input becomes U+FFFD, as the code page functions make it:
// on the wide side a lone surrogate or a value past U+10FFFF (a UTF-16
// surrogate pair is joined into its code point); on the UTF-8 side each
// maximal invalid part (overlong forms, encoded surrogates, values past
// U+10FFFF, cut sequences).  Texts are names and paths: one longer than
// the code page functions take (INT_MAX units) converts to an empty string.
#pragma once

#include <climits>
#include <string>
#include <string_view>

#include "winnls.h"

namespace win32_utf8 {

inline std::string Utf8FromWide(std::wstring_view wide) {
    if (wide.empty() || wide.size() > static_cast<size_t>(INT_MAX)) return {};
    const int count = static_cast<int>(wide.size());
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), count, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), count, out.data(), needed, nullptr, nullptr);
    return out;
}

inline std::wstring WideFromUtf8(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > static_cast<size_t>(INT_MAX)) return {};
    const int count = static_cast<int>(utf8.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), count, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring out(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), count, out.data(), needed);
    return out;
}

}  // namespace win32_utf8
