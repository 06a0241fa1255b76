// Fixture and helpers of the media framework's tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "testfilters.h"

class MediaTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }

    ComPtr<IGraphBuilder> NewGraph() {
        ComPtr<IGraphBuilder> graph;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IGraphBuilder,
                                         reinterpret_cast<void**>(graph.ReleaseAndGetAddressOf())));
        return graph;
    }
};

// Waits up to 10 s for the condition.
inline bool WaitFor(const std::function<bool()>& cond) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

template <class T>
ComPtr<T> Adopt(T* p) {
    return ComPtr<T>::Adopt(p);
}
