// The device list against the virtual deck: which decks are listed, under
// which index, with which name and type.
#include <edevdefs.h>
#include <uuids.h>

#include "com/commoniker.h"
#include "com/comobject.h"
#include "media/devicedrivers.h"
#include "testsupport/decktest.h"
#include "testsupport/enginetest.h"

using namespace enginetest;

namespace {

class DeviceListTest : public EngineTest {};

// A device whose property store holds no name.
class NamelessMoniker final : public ComObject<IMoniker> {
public:
    explicit NamelessMoniker(IMoniker* inner) : m_inner(inner) {}
    STDMETHODIMP BindToObject(IBindCtx* pbc, IMoniker* left, REFIID riid, void** ppv) override {
        return m_inner->BindToObject(pbc, left, riid, ppv);
    }
    STDMETHODIMP BindToStorage(IBindCtx*, IMoniker*, REFIID riid, void** ppv) override {
        ComPtr<IPropertyBag> bag;
        CreateMemoryPropertyBag(bag.ReleaseAndGetAddressOf());
        return bag->QueryInterface(riid, ppv);
    }

private:
    ComPtr<IMoniker> m_inner;
};

ComPtr<IMoniker> g_nameless;

HRESULT ListNameless(std::vector<ComPtr<IMoniker>>* monikers) {
    if (g_nameless) monikers->push_back(g_nameless);
    return S_OK;
}

}  // namespace

TEST_F(DeviceListTest, SupportedDecksAreNumberedInOrderSkippingOthers) {
    decktest::Configure(
        "First=pal; Other=pal,signal=5000; Second=ntsc,signal=5039; Third=pal,signal=5041");
    CDeviceList list;
    EXPECT_EQ(0, list.GetCount());
    EXPECT_EQ(-1, list.GetLastIndex());
    ASSERT_TRUE(list.Enumerate());
    ASSERT_EQ(3, list.GetCount());
    EXPECT_EQ(2, list.GetLastIndex());

    const char* names[] = {"First", "Second", "Third"};
    const char* types[] = {"720 x 576 DV PAL", "720 x 480 DV NTSC", "720 x 576 DV PAL"};
    const int standards[] = {1, 0, 1};
    for (int i = 0; i < 3; ++i) {
        std::string name, type;
        int standard = -7;
        EXPECT_TRUE(list.GetFriendlyName(i, name));
        EXPECT_EQ(names[i], name);
        EXPECT_TRUE(list.GetDeviceType(i, type, &standard));
        EXPECT_EQ(types[i], type);
        EXPECT_EQ(standards[i], standard);
        EXPECT_TRUE(CDeviceList::IsSupportedDvDevice(list.GetMoniker(i)));
    }
    // Scanning again gives the same list, not a longer one.
    ASSERT_TRUE(list.Enumerate());
    EXPECT_EQ(3, list.GetCount());
}

TEST_F(DeviceListTest, IndexesOutsideTheListChangeNothing) {
    decktest::Configure("Deck=pal");
    CDeviceList list(true);
    ASSERT_EQ(1, list.GetCount());
    EXPECT_EQ(nullptr, list.GetMoniker(-1));
    EXPECT_EQ(nullptr, list.GetMoniker(1));
    std::string text = "before";
    int standard = 5;
    EXPECT_FALSE(list.GetDeviceType(1, text, &standard));
    EXPECT_FALSE(list.GetDeviceType(-1, text, &standard));
    EXPECT_FALSE(list.GetFriendlyName(1, text));
    EXPECT_EQ("before", text);
    EXPECT_EQ(5, standard);
    EXPECT_EQ(1, list.GetCount());
    list.Clear();
    EXPECT_EQ(0, list.GetCount());
    EXPECT_EQ(nullptr, list.GetMoniker(0));
}

TEST_F(DeviceListTest, NoDevicesGivesAnEmptyList) {
    decktest::Configure("Odd=pal,signal=5000");
    CDeviceList list(true);
    EXPECT_FALSE(list.Enumerate());
    EXPECT_EQ(0, list.GetCount());
}

TEST_F(DeviceListTest, AVanishedDeviceIsUnknownTypeAndNoLongerSupported) {
    decktest::Configure("Deck=ntsc");
    CDeviceList list(true);
    ASSERT_EQ(1, list.GetCount());
    ASSERT_EQ(S_OK, VirtualDeckUnplug(L"Deck"));
    std::string type;
    int standard = 1;
    EXPECT_FALSE(list.GetDeviceType(0, type, &standard));
    EXPECT_EQ("Unknown Device Type", type);
    EXPECT_EQ(1, standard);  // left as it was
    EXPECT_FALSE(CDeviceList::IsSupportedDvDevice(list.GetMoniker(0)));
    EXPECT_FALSE(CDeviceList::IsSupportedDvDevice(NULL));
    // The entry stays until the list is scanned again.
    EXPECT_EQ(1, list.GetCount());
    EXPECT_FALSE(list.Enumerate());
}

TEST_F(DeviceListTest, ADeviceWithoutANameIsListedAsUnknownDevice) {
    decktest::Configure("Deck=pal");
    std::vector<ComPtr<IMoniker>> decks = decktest::ListDevices();
    ASSERT_EQ(1u, decks.size());
    g_nameless = ComPtr<IMoniker>::Adopt(new NamelessMoniker(decks[0].Get()));
    MediaRegisterDeviceDriver(CLSID_VideoInputDeviceCategory, &ListNameless);
    CDeviceList list(true);
    MediaUnregisterDeviceDriver(CLSID_VideoInputDeviceCategory, &ListNameless);
    g_nameless = nullptr;
    ASSERT_EQ(2, list.GetCount());
    std::string name;
    EXPECT_TRUE(list.GetFriendlyName(1, name));
    EXPECT_EQ("Unknown Device", name);
    EXPECT_TRUE(list.GetFriendlyName(0, name));
    EXPECT_EQ("Deck", name);
}

TEST_F(DeviceListTest, LongNamesAreCutWithoutSplittingACharacter) {
    // 130 two-byte characters: 260 bytes, one too many with the terminator.
    std::string longName;
    for (int i = 0; i < 130; ++i) longName += "\xC3\xA9";
    decktest::Configure(longName + "=pal");
    CDeviceList list(true);
    ASSERT_EQ(1, list.GetCount());
    std::string name;
    EXPECT_TRUE(list.GetFriendlyName(0, name));
    EXPECT_EQ(longName.substr(0, 258), name);
}
