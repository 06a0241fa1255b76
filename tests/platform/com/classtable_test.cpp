#include <gtest/gtest.h>
#include <objbase.h>

#include <atomic>
#include <thread>
#include <vector>

#include "com/comclasstable.h"
#include "testobjects.h"

int TestUserMarker();

namespace {

DEFINE_GUID(CLSID_TestLocal, 0x6c1f0c51, 0x3e0a, 0x4b43, 0x9d, 0x1e, 0x5a, 0x0b, 0x2c, 0x7e, 0x11,
            0x20);
DEFINE_GUID(CLSID_TestNested, 0x6c1f0c51, 0x3e0a, 0x4b43, 0x9d, 0x1e, 0x5a, 0x0b, 0x2c, 0x7e, 0x11,
            0x21);
DEFINE_GUID(CLSID_TestFailing, 0x6c1f0c51, 0x3e0a, 0x4b43, 0x9d, 0x1e, 0x5a, 0x0b, 0x2c, 0x7e, 0x11,
            0x22);

class ClassTable : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
    void TearDown() override {
        ComUnregisterClass(CLSID_TestLocal);
        ComUnregisterClass(CLSID_TestNested);
        ComUnregisterClass(CLSID_TestFailing);
        CoUninitialize();
        EXPECT_EQ(CTestObject::s_alive, 0);
    }
};

HRESULT CreateNested(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    // A creation function that itself creates another class.
    return CoCreateInstance(CLSID_TestComponent, pUnkOuter, CLSCTX_INPROC_SERVER, riid, ppv);
}

HRESULT CreateFailing(IUnknown*, REFIID, void** ppv) {
    *ppv = reinterpret_cast<void*>(0x1);  // garbage left behind
    return E_OUTOFMEMORY;
}

}  // namespace

TEST_F(ClassTable, StaticRegistrationInComponentLibrarySurvivesLinking) {
    EXPECT_EQ(TestUserMarker(), 1);
    ITestB* pB = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestComponent, nullptr, CLSCTX_INPROC, IID_ITestB,
                               reinterpret_cast<void**>(&pB)),
              S_OK);
    EXPECT_EQ(pB->WhoB(), 'B');
    EXPECT_EQ(CTestObject::s_alive, 1);
    EXPECT_EQ(pB->Release(), 0u);
}

TEST_F(ClassTable, UnknownClassContextAndArguments) {
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_TestLocal, nullptr, CLSCTX_INPROC_SERVER, IID_ITestA, &pv),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(pv, nullptr);

    EXPECT_EQ(
        CoCreateInstance(CLSID_TestComponent, nullptr, CLSCTX_INPROC_SERVER, IID_ITestA, nullptr),
        E_POINTER);

    // Every class here is an in-process server; a handler-only request
    // finds none.
    pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestComponent, nullptr, CLSCTX_INPROC_HANDLER, IID_ITestA, &pv),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(pv, nullptr);

    pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestComponent, nullptr, CLSCTX_INPROC_SERVER, IID_ITestUnused, &pv),
        E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);

    pv = reinterpret_cast<void*>(1);
    ComPtr<IUnknown> outer;
    ASSERT_EQ(CoCreateInstance(CLSID_TestComponent, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(outer.ReleaseAndGetAddressOf())),
              S_OK);
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestComponent, outer.Get(), CLSCTX_INPROC_SERVER, IID_IUnknown, &pv),
        CLASS_E_NOAGGREGATION);
    EXPECT_EQ(pv, nullptr);
}

TEST_F(ClassTable, RegisterReplaceUnregister) {
    ComRegisterClass(CLSID_TestLocal, &CreateFailing);
    void* pv = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TestLocal, nullptr, CLSCTX_INPROC_SERVER, IID_ITestA, &pv),
              E_OUTOFMEMORY);
    EXPECT_EQ(pv, nullptr) << "a failed creation never leaves a pointer behind";

    ComRegisterClass(CLSID_TestLocal, &ComCreateInstance<CTestObject>);
    ASSERT_EQ(CoCreateInstance(CLSID_TestLocal, nullptr, CLSCTX_INPROC_SERVER, IID_ITestA, &pv),
              S_OK);
    static_cast<ITestA*>(pv)->Release();

    ComUnregisterClass(CLSID_TestLocal);
    EXPECT_EQ(CoCreateInstance(CLSID_TestLocal, nullptr, CLSCTX_INPROC_SERVER, IID_ITestA, &pv),
              REGDB_E_CLASSNOTREG);
    ComUnregisterClass(CLSID_TestLocal);  // unknown: nothing happens
}

TEST_F(ClassTable, CreationFunctionMayCreateOtherClasses) {
    ComRegisterClass(CLSID_TestNested, &CreateNested);
    ComPtr<ITestA> a;
    ASSERT_EQ(CoCreateInstance(CLSID_TestNested, nullptr, CLSCTX_INPROC_SERVER, IID_ITestA,
                               reinterpret_cast<void**>(a.ReleaseAndGetAddressOf())),
              S_OK);
    EXPECT_EQ(a->WhoA(), 'A');
}

TEST_F(ClassTable, ConcurrentCreationWhileRegistering) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> creators;
    std::atomic<int> created{0};
    for (int i = 0; i < 3; ++i) {
        creators.emplace_back([&] {
            CoInitialize(nullptr);
            while (!stop) {
                for (REFCLSID clsid : {CLSID_TestComponent, CLSID_TestLocal}) {
                    ComPtr<ITestA> a;
                    HRESULT hr =
                        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITestA,
                                         reinterpret_cast<void**>(a.ReleaseAndGetAddressOf()));
                    if (hr == S_OK)
                        ++created;
                    else
                        EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
                }
            }
            CoUninitialize();
        });
    }
    for (int i = 0; i < 2000; ++i) {
        ComRegisterClass(CLSID_TestLocal, &ComCreateInstance<CTestObject>);
        ComUnregisterClass(CLSID_TestLocal);
    }
    // On a loaded machine the creators may not have run yet: the always
    // registered class must still be creatable by them once they do.
    while (created == 0) std::this_thread::yield();
    stop = true;
    for (std::thread& t : creators) t.join();
    EXPECT_GT(created, 0);
}
