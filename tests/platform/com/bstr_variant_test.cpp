#include <gtest/gtest.h>
#include <objbase.h>

#include <cstring>
#include <cwchar>

TEST(Bstr, LengthComesFromThePrefixNotTheTerminator) {
    BSTR s = SysAllocString(L"Deck \u00e9\u4e2d");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 7u);
    EXPECT_STREQ(s, L"Deck \u00e9\u4e2d");
    DWORD bytes;
    std::memcpy(&bytes, reinterpret_cast<char*>(s) - sizeof(DWORD), sizeof bytes);
    EXPECT_EQ(bytes, 7 * sizeof(OLECHAR)) << "the prefix holds the byte count";
    SysFreeString(s);

    const OLECHAR withNul[] = {L'a', L'\0', L'b'};
    s = SysAllocStringLen(withNul, 3);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(std::wcslen(s), 1u);
    EXPECT_EQ(s[2], L'b');
    EXPECT_EQ(s[3], L'\0');
    SysFreeString(s);

    // Without a source the characters are zeroed, still terminated.
    s = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 4u);
    for (int i = 0; i <= 4; ++i) EXPECT_EQ(s[i], L'\0');
    SysFreeString(s);

    s = SysAllocString(L"");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 0u);
    SysFreeString(s);
}

TEST(Bstr, NullAndOversizedStrings) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    // A length whose byte count does not fit the prefix is refused, not
    // wrapped round.
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x40000000u), nullptr);
}

TEST(Variant, ClearFreesOwnedStringAndEmpties) {
    VARIANT v;
    std::memset(&v, 0xAB, sizeof v);
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(VariantClear(&v), S_OK);

    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(L"FriendlyName");
    EXPECT_EQ(VariantClear(&v), S_OK);  // ASan reports the string if it leaked
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(VariantClear(&v), S_OK) << "clearing twice must not free twice";

    v.vt = VT_BSTR;
    v.bstrVal = nullptr;
    EXPECT_EQ(VariantClear(&v), S_OK);

    v.vt = VT_I4;
    v.lVal = 5040;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);

    v.vt = 0x7FF;
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}
