#include "package/ZUI_CompLines.h"

#include <gtest/gtest.h>

#include "common/BufferManager.h"
#include "common/Exceptions.h"

// A nothing line is FF FF FF FF, FF FF FF FF, 00 00 00 00; lines round-trip.
TEST(TCompLines, RoundTripAndLayout) {
  TCompLines lines;
  lines.Lines.push_back(TCompLine{});
  TCompLine file;
  file.Command = 7;
  file.Row = 1;
  file.Params = {"files\\", "1"};
  lines.Lines.push_back(file);
  TCompLine empty;
  empty.Command = 19;
  empty.Row = 2;
  lines.Lines.push_back(empty);
  TBytes bytes = lines.SaveToBytes();
  TBytes head(bytes.begin(), bytes.begin() + 14);
  EXPECT_EQ(head, (TBytes{3, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
  EXPECT_EQ(bytes.size(), 2u + 12 + (12 + 8 + 3) + 12);

  TCompLines back;
  back.LoadFromBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ASSERT_EQ(back.Lines.size(), 3u);
  EXPECT_EQ(back.Lines[0].Command, -1);
  EXPECT_EQ(back.Lines[0].Row, -1);
  EXPECT_EQ(back.Lines[1].Params, (std::vector<std::string>{"files\\", "1"}));
  EXPECT_EQ(back.Lines[1].ParamCount, 2);
  EXPECT_TRUE(back.Lines[2].Params.empty());
  EXPECT_EQ(back.SaveToBytes(), bytes);

  TBytes none = {0, 0};
  back.LoadFromBuffer(none.data(), 2);
  EXPECT_TRUE(back.Lines.empty());
}

// Truncated data and absurd parameter counts raise before anything is allocated.
TEST(TCompLines, MalformedDataRaises) {
  TCompLines lines;
  TCompLine l;
  l.Command = 15;
  l.Row = 0;
  l.Params = {"<LANG21>"};
  lines.Lines.push_back(l);
  TBytes bytes = lines.SaveToBytes();
  TCompLines back;
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    EXPECT_THROW(back.LoadFromBuffer(bytes.data(), static_cast<uint32_t>(cut)), ESetupError) << cut;
  }
  TBytes huge = {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F};
  EXPECT_THROW(back.LoadFromBuffer(huge.data(), static_cast<uint32_t>(huge.size())), ESetupError);
  TBytes negative = {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_THROW(back.LoadFromBuffer(negative.data(), static_cast<uint32_t>(negative.size())), ESetupError);
}
