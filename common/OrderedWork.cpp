#include "common/OrderedWork.h"

#include <atomic>
#include <memory>
#include <vector>

#include "platform/Platform.h"

bool RunOrdered(const TOrderedWork& Work) {
  const size_t n = Work.Count;
  uint32_t threads = Work.Threads ? Work.Threads : platform::ProcessorCount();
  if (threads > n) threads = static_cast<uint32_t>(n);
  if (threads <= 1) {
    for (size_t i = 0; i < n; ++i) {
      Work.Prepare(i);
      if (!Work.Use(i)) return false;
    }
    return true;
  }

  // The calling thread lets items start in order while the bytes started and
  // not yet used stay within the budget; workers claim the next item and wait
  // until it may start.
  std::unique_ptr<std::atomic<bool>[]> ready(new std::atomic<bool>[n]);
  for (size_t i = 0; i < n; ++i) ready[i] = false;
  std::vector<uint64_t> cost(n);
  for (size_t i = 0; i < n; ++i) cost[i] = Work.Cost ? Work.Cost(i) : 0;
  std::atomic<size_t> next{0}, allowed{0};
  std::atomic<bool> stop{false};
  // A signal is raised only when its side may be waiting: each waiter says
  // so before it looks at its condition once more, so no wake-up is lost, and
  // an item that is ready in time costs no system call (under Wine each one
  // is a round trip to the server, which outweighed a small entry's work).
  platform::Signal readySignal, roomSignal;
  std::atomic<bool> callerWaiting{false};
  std::atomic<uint32_t> workersWaiting{0};
  uint64_t held = 0;
  size_t admitted = 0;
  auto admit = [&] {
    while (admitted < n && (held == 0 || held + cost[admitted] <= Work.Budget)) held += cost[admitted++];
    allowed = admitted;
    if (workersWaiting > 0) roomSignal.Notify();
  };
  auto worker = [&] {
    for (size_t i = next++; i < n && !stop; i = next++) {
      while (i >= allowed && !stop) {
        ++workersWaiting;
        if (i >= allowed && !stop) roomSignal.Wait(1);
        --workersWaiting;
      }
      if (stop) break;
      Work.Prepare(i);
      ready[i] = true;
      if (callerWaiting) readySignal.Notify();
    }
  };
  admit();
  std::vector<std::unique_ptr<platform::Thread>> pool;
  for (uint32_t t = 0; t < threads; ++t) {
    pool.push_back(std::make_unique<platform::Thread>());
    if (!pool.back()->Start(worker)) pool.pop_back();
  }
  bool complete = true;
  for (size_t i = 0; i < n; ++i) {
    if (pool.empty()) {
      Work.Prepare(i);  // no thread could start: prepare here
    } else {
      while (!ready[i]) {
        callerWaiting = true;
        if (!ready[i]) readySignal.Wait(5);
        callerWaiting = false;
      }
    }
    bool go = Work.Use(i);
    held -= cost[i];
    if (!go) {
      complete = false;
      break;
    }
    admit();
  }
  stop = true;
  for (auto& t : pool) t->Join();
  return complete;
}
