#include "common/FunctionRef.h"

#include <gtest/gtest.h>

#include <string>

namespace {
int Twice(TFunctionRef<int(int)> F) { return F(F(1)); }
// Hands its callback on, as an override hands its caller's to the base.
int Forward(TFunctionRef<int(int)> F) { return Twice(F); }
bool Given(TFunctionRef<void()> F) { return static_cast<bool>(F); }
}  // namespace

// A callback reaches the caller's own lambda, state and all, also when it is
// handed on; an empty one (default or nullptr) tests false.
TEST(FunctionRef, CallsTheCallersLambda) {
  int calls = 0;
  auto add = [&calls](int v) {
    ++calls;
    return v + 10;
  };
  EXPECT_EQ(Twice(add), 21);
  EXPECT_EQ(Forward(add), 21);
  EXPECT_EQ(calls, 4);
  std::string seen;
  auto collect = [&seen](const std::string& s) { seen += s; };
  TFunctionRef<void(const std::string&)> append = collect;
  append("a");
  append(std::string("b"));
  EXPECT_EQ(seen, "ab");
  EXPECT_TRUE(Given([] {}));
  EXPECT_FALSE(Given({}));
  EXPECT_FALSE(Given(nullptr));
}
