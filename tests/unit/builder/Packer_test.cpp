#include "builder/Packer.h"

#include <gtest/gtest.h>

#include <random>

#include "package/ZUI_PakFile.h"
#include "tests/support/TestMachine.h"

namespace {
std::vector<TPackInput> Inputs(const TestMachine& m, int files) {
  std::mt19937 rng(3);
  std::vector<TPackInput> in;
  in.push_back({"", "SetupInfo", 0, TBytes(25, 0)});
  for (int i = 0; i < files; ++i) {
    std::string bytes;
    size_t n = rng() % 20000;
    for (size_t k = 0; k < n; ++k) bytes += static_cast<char>(i % 3 ? 'a' + k % 7 : static_cast<char>(rng()));
    std::string path = m.Path("f" + std::to_string(i) + ".bin");
    TestMachine::Write(path, bytes);
    in.push_back({path, "dir\\f" + std::to_string(i) + ".bin", static_cast<uint16_t>(1 + i % 2), std::nullopt});
  }
  return in;
}
}  // namespace

// The parallel packer writes exactly the bytes of a single-threaded one.
TEST(Packer, ParallelBytesEqualSingleThreaded) {
  TestMachine m;
  std::vector<TPackInput> in = Inputs(m, 60);
  std::string error;
  TPackStats one, many;
  ASSERT_TRUE(WritePackage({.Output = m.Path("one.pak"), .Threads = 1}, in, one, error)) << error;
  ASSERT_TRUE(WritePackage({.Output = m.Path("many.pak"), .Threads = 4}, in, many, error)) << error;
  EXPECT_EQ(TestMachine::Read(m.Path("one.pak")), TestMachine::Read(m.Path("many.pak")));
  EXPECT_EQ(one.Files, 61u);
  EXPECT_EQ(one.BytesOut, many.BytesOut);
  TPak pak(m.Path("many.pak"), false, false);
  for (uint32_t i = 0; i < pak.Entries.size(); ++i)
    EXPECT_TRUE(pak.Entries[i].OrigSize == 0 || pak.VerifyEntry(i)) << i;
}

// Every level gives zlib streams the setup's zlib reads back byte for byte;
// a higher level is no larger; a level's bytes are the same on any thread
// count; data that does not shrink stays raw.
TEST(Packer, EveryLevelReadsBack) {
  TestMachine m;
  std::vector<TPackInput> in = Inputs(m, 24);
  std::string error;
  TPackStats stats;
  uint64_t previous = ~0ull;
  for (int level : {1, 6, 9, 12}) {
    std::string name = m.Path("level" + std::to_string(level) + ".pak");
    ASSERT_TRUE(WritePackage({.Output = name, .Threads = 2, .Level = level}, in, stats, error)) << error;
    EXPECT_LE(stats.BytesOut, previous) << level;
    previous = stats.BytesOut;
    TPak pak(name, false, false);
    ASSERT_EQ(pak.Entries.size(), in.size() + 1);  // and the directory digest
    for (uint32_t i = 1; i < in.size(); ++i) {
      std::optional<TBytes> data = pak.ReadEntry(i);
      ASSERT_TRUE(data) << level << " " << i;
      EXPECT_EQ(std::string(data->begin(), data->end()), TestMachine::Read(in[i].SourcePath)) << level << " " << i;
    }
  }
  ASSERT_TRUE(WritePackage({.Output = m.Path("one.pak"), .Threads = 1, .Level = 12}, in, stats, error)) << error;
  EXPECT_EQ(TestMachine::Read(m.Path("one.pak")), TestMachine::Read(m.Path("level12.pak")));

  TStoredForm random = MakeStoredFormAtLevel(reinterpret_cast<const uint8_t*>("\x8f\x03"), 2, 9);
  EXPECT_EQ(random.StoredSize, 0u);
  EXPECT_EQ(random.Bytes, (TBytes{0x8f, 0x03}));
  std::string text(5000, 'x');
  TStoredForm packed = MakeStoredFormAtLevel(reinterpret_cast<const uint8_t*>(text.data()), 5000, 12);
  ASSERT_GT(packed.StoredSize, 0u);
  EXPECT_EQ(packed.Bytes[0], 0x78);  // a zlib header
}

// A source that disappears before it is read fails the pack, names the file
// and leaves no output behind.
TEST(Packer, FailingSourceWritesNothing) {
  TestMachine m;
  std::vector<TPackInput> in = Inputs(m, 20);
  in[7].SourcePath = m.Path("gone.bin");
  std::string error;
  TPackStats stats;
  EXPECT_FALSE(WritePackage({.Output = m.Path("out.pak"), .Threads = 3}, in, stats, error));
  EXPECT_NE(error.find("gone.bin"), std::string::npos) << error;
  EXPECT_FALSE(platform::FileExists(m.Path("out.pak")));
  EXPECT_FALSE(platform::FileExists(m.Path("out.pak.part")));
}

#ifndef _WIN32
#include "platform/host/HostMachine.h"

// A build with a file operation failing at every point in turn: it fails with
// a message and a package already there stays whole.
TEST(Packer, EveryWriteFailing) {
  TestMachine m;
  std::vector<TPackInput> in = Inputs(m, 6);
  std::string error;
  TPackStats stats;
  ASSERT_TRUE(WritePackage({.Output = m.Path("out.pak"), .Threads = 2}, in, stats, error)) << error;
  const std::string good = TestMachine::Read(m.Path("out.pak"));
  in.pop_back();  // a different package, so that a half-made one would show
  for (bool persist : {true, false}) {
    int walked = 0;
    for (uint64_t n = 1; n < 1000; ++n) {
      platform::host::InjectFileFault(n, persist);
      bool ok = WritePackage({.Output = m.Path("out.pak"), .Threads = 2}, in, stats, error);
      bool fired = platform::host::FileFaultFired();
      platform::host::InjectFileFault(0, false);
      if (!fired) {
        EXPECT_TRUE(ok) << error;
        TestMachine::Write(m.Path("out.pak"), good);
        break;
      }
      ++walked;
      // After a single failure the partial file is removed; when every later
      // operation fails too it cannot be, and the next build replaces it.
      if (!persist) {
        EXPECT_FALSE(platform::FileExists(m.Path("out.pak.part"))) << n;
      }
      std::string now = TestMachine::Read(m.Path("out.pak"));
      if (!ok) {
        EXPECT_FALSE(error.empty()) << n;
        EXPECT_TRUE(now == good) << n << ": " << error;  // the old package untouched
      }
      TestMachine::Write(m.Path("out.pak"), good);
    }
    EXPECT_GE(walked, 8) << persist;
  }
}
#endif
