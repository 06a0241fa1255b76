// The UTF-8 converters over the code page functions: whole strings with
// their NULs, invalid text as U+FFFD.
#include <gtest/gtest.h>
#include <win32/utf8.h>

#include <string>

using win32_utf8::Utf8FromWide;
using win32_utf8::WideFromUtf8;

namespace {

std::wstring Wide(std::initializer_list<char32_t> units) {
    std::wstring out;
    for (char32_t u : units) out.push_back(static_cast<wchar_t>(u));
    return out;
}

}  // namespace

TEST(Utf8, ValidTextBothWays) {
    struct Case {
        const char* what;
        std::wstring wide;
        std::string utf8;
    } cases[] = {
        {"empty", L"", ""},
        {"ascii", L"Deck 1", "Deck 1"},
        {"two bytes", L"Cam\u00e9ra", "Cam\xc3\xa9ra"},
        {"three bytes", L"\u2713", "\xe2\x9c\x93"},
        {"four bytes", Wide({0x1F3A5}), "\xf0\x9f\x8e\xa5"},
        {"embedded NULs", std::wstring(L"a\0b\0", 4), std::string("a\0b\0", 4)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.utf8, Utf8FromWide(c.wide)) << c.what;
        EXPECT_EQ(c.wide, WideFromUtf8(c.utf8)) << c.what;
    }
}

TEST(Utf8, InvalidWideText) {
    const std::string fffd = "\xef\xbf\xbd";
    struct Case {
        const char* what;
        std::wstring wide;
        std::string utf8;
    } cases[] = {
        {"lone high surrogate", Wide({'a', 0xD800, 'b'}), "a" + fffd + "b"},
        {"lone low surrogate at the end", Wide({'a', 0xDC00}), "a" + fffd},
        {"surrogate pair joined", Wide({0xD83C, 0xDFA5}), "\xf0\x9f\x8e\xa5"},
        {"past U+10FFFF", Wide({0x110000, 'z'}), fffd + "z"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.utf8, Utf8FromWide(c.wide)) << c.what;
}

TEST(Utf8, InvalidUtf8Text) {
    constexpr char32_t r = 0xFFFD;
    struct Case {
        const char* what;
        std::string utf8;
        std::wstring wide;
    } cases[] = {
        {"overlong slash", "a\xc0\xaf", Wide({'a', r, r})},
        {"cut sequence, one replacement", "b\xe2\x9c", Wide({'b', r})},
        {"cut sequence before text", std::string("\xe2\x9c") + "c", Wide({r, 'c'})},
        {"encoded surrogate", "\xed\xa0\x80", Wide({r, r, r})},
        {"past U+10FFFF", "\xf4\x90\x80\x80", Wide({r, r, r, r})},
        {"lone continuation byte", std::string("\x80") + "d", Wide({r, 'd'})},
    };
    for (const Case& c : cases) EXPECT_EQ(c.wide, WideFromUtf8(c.utf8)) << c.what;
}
