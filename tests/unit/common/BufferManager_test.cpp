#include "common/BufferManager.h"

#include <gtest/gtest.h>

#include "common/Exceptions.h"
#include "common/FileRecords.h"
#include "tests/support/TestMachine.h"

// Read hands out what remains when fewer bytes than asked are left.
TEST(BufferManager, ReadsClampToTheEnd) {
  const uint8_t data[] = {1, 2, 3, 4, 5};
  TBufferManager b(data, 5);
  uint32_t got = 0;
  EXPECT_EQ(b.Read(3, got), (TBytes{1, 2, 3}));
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(b.Read(3, got), (TBytes{4, 5}));
  EXPECT_EQ(got, 2u);
  EXPECT_TRUE(b.Read(1, got).empty());
  EXPECT_EQ(got, 0u);
  b.Seek(1);
  uint8_t two[2];
  EXPECT_EQ(b.ReadInto(2, two), 2u);
  EXPECT_EQ(two[1], 3);
  TBufferManager empty(nullptr, 10);
  EXPECT_EQ(empty.Size(), 0u);
}

// Little-endian fields and length-prefixed strings; a field the block does not
// fully hold raises, and nothing is read past the end.
TEST(BufferManager, RecordReadersCheckBounds) {
  TBytes rec;
  WriteU16(rec, 0xBEEF);
  WriteU32(rec, 0x01020304);
  WriteShortString(rec, "abc");
  WriteShortString(rec, "");
  TBufferManager b(rec);
  EXPECT_EQ(ReadU16(b), 0xBEEF);
  EXPECT_EQ(ReadU32(b), 0x01020304u);
  EXPECT_EQ(ReadShortString(b), "abc");
  EXPECT_EQ(ReadShortString(b), "");
  EXPECT_THROW(ReadU16(b), ESetupError);

  TBytes truncated = {5, 0, 'a', 'b'};  // claims 5 bytes, holds 2
  TBufferManager t(truncated);
  EXPECT_THROW(ReadShortString(t), ESetupError);
  TBytes odd = {1, 2, 3};
  TBufferManager o(odd);
  EXPECT_THROW(ReadU32(o), ESetupError);
  EXPECT_THROW(WriteShortString(rec, std::string(70000, 'x')), ESetupError);
}

// The file reader stops at its limit even where the file goes on.
TEST(FileRecords, ReaderStopsAtItsLimit) {
  TestMachine m;
  std::string path = m.Path("rec.bin");
  TBytes rec;
  WriteShortString(rec, "hello");
  WriteU32(rec, 77);
  rec.resize(rec.size() + 100, 0xAA);
  TestMachine::Write(path, std::string(rec.begin(), rec.end()));
  platform::File f;
  ASSERT_TRUE(f.Open(path, platform::kAccessRead, platform::kShareRead, platform::FileDisposition::kOpenExisting));
  TFileReader r(f, 0, 9);
  EXPECT_EQ(r.ShortString(), "hello");
  EXPECT_THROW(r.U32(), ESetupError);  // 2 of its 4 bytes lie past the limit

  f.Seek(0, platform::SeekOrigin::kBegin);
  EXPECT_EQ(ReadShortStringFromFile(f), "hello");
}
