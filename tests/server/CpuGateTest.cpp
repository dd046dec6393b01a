// The gate hands places over in arrival order: a query that gave up its slice queues behind
// the ones already waiting, and a newcomer never takes a place someone waits for.

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

#include "server/CpuGate.h"

namespace {

bool WaitUntil(const std::function<bool()>& condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(CpuGate, PlacesGoToTheWaitersInTheOrderTheyCame) {
    CpuGate gate(1);
    gate.Acquire();
    std::mutex mutex;
    std::vector<int> order;
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&, i] {
            gate.Acquire();
            {
                std::lock_guard lock(mutex);
                order.push_back(i);
            }
            gate.Release();
        });
        ASSERT_TRUE(WaitUntil([&] { return gate.Waiting() == i + 1; }));
    }
    // Giving the place up and asking again puts this thread last in line.
    gate.Release();
    gate.Acquire();
    {
        std::lock_guard lock(mutex);
        order.push_back(3);
    }
    gate.Release();
    for (auto& t : waiters) {
        t.join();
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_FALSE(gate.Contended());
}

TEST(CpuGate, AsManyHoldersAsPlaces) {
    CpuGate gate(2);
    gate.Acquire();
    gate.Acquire();
    std::thread third([&] {
        gate.Acquire();
        gate.Release();
    });
    ASSERT_TRUE(WaitUntil([&] { return gate.Contended(); }));
    gate.Release();
    third.join();
    gate.Release();
    EXPECT_EQ(gate.Waiting(), 0);
}

} // namespace
