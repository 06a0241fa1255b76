#include <gtest/gtest.h>
#include <windows.h>

#include <string>

// "Kapitän/Дек/日本/🎥.avi": two-, three- and four-byte UTF-8 sequences.
static const char kUtf8[] =
    "Kapit\xC3\xA4n/\xD0\x94\xD0\xB5\xD0\xBA/\xE6\x97\xA5\xE6\x9C\xAC/\xF0\x9F\x8E\xA5.avi";
static const wchar_t kWide[] = L"Kapit\u00E4n/\u0414\u0435\u043A/\u65E5\u672C/\U0001F3A5.avi";

TEST(CodePage, RoundTripNonAscii) {
    for (UINT cp : {static_cast<UINT>(CP_ACP), static_cast<UINT>(CP_UTF8)}) {
        // -1: the terminator is converted and counted.
        int wideCount = MultiByteToWideChar(cp, 0, kUtf8, -1, nullptr, 0);
        ASSERT_EQ(wideCount, static_cast<int>(std::wstring(kWide).size() + 1));
        std::wstring wide(static_cast<size_t>(wideCount), L'?');
        ASSERT_EQ(MultiByteToWideChar(cp, 0, kUtf8, -1, wide.data(), wideCount), wideCount);
        EXPECT_EQ(wide, std::wstring(kWide, sizeof kWide / sizeof kWide[0]));

        int byteCount = WideCharToMultiByte(cp, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
        ASSERT_EQ(byteCount, static_cast<int>(sizeof kUtf8));
        std::string back(static_cast<size_t>(byteCount), '?');
        ASSERT_EQ(
            WideCharToMultiByte(cp, 0, wide.c_str(), -1, back.data(), byteCount, nullptr, nullptr),
            byteCount);
        EXPECT_EQ(back, std::string(kUtf8, sizeof kUtf8));
    }
}

TEST(CodePage, ExplicitLengthsAndSmallBuffers) {
    // An explicit length converts exactly that much, with no terminator.
    wchar_t wide[8] = {L'x', L'x', L'x', L'x', L'x', L'x', L'x', L'x'};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0,
                                  "\xC3\xA4"
                                  "bc",
                                  3, wide, 8),
              2);
    EXPECT_EQ(wide[0], L'\u00E4');
    EXPECT_EQ(wide[1], L'b');
    EXPECT_EQ(wide[2], L'x');

    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", -1, wide, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    char bytes[4];
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\u65E5\u672C", 2, bytes, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 0, wide, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CodePage, InvalidInput) {
    // Overlong slash, a cut three-byte sequence, an encoded surrogate, a lone
    // continuation byte: each maximal invalid part becomes one U+FFFD.
    const char bad[] =
        "a\xC0\xAF"
        "b\xE6\x97"
        "c\xED\xA0\x80"
        "d\x80";
    int n = MultiByteToWideChar(CP_UTF8, 0, bad, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'?');
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, bad, -1, wide.data(), n), n);
    EXPECT_EQ(wide, std::wstring(L"a\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFD\uFFFDd\uFFFD") + L'\0');

    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, -1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));

    // Lone surrogates and values past U+10FFFF on the wide side; a UTF-16
    // surrogate pair is joined.
    const wchar_t wideBad[] = {L'a',
                               static_cast<wchar_t>(0xD800),
                               L'b',
                               static_cast<wchar_t>(0x110000),
                               static_cast<wchar_t>(0xD83C),
                               static_cast<wchar_t>(0xDFA5),
                               0};
    char bytes[32];
    n = WideCharToMultiByte(CP_UTF8, 0, wideBad, -1, bytes, sizeof bytes, nullptr, nullptr);
    EXPECT_EQ(std::string(bytes, static_cast<size_t>(n)),
              std::string("a\xEF\xBF\xBD"
                          "b\xEF\xBF\xBD\xF0\x9F\x8E\xA5",
                          12) +
                  '\0');
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wideBad, -1, bytes, sizeof bytes,
                                  nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}
