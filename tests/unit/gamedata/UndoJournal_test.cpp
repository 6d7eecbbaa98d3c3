#include "gamedata/UndoJournal.h"

#include <gtest/gtest.h>

#include <random>

#include "common/Crc32.h"
#include "tests/support/TestMachine.h"

namespace {

std::string RandomText(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// A whole file, read beside the handle the journal works on.
std::string Read(const std::string& Path) {
  platform::File f;
  if (!f.Open(Path, platform::kAccessRead, platform::kShareReadWrite | platform::kShareDelete,
              platform::FileDisposition::kOpenExisting)) {
    return "(missing)";
  }
  std::string s(static_cast<size_t>(f.Size()), '\0');
  s.resize(f.Read(s.data(), static_cast<uint32_t>(s.size())));
  return s;
}

struct TJournalFixture {
  TestMachine m;
  std::string target = m.Path("t.bin"), side = m.Path("t.ht"), absent = m.Path("t.new");
  std::string journal = target + kUndoSuffix;
  std::string original = RandomText(3000000, 1);
  platform::File f;

  TJournalFixture() {
    TestMachine::Write(target, original);
    TestMachine::Write(side, "old side");
    Reopen();
  }
  void Reopen() {
    f.Close();
    EXPECT_TRUE(f.Open(target, platform::kAccessReadWrite, platform::kShareReadWrite,
                       platform::FileDisposition::kOpenExisting));
  }
  void WriteAt(TUndoJournal& J, uint64_t Offset, const std::string& Bytes) {
    ASSERT_TRUE(f.Seek(static_cast<int64_t>(Offset), platform::SeekOrigin::kBegin));
    J.Protect(Offset, Bytes.size());
    EXPECT_EQ(f.Position(), Offset);  // the file pointer stays for the write
    ASSERT_EQ(f.Write(Bytes.data(), static_cast<uint32_t>(Bytes.size())), Bytes.size());
  }
  // Two changes far apart (so two records), one running past the old end,
  // and both side files changed.
  void Change(TUndoJournal& J) {
    J.Begin({side, absent});
    WriteAt(J, 100, std::string(10, 'x'));
    WriteAt(J, 2990000, RandomText(30000, 2));
    WriteAt(J, 120, std::string(10, 'y'));  // inside what is saved already
    TestMachine::Write(side, "new side");
    TestMachine::Write(absent, "created");
  }
  void ExpectOriginal() {
    EXPECT_EQ(Read(target), original);
    EXPECT_EQ(Read(side), "old side");
    EXPECT_FALSE(platform::FileExists(absent));
    EXPECT_FALSE(platform::FileExists(journal));
  }
};

}  // namespace

TEST(UndoJournal, RollbackAndRecoveryPutBackBytesLengthAndSideFiles) {
  {
    TJournalFixture t;
    TUndoJournal j(t.f, t.journal);
    t.Change(j);
    EXPECT_NE(Read(t.target), t.original);
    j.Rollback();
    EXPECT_FALSE(j.Active());
    t.ExpectOriginal();
  }
  {
    // The run ends without a word: the next open puts it back.
    TJournalFixture t;
    {
      TUndoJournal j(t.f, t.journal);
      t.Change(j);
    }
    t.Reopen();
    EXPECT_TRUE(TUndoJournal::Recover(t.f, t.journal, {t.side, t.absent}));
    t.f.Close();
    t.ExpectOriginal();
  }
  {
    // A finished run keeps its changes.
    TJournalFixture t;
    TUndoJournal j(t.f, t.journal);
    t.Change(j);
    std::string changed = Read(t.target);
    EXPECT_TRUE(j.Commit());
    EXPECT_FALSE(TUndoJournal::Recover(t.f, t.journal, {t.side, t.absent}));
    EXPECT_EQ(Read(t.target), changed);
    EXPECT_EQ(Read(t.side), "new side");
  }
}

TEST(UndoJournal, JournalsCutShort) {
  TJournalFixture t;
  {
    TUndoJournal j(t.f, t.journal);
    t.Change(j);
  }
  const std::string whole = Read(t.journal);
  const std::string changed = Read(t.target);
  const size_t head = whole.find(std::string("old side")) + 8 + 2 + t.absent.size() + 1 + 4 + 4;
  ASSERT_LT(head, whole.size());

  // Cut inside its head, or with its head damaged: it was being started, so
  // nothing is put back and it is dropped.
  for (size_t cut : {size_t{0}, size_t{7}, head - 1}) {
    t.f.Close();
    TestMachine::Write(t.target, changed);
    TestMachine::Write(t.journal, whole.substr(0, cut));
    t.Reopen();
    EXPECT_FALSE(TUndoJournal::Recover(t.f, t.journal, {t.side, t.absent})) << cut;
    EXPECT_EQ(Read(t.target), changed) << cut;
    EXPECT_FALSE(platform::FileExists(t.journal)) << cut;
  }

  // Cut inside a record: the records before it are put back, the length too.
  t.f.Close();
  TestMachine::Write(t.target, changed);
  TestMachine::Write(t.journal, whole.substr(0, whole.size() - 5));
  t.Reopen();
  EXPECT_TRUE(TUndoJournal::Recover(t.f, t.journal, {t.side, t.absent}));
  t.f.Close();
  std::string got = Read(t.target);
  ASSERT_EQ(got.size(), t.original.size());
  EXPECT_EQ(got.substr(0, 2000000), t.original.substr(0, 2000000));
  EXPECT_NE(got.substr(2990000), t.original.substr(2990000));
  EXPECT_EQ(Read(t.side), "old side");

  // A flipped byte in a record ends the list there as well.
  std::string damaged = whole;
  damaged[head + 20] ^= 1;
  t.f.Close();
  TestMachine::Write(t.target, changed);
  TestMachine::Write(t.journal, damaged);
  t.Reopen();
  EXPECT_TRUE(TUndoJournal::Recover(t.f, t.journal, {t.side, t.absent}));
  t.f.Close();
  EXPECT_EQ(Read(t.target).substr(100, 10), std::string(10, 'x'));
}

// A journal planted beside a file: one that names a side file the caller does
// not expect, or claims an old length its records do not reach, is dropped
// without a byte written.
TEST(UndoJournal, PlantedJournalsAreDropped) {
  TJournalFixture t;
  {
    TUndoJournal j(t.f, t.journal);
    t.Change(j);
  }
  t.f.Close();
  const std::string whole = Read(t.journal), changed = Read(t.target);
  // Only the container's own side file is allowed, not t.absent.
  t.Reopen();
  EXPECT_FALSE(TUndoJournal::Recover(t.f, t.journal, {t.side}));
  t.f.Close();
  EXPECT_EQ(Read(t.target), changed);
  EXPECT_EQ(Read(t.absent), "created");
  EXPECT_FALSE(platform::FileExists(t.journal));

  // An old length of 2^40 bytes with records that reach 3,000,000.
  std::string big = whole;
  const uint64_t huge = uint64_t{1} << 40;
  for (int i = 0; i < 8; ++i) big[8 + i] = static_cast<char>(huge >> (8 * i));
  const size_t head = whole.find(std::string("old side")) + 8 + 2 + t.absent.size() + 1 + 4;
  // (The head's checksum is where the test takes it: it matches the original.)
  ASSERT_EQ(Crc32(reinterpret_cast<const uint8_t*>(whole.data()), head),
            GetU32(reinterpret_cast<const uint8_t*>(whole.data()) + head));
  uint32_t crc = Crc32(reinterpret_cast<const uint8_t*>(big.data()), head);
  for (int i = 0; i < 4; ++i) big[head + i] = static_cast<char>(crc >> (8 * i));
  TestMachine::Write(t.journal, big);
  t.Reopen();
  EXPECT_FALSE(TUndoJournal::Recover(t.f, t.journal, {t.side, t.absent}));
  t.f.Close();
  EXPECT_EQ(Read(t.target), changed);
  EXPECT_FALSE(platform::FileExists(t.journal));
}
