// Work on items ahead of their use: workers prepare items in index order on
// other threads while the calling thread takes each finished item strictly in
// index order. What the caller sees (its texts, its writes, the first item
// that fails) is the same as in a loop on one thread; only the preparing
// overlaps. The memory held by prepared items waiting to be taken is bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// The bytes a run of ordered work may hold unless it says otherwise.
constexpr uint64_t kDefaultWorkBudget = 32ull << 20;

struct TOrderedWork {
  size_t Count = 0;
  // Worker threads; 0 takes one per processor. With 1 or fewer items or
  // threads the work runs on the calling thread, item by item.
  uint32_t Threads = 0;
  // The bytes items may hold between the start of their preparation and the
  // end of their use; an item larger than that is prepared alone.
  uint64_t Budget = kDefaultWorkBudget;
  // What item I holds while prepared (0 for items prepared at use).
  std::function<uint64_t(size_t I)> Cost;
  // Prepares item I on a worker thread. Must not throw.
  std::function<void(size_t I)> Prepare;
  // Uses item I on the calling thread, in order; false stops the run, and
  // items not yet used are left unused.
  std::function<bool(size_t I)> Use;
};

// True when every item was used.
bool RunOrdered(const TOrderedWork& Work);
