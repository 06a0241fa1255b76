#include <gtest/gtest.h>
#include <objbase.h>

#include <thread>

#include "testobjects.h"

namespace {

HRESULT TryCreate() {
    void* pv = reinterpret_cast<void*>(1);
    HRESULT hr =
        CoCreateInstance(CLSID_TestComponent, nullptr, CLSCTX_INPROC_SERVER, IID_ITestA, &pv);
    if (SUCCEEDED(hr))
        static_cast<ITestA*>(pv)->Release();
    else
        EXPECT_EQ(pv, nullptr);
    return hr;
}

}  // namespace

TEST(Apartment, CountsCallsPerThreadAndBalances) {
    EXPECT_EQ(TryCreate(), CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(TryCreate(), S_OK);

    // Another thread has its own count.
    std::thread other([] {
        EXPECT_EQ(TryCreate(), CO_E_NOTINITIALIZED);
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(TryCreate(), S_OK);
        CoUninitialize();
        EXPECT_EQ(TryCreate(), CO_E_NOTINITIALIZED);
    });
    other.join();

    CoUninitialize();
    EXPECT_EQ(TryCreate(), S_OK) << "one CoInitialize is still unbalanced";
    CoUninitialize();
    EXPECT_EQ(TryCreate(), CO_E_NOTINITIALIZED);

    // Extra calls are harmless and do not go below zero.
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

TEST(Apartment, ReservedArgumentMustBeNull) {
    int reserved = 0;
    EXPECT_EQ(CoInitialize(&reserved), E_INVALIDARG);
    EXPECT_EQ(TryCreate(), CO_E_NOTINITIALIZED);
}

TEST(Apartment, UninitialiseOnFreshThreadIsHarmless) {
    std::thread([] {
        CoUninitialize();
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        CoUninitialize();
    }).join();
}
