#include "gamedata/LineEncryption.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "common/DigitKey.h"
#include "common/Exceptions.h"
#include "common/Strings.h"

// Keys: the digits 1 to 9 of sin/cos of the seed in extended precision,
// 15 significant digits (sin 2 = 0.909297426825682 gives 99297426825682).
TEST(LineEncryption, Keys) {
  struct Row {
    uint8_t seed;
    const char* a;
    const char* b;
  };
  const Row rows[] = {
      {2, "99297426825682", "416146836547142"}, {3, "14112859867", "9899924966445"},
      {4, "7568249537928", "65364362863612"},   {5, "958924274663138", "283662185463226"},
      {6, "279415498198926", "961728665366"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(KeyA(r.seed), r.a) << int(r.seed);
    EXPECT_EQ(KeyB(r.seed), r.b) << int(r.seed);
  }
  EXPECT_EQ(KeyDigits(0.5L), "5");
  EXPECT_EQ(KeyDigits(0.0L), "");
#ifndef _WIN32
  // The extended-precision text against the C library's, for every seed.
  for (int seed = 0; seed < 256; ++seed) {
    for (long double v : {std::sin(static_cast<long double>(seed)), std::cos(static_cast<long double>(seed))}) {
      char extended[64];
      std::snprintf(extended, sizeof(extended), "%.15Lg", v);
      std::string expected = extended;
      if (expected.find('.') == std::string::npos && expected.find('e') == std::string::npos) expected += ".0";
      if (expected.find('e') != std::string::npos) continue;  // exponent forms differ in spelling only
      EXPECT_EQ(FloatToText(v), expected) << seed;
    }
  }
#endif
}

// Shifting: keys wrap to their first digit, bytes wrap modulo 256, the
// reversed step reads backwards, and the forward step is the digit-key
// scrambling.
TEST(LineEncryption, ShiftSteps) {
  EXPECT_EQ(Shift("5", "\xfe", false), "\x03");
  EXPECT_EQ(Unshift("5", "\x03", false), "\xfe");
  EXPECT_EQ(Shift("12", "aaaaa", false), "bcbcb");
  EXPECT_EQ(Shift("1", "abc", true), "dcb");
  EXPECT_EQ(Unshift("1", "dcb", true), "abc");
  EXPECT_EQ(Shift("907", "text", false), AddDigitKey("907", "text"));
}

// Decrypt undoes Encrypt for every byte value; one character is only shifted.
TEST(LineEncryption, RoundTrips) {
  TQuarnEncryptionType q;
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (uint8_t a = 2; a <= 6; ++a) {
    for (uint8_t b = 2; b <= 6; ++b) {
      q.SeedA = a;
      q.SeedB = b;
      std::string enc = q.Encrypt(all);
      EXPECT_EQ(enc.size(), all.size());
      EXPECT_NE(enc, all);
      EXPECT_EQ(q.Decrypt(enc), all);
    }
  }
  q.SeedA = 2;
  q.SeedB = 3;
  EXPECT_EQ(q.Encrypt(""), "");
  EXPECT_EQ(q.Encrypt("A"), std::string(1, static_cast<char>('A' + 9 + 9)));  // KeyA(2) and KeyB(3) start with 9
  q.SeedA = 0;                                                                // sin 0 = 0: no key digit
  EXPECT_THROW(q.Encrypt("x"), ESetupError);
}
