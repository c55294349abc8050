// The engine lock with real threads: recursion for the owner, strict
// arrival order for the waiters.
#include "engine/core/engine_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

void WaitForWaiters(int count) {
  while (EngineLockWaiters() < count) std::this_thread::yield();
}

TEST(EngineLockTest, OwnerReentersWithoutBlocking) {
  EnterEngineLock();
  EnterEngineLock();
  EnterEngineLock();
  EXPECT_EQ(EngineLockDepth(), 3);
  LeaveEngineLock();
  LeaveEngineLock();
  EXPECT_EQ(EngineLockDepth(), 1);
  LeaveEngineLock();
  EXPECT_EQ(EngineLockDepth(), 0);
}

TEST(EngineLockTest, AnotherThreadWaitsUntilTheOwnerLeavesEntirely) {
  EnterEngineLock();
  EnterEngineLock();
  std::atomic<bool> entered{false};
  std::thread other([&] {
    EnterEngineLock();
    entered = true;
    LeaveEngineLock();
  });
  WaitForWaiters(1);
  LeaveEngineLock();
  EXPECT_FALSE(entered.load());  // still held once
  LeaveEngineLock();
  other.join();
  EXPECT_TRUE(entered.load());
}

TEST(EngineLockTest, WaitersAreServedInArrivalOrder) {
  constexpr int kThreads = 6;
  EnterEngineLock();
  std::mutex order_lock;
  std::vector<int> order;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; i++) {
    threads.emplace_back([&, i] {
      EnterEngineLock();
      EnterEngineLock();  // recursion inside a turn
      {
        std::lock_guard<std::mutex> hold(order_lock);
        order.push_back(i);
      }
      LeaveEngineLock();
      LeaveEngineLock();
    });
    WaitForWaiters(i + 1);  // thread i is queued before thread i + 1 arrives
  }
  LeaveEngineLock();
  for (auto& t : threads) t.join();
  std::vector<int> expected;
  for (int i = 0; i < kThreads; i++) expected.push_back(i);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(EngineLockWaiters(), 0);
}

TEST(EngineLockTest, LeavingWithoutHoldingChangesNothing) {
  LeaveEngineLock();
  EXPECT_EQ(EngineLockDepth(), 0);
  EnterEngineLock();
  EXPECT_EQ(EngineLockDepth(), 1);
  LeaveEngineLock();
}

}  // namespace
