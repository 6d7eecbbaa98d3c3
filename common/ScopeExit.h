// Clean-up that runs when a scope is left, by return or by exception: the one
// way this code base undoes or releases on every path. The action must not
// raise (it may run while an exception is on its way); work that can fail,
// such as saving what an interrupted update added, belongs in a catch.
#pragma once

#include <utility>

template <typename Action>
class TScopeExit {
 public:
  explicit TScopeExit(Action A) : action_(std::move(A)) {}
  ~TScopeExit() {
    if (armed_) action_();
  }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;
  // The action is not wanted any more (the work succeeded).
  void Release() { armed_ = false; }

 private:
  Action action_;
  bool armed_ = true;
};
