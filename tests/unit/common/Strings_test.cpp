#include "common/Strings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "common/RegistryRoots.h"

// FormatSize at and around the unit boundaries.
TEST(FormatSize, UnitBoundaries) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0.00 Bytes"},
      {1023, "1023.00 Bytes"},
      {1024, "1.00 KB"},
      {45959, "44.88 KB"},
      {1047552, "1023.00 KB"},
      {1048576, "1.00 MB"},
      {1073741824, "1.00 GB"},
      {2199023255552ull, "2048.00 GB"},
      {1536, "1.50 KB"},
      // Past 99,999 of a unit, seven significant digits are kept.
      {123456ull << 30, "123456.00 GB"},
      {(123456ull << 30) + (7ull << 27), "123456.90 GB"},
      {(1234567ull << 30) + (1ull << 29), "1234568.00 GB"},
      {(12345678ull << 30) + (7ull << 29), "12345680.00 GB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(FormatSize(bytes), text) << bytes;
}

// Two decimals exactly as the C library's "%.2f" writes them: ties (exact
// binary halves such as 0.125 or 2.675's neighbours) go to even, large values
// keep every digit; checked against snprintf over many values.
TEST(FixedTwoDecimals, MatchesPrintf) {
  auto printf2 = [](double v) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.2f", v);
    return std::string(text);
  };
  for (double v : {0.0, 0.005, 0.015, 0.125, 0.375, 1.005, 2.675, 1023.995, 99.995, 0.994999, 1e-30, 12345678.9,
                   9007199254740993.0, 4611686018427387904.0, 123456.7}) {
    EXPECT_EQ(FixedTwoDecimals(v), printf2(v)) << v;
  }
  std::mt19937_64 rng(7);
  for (int i = 0; i < 200000; ++i) {
    uint64_t bytes = rng() >> (rng() % 64);
    double v = static_cast<double>(bytes) / static_cast<double>(uint64_t{1} << (10 * (rng() % 4)));
    if (i % 3 == 0) v = static_cast<double>(rng() % 100000) / 8.0;  // exact quarters and eighths: ties
    ASSERT_EQ(FixedTwoDecimals(v), printf2(v)) << v;
  }
}

// Case is ignored for ASCII letters only; the search continues after each
// replacement, so a replacement holding its own key ends.
TEST(ReplaceText, CaseAndTermination) {
  EXPECT_EQ(ReplaceText(u"Welcome to <%setuptitle%>", u"<%SETUPTITLE%>", u"Demo"), u"Welcome to Demo");
  EXPECT_EQ(ReplaceText(u"aXbxc", u"x", u"--"), u"a--b--c");
  EXPECT_EQ(ReplaceText(u"key key", u"key", u"[key]"), u"[key] [key]");
  EXPECT_EQ(ReplaceText(u"\u00e4\u00c4", u"\u00e4", u"a"), u"a\u00c4");  // not an ASCII letter
  EXPECT_EQ(ReplaceText(u"abc", u"", u"x"), u"abc");
  EXPECT_EQ(ReplaceText(u"aaa", u"aa", u"b"), u"ba");
  EXPECT_EQ(ReplaceText(std::string("C:\\GAME\\x"), std::string("c:\\game"), std::string("$INSTDIR")), "$INSTDIR\\x");
}

TEST(IntOrMinusOne, DecimalOnly) {
  const std::pair<const char*, int32_t> cases[] = {
      {"0", 0},
      {"42", 42},
      {"-7", -7},
      {"+5", 5},
      {"", -1},
      {"12a", -1},
      {" 1", -1},
      {"0x10", -1},
      {"-", -1},
      {"2147483647", 2147483647},
      {"2147483648", -1},
      {"-2147483648", INT32_MIN},
      {"99999999999999999999", -1},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(IntOrMinusOne(text), value) << text;
}

TEST(PathHelpers, BackslashAndKeyValue) {
  EXPECT_EQ(AddBackslash(""), "");
  EXPECT_EQ(AddBackslash("C:\\A"), "C:\\A\\");
  EXPECT_EQ(AddBackslash("C:\\A\\"), "C:\\A\\");
  std::string key, value;
  SplitKeyValue("name=a=b", key, value);
  EXPECT_EQ(key, "name");
  EXPECT_EQ(value, "a=b");
  SplitKeyValue("plain", key, value);
  EXPECT_EQ(key, "");
  EXPECT_EQ(value, "plain");
}

TEST(FloatToText, GeneralFormWithPoint) {
  EXPECT_EQ(FloatToText(1.0), "1.0");
  EXPECT_EQ(FloatToText(2.5), "2.5");
  EXPECT_EQ(FloatToText(-0.125), "-0.125");
  EXPECT_EQ(FloatToText(0.1), "0.1");
  EXPECT_EQ(FloatToText(123456789012345.0), "123456789012345.0");
  EXPECT_EQ(FloatToText(1e20), "1E20.0");
}

// Short names only, upper-cased before comparing; unknown and long names are 0.
TEST(RegistryRoots, NumbersAndNames) {
  EXPECT_EQ(RootNumberOf("HKLM"), 0);
  EXPECT_EQ(RootNumberOf("hkcu"), 1);
  EXPECT_EQ(RootNumberOf("HKCR"), 2);
  EXPECT_EQ(RootNumberOf("Hku"), 3);
  EXPECT_EQ(RootNumberOf("HKCC"), 4);
  EXPECT_EQ(RootNumberOf("HKEY_CURRENT_USER"), 0);
  EXPECT_EQ(RootNumberOf(""), 0);
  EXPECT_EQ(RootName(1), "HKEY_CURRENT_USER");
  EXPECT_EQ(RootName(4), "HKEY_CURRENT_CONFIG");
  EXPECT_EQ(RootName(5), "!ERROR!");
  EXPECT_EQ(RootName(-1), "!ERROR!");
  EXPECT_EQ(RootKeyOf(3), 3);
  EXPECT_EQ(RootKeyOf(7), -1);
}

// Concat keeps every byte of every piece (embedded NULs too) in order.
TEST(Concat, PiecesInOrder) {
  const std::string path = "C:\\Game";
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(Concat({"Open: ", path, " failed (", std::to_string(5), ")"}), "Open: C:\\Game failed (5)");
  EXPECT_EQ(Concat({withNul, "", withNul}), std::string("a\0ba\0b", 6));
  EXPECT_EQ(Concat({}), "");
}
