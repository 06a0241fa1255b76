// System device enumerator over registered device drivers.
#include "com/commoniker.h"
#include "media/devicedrivers.h"
#include "mediatest.h"

namespace {

// A driver with a changing set of devices; binding a device that has gone
// fails.
struct FakeDriver {
    static std::atomic<int> present;  // devices plugged in
    static std::atomic<int> generation;

    static HRESULT List(std::vector<ComPtr<IMoniker>>* out) {
        for (int i = 0; i < present; ++i) {
            int gen = generation;
            std::wstring name = L"Deck " + std::to_wstring(i + 1);
            ComPtr<IMoniker> mk;
            CreateMemoryMoniker(
                name.c_str(),
                [gen](REFIID riid, void** ppv) -> HRESULT {
                    if (gen != generation) return E_FAIL;  // unplugged since
                    auto* f = new TestSource(TestSource::Mode::Stepped);
                    HRESULT hr = f->QueryInterface(riid, ppv);
                    f->Release();
                    return hr;
                },
                mk.ReleaseAndGetAddressOf());
            out->push_back(mk);
        }
        return S_OK;
    }
};
std::atomic<int> FakeDriver::present{0};
std::atomic<int> FakeDriver::generation{0};

class DevEnumTest : public MediaTest {
protected:
    HRESULT Enumerate(IEnumMoniker** ppEnum) {
        ComPtr<ICreateDevEnum> devenum;
        HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_ICreateDevEnum,
                                      reinterpret_cast<void**>(devenum.ReleaseAndGetAddressOf()));
        if (FAILED(hr)) return hr;
        return devenum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, ppEnum, 0);
    }
};

TEST_F(DevEnumTest, NoDeviceGivesSFalseAndNoEnumerator) {
    IEnumMoniker* e = reinterpret_cast<IEnumMoniker*>(1);
    EXPECT_EQ(S_FALSE, Enumerate(&e));
    EXPECT_EQ(nullptr, e);
    MediaRegisterDeviceDriver(CLSID_VideoInputDeviceCategory, FakeDriver::List);
    FakeDriver::present = 0;
    EXPECT_EQ(S_FALSE, Enumerate(&e));
    EXPECT_EQ(nullptr, e);
    MediaUnregisterDeviceDriver(CLSID_VideoInputDeviceCategory, FakeDriver::List);
}

TEST_F(DevEnumTest, MonikersNameTheDevicesAndBindToTheirFiltersUntilTheyGo) {
    MediaRegisterDeviceDriver(CLSID_VideoInputDeviceCategory, FakeDriver::List);
    MediaRegisterDeviceDriver(CLSID_VideoInputDeviceCategory, FakeDriver::List);  // once only
    FakeDriver::present = 2;
    ComPtr<IEnumMoniker> e;
    ASSERT_EQ(S_OK, Enumerate(e.ReleaseAndGetAddressOf()));
    std::vector<ComPtr<IMoniker>> found;
    IMoniker* mk = nullptr;
    ULONG fetched = 0;
    while (e->Next(1, &mk, &fetched) == S_OK && fetched == 1)
        found.push_back(ComPtr<IMoniker>::Adopt(mk));
    ASSERT_EQ(2u, found.size());

    ComPtr<IPropertyBag> bag;
    ASSERT_EQ(S_OK,
              found[1]->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                      reinterpret_cast<void**>(bag.ReleaseAndGetAddressOf())));
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    ASSERT_EQ(S_OK, bag->Read(L"FriendlyName", &v, nullptr));
    EXPECT_EQ(std::wstring(L"Deck 2"), std::wstring(v.bstrVal));
    VariantClear(&v);

    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, BindMoniker(found[0].Get(), 0, IID_IBaseFilter,
                                reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf())));
    EXPECT_TRUE(filter);

    // Unplugged: the old monikers no longer bind; a new scan finds nothing.
    FakeDriver::generation++;
    FakeDriver::present = 0;
    EXPECT_TRUE(
        FAILED(found[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                      reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf()))));
    EXPECT_FALSE(filter);
    EXPECT_EQ(S_FALSE, Enumerate(e.ReleaseAndGetAddressOf()));
    MediaUnregisterDeviceDriver(CLSID_VideoInputDeviceCategory, FakeDriver::List);
}

}  // namespace
