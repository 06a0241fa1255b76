// Media type helpers: format blocks in task memory, deep copies.
#include "media/mediatype.h"

#include <gtest/gtest.h>
#include <uuids.h>

#include <cstring>

#include "com/comobject.h"

namespace {

// Counts its references; deleted by the test, not at zero.
class Counted final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
};

TEST(MediaTypeFormat, SetReplacesTheBlockWithAnOwnCopy) {
    AM_MEDIA_TYPE mt = MakeMediaType(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
    DVINFO info{};
    info.dwDVAAuxSrc = 0x12345678;
    ASSERT_EQ(S_OK, SetMediaTypeFormat(mt, info));
    info.dwDVAAuxSrc = 0;  // the block is a copy
    ASSERT_EQ(sizeof(DVINFO), mt.cbFormat);
    EXPECT_EQ(0x12345678u, reinterpret_cast<const DVINFO*>(mt.pbFormat)->dwDVAAuxSrc);

    // A second block takes the first one's place (ASan sees a leak else).
    const BYTE other[3] = {1, 2, 3};
    ASSERT_EQ(S_OK, SetMediaTypeFormat(mt, other, sizeof other));
    ASSERT_EQ(3u, mt.cbFormat);
    EXPECT_EQ(0, std::memcmp(other, mt.pbFormat, sizeof other));

    ASSERT_EQ(S_OK, SetMediaTypeFormat(mt, nullptr, 0));
    EXPECT_EQ(nullptr, mt.pbFormat);
    EXPECT_EQ(0u, mt.cbFormat);
    FreeMediaType(mt);
}

TEST(MediaTypeFormat, CopyIsDeepAndHoldsItsOwnReference) {
    Counted unk;
    AM_MEDIA_TYPE src = MakeMediaType(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
    DVINFO info{};
    info.dwDVVAuxSrc = 7;
    ASSERT_EQ(S_OK, SetMediaTypeFormat(src, info));
    src.pUnk = &unk;

    AM_MEDIA_TYPE copy{};
    ASSERT_EQ(S_OK, CopyMediaType(&copy, &src));
    EXPECT_NE(src.pbFormat, copy.pbFormat);
    EXPECT_EQ(src.cbFormat, copy.cbFormat);
    EXPECT_EQ(0, std::memcmp(src.pbFormat, copy.pbFormat, src.cbFormat));
    EXPECT_EQ(2u, unk.refs);

    FreeMediaType(copy);
    EXPECT_EQ(1u, unk.refs);
    src.pUnk = nullptr;
    FreeMediaType(src);
}

}  // namespace
