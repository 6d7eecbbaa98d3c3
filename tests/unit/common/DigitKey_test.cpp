#include "common/DigitKey.h"

#include <gtest/gtest.h>

// Every byte value survives a round trip, since both directions work mod 256.
TEST(DigitKey, RoundTripOverAllByteValues) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  const std::string key = "9081726354";
  std::string scrambled = AddDigitKey(key, all);
  ASSERT_EQ(scrambled.size(), all.size());
  EXPECT_NE(scrambled, all);
  EXPECT_EQ(SubDigitKey(key, scrambled), all);
}

// Byte i moves by key digit i, the key starting over after its last digit;
// 255 + 9 wraps to 8.
TEST(DigitKey, ShiftsCyclicallyModulo256) {
  EXPECT_EQ(AddDigitKey("123", "AAAAA"), "BCDBC");
  EXPECT_EQ(AddDigitKey("9", "\xff"), "\x08");
  EXPECT_EQ(SubDigitKey("9", "\x08"), "\xff");
  EXPECT_EQ(AddDigitKey("123", ""), "");
}
