#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "com/commoniker.h"
#include "testobjects.h"

namespace {

// A device that can be unplugged: binding creates a new object for it
// while it is present and fails afterwards.
struct FakeDevice {
    std::atomic<bool> present{true};
    HRESULT Bind(REFIID riid, void** ppv) {
        if (!present) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        return ComCreateInstance<CTestObject>(nullptr, riid, ppv);
    }
};

// Counts the monikers alive through the lifetime of their bind functions.
struct Tracker {
    static inline std::atomic<int> s_alive{0};
    Tracker() { ++s_alive; }
    Tracker(const Tracker&) { ++s_alive; }
    ~Tracker() { --s_alive; }
};

ComPtr<IMoniker> MakeMoniker(LPCOLESTR name, std::shared_ptr<FakeDevice> device) {
    ComPtr<IMoniker> mk;
    EXPECT_EQ(
        CreateMemoryMoniker(
            name,
            [device, t = Tracker()](REFIID riid, void** ppv) { return device->Bind(riid, ppv); },
            mk.ReleaseAndGetAddressOf()),
        S_OK);
    return mk;
}

std::wstring FriendlyName(IMoniker* mk) {
    ComPtr<IPropertyBag> bag;
    EXPECT_EQ(mk->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                reinterpret_cast<void**>(bag.ReleaseAndGetAddressOf())),
              S_OK);
    if (!bag) return L"";
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    EXPECT_EQ(bag->Read(L"FriendlyName", &v, nullptr), S_OK);
    std::wstring name;
    if (v.vt == VT_BSTR) name.assign(v.bstrVal, SysStringLen(v.bstrVal));
    VariantClear(&v);
    return name;
}

class Moniker : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override {
        CoUninitialize();
        EXPECT_EQ(CTestObject::s_alive, 0) << "a bound object leaked";
        EXPECT_EQ(Tracker::s_alive, 0) << "a moniker leaked";
    }
};

}  // namespace

TEST_F(Moniker, BindsWhilePresentAndFailsOnceGone) {
    auto device = std::make_shared<FakeDevice>();
    ComPtr<IMoniker> mk = MakeMoniker(L"Deck", device);

    ComPtr<ITestA> a;
    ASSERT_EQ(mk->BindToObject(nullptr, nullptr, IID_ITestA,
                               reinterpret_cast<void**>(a.ReleaseAndGetAddressOf())),
              S_OK);
    EXPECT_EQ(a->WhoA(), 'A');

    ComPtr<ITestB> b;
    ASSERT_EQ(
        BindMoniker(mk.Get(), 0, IID_ITestB, reinterpret_cast<void**>(b.ReleaseAndGetAddressOf())),
        S_OK);
    EXPECT_EQ(b->WhoB(), 'B');
    EXPECT_EQ(CTestObject::s_alive, 2) << "each bind creates the device's object";

    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(mk->BindToObject(nullptr, nullptr, IID_ITestUnused, &pv), E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);

    device->present = false;
    pv = reinterpret_cast<void*>(1);
    EXPECT_TRUE(FAILED(mk->BindToObject(nullptr, nullptr, IID_ITestA, &pv)));
    EXPECT_EQ(pv, nullptr);
    pv = reinterpret_cast<void*>(1);
    EXPECT_TRUE(FAILED(BindMoniker(mk.Get(), 0, IID_ITestA, &pv)));
    EXPECT_EQ(pv, nullptr);

    // Objects bound before the loss stay usable until released, and the
    // name can still be read.
    EXPECT_EQ(a->WhoA(), 'A');
    EXPECT_EQ(FriendlyName(mk.Get()), L"Deck");

    EXPECT_EQ(BindMoniker(nullptr, 0, IID_ITestA, &pv), E_INVALIDARG);
    EXPECT_EQ(BindMoniker(mk.Get(), 0, IID_ITestA, nullptr), E_POINTER);
    EXPECT_EQ(mk->BindToObject(nullptr, nullptr, IID_ITestA, nullptr), E_POINTER);
}

TEST_F(Moniker, PropertyBagReadsFriendlyNameAsWideBstr) {
    const wchar_t* name = L"Cam\u00e9ra \u0414\u0412 \U0001F3A5";
    ComPtr<IMoniker> mk = MakeMoniker(name, std::make_shared<FakeDevice>());
    EXPECT_EQ(FriendlyName(mk.Get()), name);

    ComPtr<IPropertyBag> bag;
    ASSERT_EQ(mk->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                reinterpret_cast<void**>(bag.ReleaseAndGetAddressOf())),
              S_OK);
    VARIANT v;
    VariantInit(&v);
    // VT_EMPTY asks for the stored type.
    ASSERT_EQ(bag->Read(L"FriendlyName", &v, nullptr), S_OK);
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(v.bstrVal), std::wcslen(name));
    VariantClear(&v);

    v.vt = VT_BSTR;
    EXPECT_EQ(bag->Read(L"DevicePath", &v, nullptr), E_INVALIDARG) << "no such value";
    EXPECT_EQ(v.vt, VT_BSTR) << "a failed read leaves the variant alone";
    v.vt = VT_I4;
    EXPECT_EQ(bag->Read(L"FriendlyName", &v, nullptr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bag->Read(L"FriendlyName", nullptr, nullptr), E_POINTER);
    VariantInit(&v);

    // A string written is copied in, not kept.
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(L"second");
    ASSERT_EQ(bag->Write(L"Note", &v), S_OK);
    VariantClear(&v);
    ASSERT_EQ(bag->Read(L"Note", &v, nullptr), S_OK);
    EXPECT_STREQ(v.bstrVal, L"second");
    VariantClear(&v);

    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(mk->BindToStorage(nullptr, nullptr, IID_ITestA, &pv), E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);
}

TEST_F(Moniker, EnumeratorNextSkipResetClone) {
    auto device = std::make_shared<FakeDevice>();
    std::vector<ComPtr<IMoniker>> list = {MakeMoniker(L"one", device), MakeMoniker(L"two", device),
                                          MakeMoniker(L"three", device)};
    ComPtr<IEnumMoniker> e;
    ASSERT_EQ(CreateMonikerEnumerator(list, e.ReleaseAndGetAddressOf()), S_OK);
    list.clear();  // the enumerator holds its own references

    // One at a time, as the device scan fetches them.
    std::vector<std::wstring> names;
    IMoniker* mk = nullptr;
    ULONG fetched = 0;
    while (e->Next(1, &mk, &fetched) == S_OK && fetched == 1) {
        names.push_back(FriendlyName(mk));
        mk->Release();
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"one", L"two", L"three"}));
    EXPECT_EQ(fetched, 0u);

    // Several at once: S_FALSE with the count when the list ends first.
    ASSERT_EQ(e->Reset(), S_OK);
    IMoniker* batch[4] = {};
    EXPECT_EQ(e->Next(4, batch, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 3u);
    for (ULONG i = 0; i < fetched; ++i) batch[i]->Release();
    EXPECT_EQ(e->Next(2, batch, nullptr), E_INVALIDARG);

    // Skip, then a clone continues from the same place on its own.
    ASSERT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(1), S_OK);
    ComPtr<IEnumMoniker> c;
    ASSERT_EQ(e->Clone(c.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(c->Next(1, &mk, nullptr), S_OK);
    EXPECT_EQ(FriendlyName(mk), L"two");
    mk->Release();
    ASSERT_EQ(e->Next(1, &mk, nullptr), S_OK);
    EXPECT_EQ(FriendlyName(mk), L"two") << "the clone's Next did not move the original";
    mk->Release();
    EXPECT_EQ(e->Skip(5), S_FALSE);
    mk = reinterpret_cast<IMoniker*>(1);
    EXPECT_EQ(e->Next(1, &mk, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(Tracker::s_alive, 3);
    e = nullptr;
    EXPECT_EQ(Tracker::s_alive, 3) << "the clone still holds the list";
    c = nullptr;
    EXPECT_EQ(Tracker::s_alive, 0);
}

TEST_F(Moniker, EmptyEnumeratorAndMonikerWithoutBinder) {
    ComPtr<IEnumMoniker> e;
    ASSERT_EQ(CreateMonikerEnumerator({}, e.ReleaseAndGetAddressOf()), S_OK);
    IMoniker* mk = nullptr;
    ULONG fetched = 7;
    EXPECT_EQ(e->Next(1, &mk, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    ComPtr<IMoniker> m;
    ASSERT_EQ(CreateMemoryMoniker(L"no binder", {}, m.ReleaseAndGetAddressOf()), S_OK);
    void* pv = nullptr;
    EXPECT_EQ(m->BindToObject(nullptr, nullptr, IID_ITestA, &pv), MK_E_NOOBJECT);
}

TEST_F(Moniker, BindFromSeveralThreadsEachInItsApartment) {
    auto device = std::make_shared<FakeDevice>();
    ComPtr<IMoniker> mk = MakeMoniker(L"Deck", device);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            CoInitialize(nullptr);
            for (int i = 0; i < 500; ++i) {
                ComPtr<ITestA> a;
                HRESULT hr = BindMoniker(mk.Get(), 0, IID_ITestA,
                                         reinterpret_cast<void**>(a.ReleaseAndGetAddressOf()));
                EXPECT_EQ(SUCCEEDED(hr), a != nullptr);
                FriendlyName(mk.Get());
            }
            CoUninitialize();
        });
    }
    device->present = false;  // unplugged while the threads bind
    for (std::thread& t : threads) t.join();
}
