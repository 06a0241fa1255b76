// Test interfaces and a live-counted object implementing two of them.
#pragma once

#include <atomic>

#include "com/comobject.h"

DEFINE_GUID(IID_ITestA, 0x6c1f0c51, 0x3e0a, 0x4b43, 0x9d, 0x1e, 0x5a, 0x0b, 0x2c, 0x7e, 0x11, 0x01);
DEFINE_GUID(IID_ITestB, 0x6c1f0c51, 0x3e0a, 0x4b43, 0x9d, 0x1e, 0x5a, 0x0b, 0x2c, 0x7e, 0x11, 0x02);
DEFINE_GUID(IID_ITestUnused, 0x6c1f0c51, 0x3e0a, 0x4b43, 0x9d, 0x1e, 0x5a, 0x0b, 0x2c, 0x7e, 0x11,
            0x03);
// The class the test component registers from a static object.
DEFINE_GUID(CLSID_TestComponent, 0x6c1f0c51, 0x3e0a, 0x4b43, 0x9d, 0x1e, 0x5a, 0x0b, 0x2c, 0x7e,
            0x11, 0x10);

interface ITestA : public IUnknown {
    STDMETHOD_(int, WhoA)() PURE;

protected:
    ~ITestA() = default;
};
interface ITestB : public IUnknown {
    STDMETHOD_(int, WhoB)() PURE;

protected:
    ~ITestB() = default;
};
COM_DECLARE_IID(ITestA);
COM_DECLARE_IID(ITestB);

// Counts the objects alive, so that a test sees when the last Release
// really destroys.
class CTestObject final : public ComObject<ITestA, ITestB> {
public:
    static inline std::atomic<int> s_alive{0};
    CTestObject() { ++s_alive; }
    ~CTestObject() override { --s_alive; }
    STDMETHODIMP_(int) WhoA() override { return 'A'; }
    STDMETHODIMP_(int) WhoB() override { return 'B'; }
};
