#include "com/comobject.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "testobjects.h"

namespace {

class ComObjectTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(CTestObject::s_alive, 0) << "an object leaked"; }
};

}  // namespace

TEST_F(ComObjectTest, ReferenceCountsAndDestructionAtZero) {
    ITestA* a = new CTestObject;
    EXPECT_EQ(CTestObject::s_alive, 1);
    EXPECT_EQ(a->AddRef(), 2u);

    ITestB* b = nullptr;
    ASSERT_EQ(a->QueryInterface(IID_ITestB, reinterpret_cast<void**>(&b)), S_OK);
    EXPECT_EQ(b->WhoB(), 'B');

    EXPECT_EQ(a->Release(), 2u);
    EXPECT_EQ(b->Release(), 1u);
    EXPECT_EQ(CTestObject::s_alive, 1);
    EXPECT_EQ(a->Release(), 0u);
    EXPECT_EQ(CTestObject::s_alive, 0);
}

TEST_F(ComObjectTest, QueryInterfaceIdentityAndFailure) {
    ComPtr<ITestA> a = ComPtr<ITestA>::Adopt(new CTestObject);
    ComPtr<ITestB> b;
    ASSERT_EQ(a.As(&b), S_OK);

    // IUnknown is the same pointer whichever interface it is asked through.
    ComPtr<IUnknown> fromA, fromB;
    ASSERT_EQ(a.As(&fromA), S_OK);
    ASSERT_EQ(b.As(&fromB), S_OK);
    EXPECT_EQ(fromA.Get(), fromB.Get());

    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(a->QueryInterface(IID_ITestUnused, &pv), E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(a->QueryInterface(IID_ITestA, nullptr), E_POINTER);

    // Four references; the failed queries took none.
    EXPECT_EQ(a->AddRef(), 5u);
    a->Release();
}

TEST_F(ComObjectTest, ComPtrHoldsExactlyOneReference) {
    ITestA* raw = new CTestObject;  // count 1, ours
    {
        ComPtr<ITestA> p(raw);  // AddRef
        ComPtr<ITestA> moved = std::move(ComPtr<ITestA>(p));
        ITestA* out = nullptr;
        ASSERT_EQ(moved.CopyTo(&out), S_OK);
        ComPtr<ITestA> adopted = ComPtr<ITestA>::Adopt(out);  // no AddRef
        EXPECT_EQ(raw->AddRef(), 5u);                         // ours, p, moved, adopted, this one
        raw->Release();
        adopted.Detach()->Release();
        p.ReleaseAndGetAddressOf();
        EXPECT_EQ(raw->AddRef(), 3u);  // ours, moved, this one
        raw->Release();
    }
    EXPECT_EQ(raw->Release(), 0u);
}

TEST_F(ComObjectTest, ReferencesFromManyThreads) {
    ITestA* a = new CTestObject;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([a] {
            for (int i = 0; i < 20000; ++i) {
                ComPtr<ITestB> b;
                ASSERT_EQ(ComPtr<ITestA>(a).As(&b), S_OK);
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(a->Release(), 0u);
}

TEST_F(ComObjectTest, LastReleaseOnAnotherThreadDestroys) {
    ComPtr<ITestA> a = ComPtr<ITestA>::Adopt(new CTestObject);
    std::thread t([p = std::move(a)]() mutable { p = nullptr; });
    t.join();
    EXPECT_EQ(CTestObject::s_alive, 0);
}
