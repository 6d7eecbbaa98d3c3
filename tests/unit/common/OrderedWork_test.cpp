#include "common/OrderedWork.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/Platform.h"

// Items are used in order however the workers finish; the bytes of items
// prepared and not yet used stay within the budget, except for one item alone.
TEST(OrderedWork, OrderAndBudget) {
  for (uint32_t threads : {1u, 2u, 3u}) {
    const size_t n = 200;
    std::vector<uint64_t> cost(n);
    for (size_t i = 0; i < n; ++i) cost[i] = i % 17 == 0 ? 1000 : 10 + i % 7;
    std::vector<int> prepared(n, 0);
    std::vector<size_t> used;
    std::atomic<uint64_t> held{0}, peak{0};
    std::atomic<int> alone{0};
    TOrderedWork w;
    w.Count = n;
    w.Threads = threads;
    w.Budget = 100;
    w.Cost = [&](size_t i) { return cost[i]; };
    w.Prepare = [&](size_t i) {
      uint64_t now = held += cost[i];
      if (cost[i] > 100 && now != cost[i]) ++alone;  // a large item shares the budget with nothing
      // Small items together never exceed the budget (a large one is alone).
      uint64_t p = peak;
      while (cost[i] <= 100 && now > p && !peak.compare_exchange_weak(p, now)) {
      }
      if (i % 3 == 0) platform::Sleep(1);  // some items finish late
      prepared[i] = 1;
    };
    w.Use = [&](size_t i) {
      EXPECT_EQ(prepared[i], 1);
      held -= cost[i];
      used.push_back(i);
      return true;
    };
    EXPECT_TRUE(RunOrdered(w));
    ASSERT_EQ(used.size(), n);
    EXPECT_TRUE(std::is_sorted(used.begin(), used.end()));
    EXPECT_LE(peak.load(), 100u) << threads;
    EXPECT_GT(peak.load(), 0u) << threads;
    EXPECT_EQ(alone.load(), 0) << threads;
  }
}

TEST(OrderedWork, StopsWhereUseSaysSo) {
  for (uint32_t threads : {1u, 2u}) {
    std::vector<size_t> used;
    TOrderedWork w;
    w.Count = 50;
    w.Threads = threads;
    w.Prepare = [](size_t) {};
    w.Use = [&](size_t i) {
      used.push_back(i);
      return i < 9;
    };
    EXPECT_FALSE(RunOrdered(w));
    EXPECT_EQ(used.size(), 10u);
    EXPECT_EQ(used.back(), 9u);
  }
  TOrderedWork none;
  none.Prepare = [](size_t) {};
  none.Use = [](size_t) { return false; };
  EXPECT_TRUE(RunOrdered(none));
}
