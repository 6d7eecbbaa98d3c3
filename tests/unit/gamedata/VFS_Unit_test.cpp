#include "gamedata/VFS_Unit.h"

#include <gtest/gtest.h>

#include <random>

#include <zlib.h>

#include "common/BufferManager.h"
#include "gamedata/VFS_Check.h"
#include "tests/support/TestMachine.h"

namespace {

std::string Container(const TestMachine& m, int32_t blockSize, int32_t blocks, uint32_t roots) {
  std::string path = m.Path("game.vfs");
  CreateEmptyContainer(path, blockSize, blocks, roots, "TEST");
  return path;
}

TBytes Bytes(size_t n, char c) { return TBytes(n, static_cast<uint8_t>(c)); }

TBytes Random(size_t n) {
  std::mt19937 rng(5);
  TBytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

}  // namespace

// Exactly BlockSize bytes take one block, one more byte takes two; a size-0
// write takes one zeroed block.
TEST(VFS_Unit, ChainsAndBlocks) {
  TestMachine m;
  TVFSFile vfs;
  vfs.Open(Container(m, 64, 8, 4), true);
  TVFSEntry a, b, z;
  TBytes exact = Random(64), more = Random(65);
  vfs.WriteFile(a, exact.data(), 64);
  EXPECT_EQ(vfs.ChainOf(a.FirstBlock).size(), 1u);
  EXPECT_EQ(vfs.BlockLinks[0].Next, -1);
  vfs.WriteFile(b, more.data(), 65);
  EXPECT_EQ(vfs.ChainOf(b.FirstBlock), (std::vector<int32_t>{1, 2}));
  vfs.WriteFile(z, nullptr, 0);
  EXPECT_EQ(z.Size, 0);
  EXPECT_EQ(vfs.ChainOf(z.FirstBlock).size(), 1u);
  EXPECT_EQ(vfs.Header.UsedBlocks, 4);
  EXPECT_EQ(*vfs.ReadEntryData(b), more);
  EXPECT_THROW(vfs.WriteFile(z, exact.data(), 0), EAssertionFailed);

  // Blocks 0 and 2 free, 1 in use: a two-block write takes 0 then 2, Next 3.
  TestMachine m2;
  TVFSFile v2;
  v2.Open(Container(m2, 16, 6, 2), true);
  TVFSEntry x, y, w;
  TBytes one = Random(16);
  v2.WriteFile(x, one.data(), 16);
  v2.WriteFile(y, one.data(), 16);
  v2.WriteFile(w, one.data(), 16);
  v2.ReleaseChain(x.FirstBlock);
  v2.ReleaseChain(w.FirstBlock);
  TVFSEntry two;
  TBytes pair = Random(32);
  v2.WriteFile(two, pair.data(), 32);
  EXPECT_EQ(two.FirstBlock, 1);
  EXPECT_EQ(v2.BlockLinks[0].Next, 3);
  EXPECT_EQ(*v2.ReadEntryData(two), pair);
}

// A full container refuses a chain it cannot hold before writing anything.
TEST(VFS_Unit, FullContainerFailsCleanly) {
  TestMachine m;
  std::string path = Container(m, 32, 3, 2);
  std::string before = TestMachine::Read(path);
  {
    TVFSFile vfs;
    vfs.Open(path, true);
    TVFSEntry e;
    TBytes big = Random(100);
    EXPECT_THROW(vfs.WriteFile(e, big.data(), 100), EAssertionFailed);
    EXPECT_EQ(vfs.Header.UsedBlocks, 0);
  }
  EXPECT_EQ(TestMachine::Read(path), before);
  // No free root slot: the text says so and names the file.
  TVFSFile vfs;
  vfs.Open(path, true);
  vfs.Tree.AddFile("first.txt", reinterpret_cast<const uint8_t*>("a"), 1);
  vfs.Tree.AddFile("second.txt", reinterpret_cast<const uint8_t*>("b"), 1);
  try {
    vfs.Tree.AddFile("third.txt", reinterpret_cast<const uint8_t*>("c"), 1);
    ADD_FAILURE() << "a third root entry in two slots";
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(std::string(e.what()).find("no free root slot for \"third.txt\": all 2 root entries"), std::string::npos)
        << e.what();
  }
}

// Compressible data is stored in 50,000-byte chunks; incompressible data raw.
TEST(VFS_Unit, Compression) {
  TestMachine m;
  TVFSFile vfs;
  vfs.Open(Container(m, 512, 64, 4), true);
  TBytes text = Bytes(120000, 'a');
  auto packed = vfs.Tree.InternalCompressFile(text.data(), 120000);
  ASSERT_TRUE(packed);
  int chunks = 0;
  for (size_t pos = 0; pos < packed->size(); ++chunks) {
    uint32_t n = (*packed)[pos] | ((*packed)[pos + 1] << 8) | ((*packed)[pos + 2] << 16) | ((*packed)[pos + 3] << 24);
    pos += 4 + n;
  }
  EXPECT_EQ(chunks, 3);
  TBytes noise = Random(3000);
  EXPECT_FALSE(vfs.Tree.InternalCompressFile(noise.data(), 3000));
  uint32_t node = vfs.Tree.AddFile("noise.bin", noise.data(), 3000);
  const TVFSEntry& e = *vfs.Tree.Nodes[node].Entry;
  EXPECT_EQ(e.Flags, vfFile);
  EXPECT_EQ(e.Size, 3000);
  EXPECT_EQ(e.OrigSize, 0);
}

// Paths: maps\desert\a.dat under a root MAPS; a name without "." lands in the
// root; replacing keeps the directory's chain when its record count is equal.
TEST(VFS_Unit, TreePathsAndReplacement) {
  TestMachine m;
  std::string path = Container(m, 256, 64, 4);
  {
    TVFSFile vfs;
    vfs.Open(path, true);
    vfs.Tree.EnsurePath(-1, "MAPS");
    TBytes a = Bytes(10, 'a');
    vfs.Tree.AddFile("maps\\desert\\a.dat", a.data(), 10);
    vfs.Tree.AddFile("dir\\readme", a.data(), 10);
    EXPECT_GE(vfs.Tree.FindByPath("MAPS\\desert\\a.dat"), 0);
    EXPECT_GE(vfs.Tree.FindByPath("readme"), 0);
    EXPECT_EQ(vfs.Tree.FindByPath("dir"), -1);
    int32_t desert = vfs.Tree.FindByPath("maps\\desert");
    int32_t before = vfs.Tree.Nodes[static_cast<size_t>(desert)].Entry->FirstBlock;
    TBytes b = Random(20);
    vfs.Tree.AddFile("MAPS\\DESERT\\A.DAT", b.data(), 20);
    EXPECT_EQ(vfs.Tree.Nodes[static_cast<size_t>(desert)].Entry->FirstBlock, before);
    EXPECT_EQ(vfs.Tree.CountChildren(static_cast<uint32_t>(desert)), 1u);
    vfs.Save(false);
  }
  EXPECT_EQ(CheckVFSContainer(path), "");
  TVFSFile again;
  again.Open(path, true);
  int32_t a = again.Tree.FindByPath("maps\\desert\\a.dat");
  ASSERT_GE(a, 0);
  EXPECT_EQ(*again.ReadEntryData(*again.Tree.Nodes[static_cast<size_t>(a)].Entry), Random(20));
}

// Save(true) zeroes the digest; Save(false) is the MD5 of bytes 44 to the end.
TEST(VFS_Unit, DigestAndDescription) {
  TestMachine m;
  std::string path = Container(m, 64, 4, 2);
  auto saved = [&](bool skip) {
    TVFSFile vfs;
    vfs.Open(path, true);
    vfs.Save(skip);
    vfs.Close();
    return TestMachine::Read(path);
  };
  std::string bytes = saved(true);
  EXPECT_EQ(bytes.substr(28, 16), std::string(16, '\0'));
  bytes = saved(false);
  platform::Md5 md5;
  md5.Update(bytes.data() + 44, static_cast<uint32_t>(bytes.size() - 44));
  uint8_t digest[16];
  ASSERT_TRUE(md5.Final(digest));
  EXPECT_EQ(bytes.substr(28, 16), std::string(reinterpret_cast<char*>(digest), 16));
  // The MD5 of nothing, as a known value of the library.
  platform::Md5 empty;
  ASSERT_TRUE(empty.Final(digest));
  EXPECT_EQ(digest[0], 0xd4);
  EXPECT_EQ(digest[15], 0x7e);
}

// Side file: the key's last separator becomes "/", equal hashes give one
// record with Unique 0, insertion keeps ascending order; no files, no file.
TEST(VFS_Unit, HashFile) {
  EXPECT_EQ(HashName("\\a.dat", "a.dat"), HashName("a.dat", "a.dat"));  // a prefix shorter than 2 is ignored
  uint32_t h = 0;
  for (char c : std::string("maps\\desert/a.dat")) h = h * 65599u + static_cast<uint8_t>(c);
  EXPECT_EQ(HashName("maps\\desert\\a.dat", "a.dat"), h);
  EXPECT_EQ(HashFilePath("C:\\Game\\data.vfs"), "C:\\Game\\data.ht");
  EXPECT_EQ(HashFilePath("C:\\Game.d\\data"), "C:\\Game.d\\data.ht");

  std::vector<TVFSHashEntry> table(4);
  uint32_t count = 0;
  for (uint32_t hash : {30u, 10u, 20u, 20u}) {
    TVFSHashEntry e;
    e.Hash = hash;
    InsertHashEntry(table, 3, e, count);
  }
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(table[0].Hash, 10u);
  EXPECT_EQ(table[1].Hash, 20u);
  EXPECT_EQ(table[1].Unique, 0);
  EXPECT_EQ(table[2].Hash, 30u);

  TestMachine m;
  std::string path = Container(m, 64, 8, 2);
  TestMachine::Write(m.Path("game.ht"), "stale");
  {
    TVFSFile vfs;
    vfs.Open(path, true);
    vfs.Save(false);
  }
  EXPECT_FALSE(platform::FileExists(m.Path("game.ht")));
}

// Malformed containers are refused with a clear error, never read past.
TEST(VFS_Unit, MalformedContainers) {
  TestMachine m;
  std::string path = Container(m, 64, 4, 2);
  const std::string good = TestMachine::Read(path);
  auto with = [&](size_t offset, uint32_t value) {
    std::string b = good;
    for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return b;
  };
  const std::pair<const char*, std::string> cases[] = {
      {"short", good.substr(0, 100)},
      {"no blocks", with(8, 0)},
      {"no roots", with(12, 0)},
      {"description", with(44, 200)},
      {"huge tables", with(8, 0x7FFFFFFF)},
      {"blocks past the end", with(4, 0x63000000)},
      {"cut short", good.substr(0, good.size() - 2 * 64)},
      {"link outside", with(52 + 256 + 4, 99)},
  };
  for (const auto& [what, bytes] : cases) {
    TestMachine::Write(path, bytes);
    TVFSFile vfs;
    EXPECT_THROW(vfs.Open(path, true), EAssertionFailed) << what;
  }
  // A chain that loops: block 1 links to itself.
  std::string loop = with(52 + 256 + 4, 1);
  loop[52 + 256] = 1;
  TestMachine::Write(path, loop);
  TVFSFile vfs;
  vfs.Open(path, true);
  EXPECT_THROW(vfs.ChainOf(1), EAssertionFailed);
  EXPECT_NE(CheckVFSContainer(path), "");
  vfs.Close();
  // An entry claiming more bytes than the container holds is refused before
  // anything is allocated for it.
  TestMachine::Write(path, good);
  TVFSFile fresh;
  fresh.Open(path, true);
  TVFSEntry huge;
  huge.Name = "huge";
  huge.FirstBlock = 1;
  huge.Size = 0x7FFFFFF0;
  EXPECT_THROW(fresh.ReadEntryData(huge), EAssertionFailed);
}

// Hostile chains end at once: directories whose chains start inside one
// another's (each would be read again and again, its records multiplying the
// tree) are refused on opening and by the check, after one walk; an entry
// whose chunks inflate past its size is refused before it grows.
TEST(VFS_Unit, HostileChainsAndChunksEndAtOnce) {
  TestMachine m;
  constexpr int32_t kBlocks = 4000;
  std::string path = Container(m, kVFSEntrySize, kBlocks, 1);
  std::string bytes = TestMachine::Read(path);
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const size_t links = 52 + 256, roots = links + 8ull * kBlocks, data = roots + kVFSEntrySize;
  auto record = [&](size_t at, const std::string& name, int32_t first, int32_t size) {
    TVFSEntry e;
    e.Name = name;
    e.Flags = vfDirectory;
    e.FirstBlock = first;
    e.Size = size;
    TBytes r;
    EncodeEntry(e, r);
    bytes.replace(at, r.size(), std::string(r.begin(), r.end()));
  };
  // One chain through every block; the root directory holds all of it, and
  // block i holds a directory starting at block i + 1 of the same chain.
  for (int32_t b = 0; b < kBlocks; ++b) {
    put(links + 8ull * b, 1);
    put(links + 8ull * b + 4, b + 1 < kBlocks ? static_cast<uint32_t>(b + 2) : 0xFFFFFFFFu);
    record(data + static_cast<size_t>(kVFSEntrySize) * b, "d" + std::to_string(b), b + 2,
           static_cast<int32_t>(kVFSEntrySize) * (kBlocks - b - 1));
  }
  record(roots, "top", 1, static_cast<int32_t>(kVFSEntrySize) * kBlocks);
  put(304, kBlocks);
  TestMachine::Write(path, bytes);
  TVFSFile vfs;
  EXPECT_THROW(vfs.Open(path, true), EAssertionFailed);
  EXPECT_NE(CheckVFSContainer(path).find("shares block 2"), std::string::npos) << CheckVFSContainer(path);

  // Two chunks, each inflating to a whole chunk, for an entry of one chunk.
  TBytes chunk(kVFSChunkSize, 'a'), stored;
  for (int i = 0; i < 2; ++i) {
    uLongf size = compressBound(kVFSChunkSize);
    TBytes packed(size);
    ASSERT_EQ(compress2(packed.data(), &size, chunk.data(), kVFSChunkSize, 9), Z_OK);
    WriteU32(stored, static_cast<uint32_t>(size));
    stored.insert(stored.end(), packed.begin(), packed.begin() + static_cast<ptrdiff_t>(size));
  }
  TVFSEntry entry;
  entry.Name = "bomb.dat";
  entry.Flags = vfCompressed;
  entry.OrigSize = static_cast<int32_t>(kVFSChunkSize);
  EXPECT_THROW(UnpackStoredData(entry, stored), ESetupError);
  entry.OrigSize = static_cast<int32_t>(2 * kVFSChunkSize);
  EXPECT_EQ(UnpackStoredData(entry, stored).size(), 2 * kVFSChunkSize);
}

// A container with more than 255 root slots: the root node in slot 255 keeps
// its record in the root table (slot 255 is no "not a root" mark there), so
// closing it frees nothing it does not own.
TEST(VFS_Unit, RootSlot255IsARootToo) {
  TestMachine m;
  std::string path = Container(m, 64, 300, 300);
  const uint8_t byte = 7;
  {
    TVFSFile vfs;
    vfs.Open(path, true);
    for (int i = 0; i < 257; ++i) vfs.Tree.AddFile("f" + std::to_string(i), &byte, 1);
    vfs.Save(false);
  }
  TVFSFile again;
  again.Open(path, true);
  EXPECT_EQ(again.Tree.CountFiles(), 257u);
  EXPECT_EQ(CheckVFSContainer(path), "");
}

// The side file built in one sort equals the one InsertHashEntry builds file by
// file, duplicates included.
TEST(VFS_Unit, HashTableMatchesInsertion) {
  TestMachine m;
  TVFSFile vfs;
  vfs.Open(Container(m, 64, 256, 8), true);
  TBytes one = Bytes(5, 'x');
  for (const char* p : {"b.dat", "a.dat", "d\\c.dat", "d\\b.dat", "e\\f\\b.dat", "z.txt"}) {
    vfs.Tree.AddFile(p, one.data(), 5);
  }
  std::vector<TVFSHashEntry> expected(vfs.Tree.CountFiles());
  uint32_t count = 0;
  for (const TTreeFileInfo& n : vfs.Tree.Nodes) {
    if (n.Index == 0xFFFFFFFF || !(n.Entry->Flags & vfFile)) continue;
    TVFSHashEntry r{
        HashName(n.Path, n.Entry->Name), n.Entry->Flags, n.Entry->Size, n.Entry->OrigSize, n.Entry->FirstBlock, 1};
    InsertHashEntry(expected, static_cast<uint32_t>(expected.size() - 1), r, count);
  }
  expected.resize(count);
  std::vector<TVFSHashEntry> built = vfs.Tree.BuildHashTable();
  ASSERT_EQ(built.size(), expected.size());
  for (size_t i = 0; i < built.size(); ++i) {
    EXPECT_EQ(built[i].Hash, expected[i].Hash);
    EXPECT_EQ(built[i].FirstBlock, expected[i].FirstBlock);
    EXPECT_EQ(built[i].Unique, expected[i].Unique);
  }
}

// DescriptionSize 260 keeps 4 bytes of extra data and moves every later
// section by 4; a replaced root file takes the next free root slot, the old
// one zeroed on disk but kept taken until the container is opened again.
TEST(VFS_Unit, ExtraDataAndRootReplacement) {
  TestMachine m;
  std::string path = Container(m, 64, 8, 3);
  std::string bytes = TestMachine::Read(path);
  bytes[44] = 4;  // 260
  bytes[45] = 1;
  bytes.insert(304, "XTRA");
  TestMachine::Write(path, bytes);
  {
    TVFSFile vfs;
    vfs.Open(path, true);
    EXPECT_EQ(vfs.BlockTableStart, 52u + 260u);
    EXPECT_EQ(vfs.RootTableStart, 52u + 260u + 64u);
    EXPECT_EQ(vfs.DataStart, 52u + 260u + 64u + 3u * 88u);
    EXPECT_EQ(std::string(vfs.Header.ExtraData.begin(), vfs.Header.ExtraData.end()), "XTRA");
    TBytes one = Bytes(3, 'a'), two = Bytes(4, 'b');
    vfs.Tree.AddFile("root.txt", one.data(), 3);
    EXPECT_EQ(vfs.Tree.Nodes[static_cast<size_t>(vfs.Tree.FindByPath("root.txt"))].RootSlot, 0);
    vfs.Tree.AddFile("ROOT.TXT", two.data(), 4);
    EXPECT_EQ(vfs.Tree.Nodes[static_cast<size_t>(vfs.Tree.FindByPath("root.txt"))].RootSlot, 1);
    EXPECT_EQ(vfs.RootEntries[0].Name, "root.txt");  // still taken in memory
    vfs.Save(false);
  }
  bytes = TestMachine::Read(path);
  EXPECT_EQ(bytes.substr(304, 4), "XTRA");
  EXPECT_EQ(bytes.substr(52 + 260 + 64, 88), std::string(88, '\0'));  // slot 0 zeroed on disk
  EXPECT_EQ(CheckVFSContainer(path), "");
  TVFSFile again;
  again.Open(path, true);
  EXPECT_TRUE(again.RootEntries[0].Name.empty());
  EXPECT_EQ(again.RootEntries[1].Name, "ROOT.TXT");
}

#ifndef _WIN32
#include "platform/host/HostMachine.h"

namespace {

// A file's bytes in a container, or "-" when it holds no such file.
std::string Content(TVFSFile& Vfs, const std::string& Path) {
  int32_t node = Vfs.Tree.FindByPath(Path);
  if (node < 0) return "-";
  const TVFSEntry& e = *Vfs.Tree.Nodes[static_cast<size_t>(node)].Entry;
  std::optional<TBytes> stored = Vfs.ReadEntryData(e);
  TBytes data = stored ? UnpackStoredData(e, *stored) : TBytes();
  return std::string(data.begin(), data.end());
}

}  // namespace

// A VFS update (two files added, one replaced, saved) with a file operation
// failing at every point in turn, once or from then on: never a crash or a
// hang, and once the failure is gone the container passes its check and holds
// either its old or its new files, with no journal left beside it.
TEST(VFS_Unit, UpdatesWithEveryWriteFailing) {
  const TBytes a = Bytes(500, 'a'), b = Random(200);
  const std::string oldA(300, 'o'), newA(a.begin(), a.end()), newB(b.begin(), b.end());
  for (bool persist : {true, false}) {
    int walked = 0, restored = 0;
    for (uint64_t n = 1; n < 5000; ++n) {
      TestMachine m;
      std::string path = Container(m, 64, 256, 8);
      {
        TVFSFile vfs;
        vfs.Open(path, true);
        vfs.Tree.AddFile("maps\\a.dat", reinterpret_cast<const uint8_t*>(oldA.data()), 300);
        vfs.Save(false);
      }
      platform::host::InjectFileFault(n, persist);
      bool saved = false;
      try {
        TVFSFile vfs;
        vfs.Open(path, true);
        vfs.Tree.AddFile("maps\\a.dat", a.data(), 500);
        vfs.Tree.AddFile("maps\\desert\\b.dat", b.data(), 200);
        vfs.Tree.AddFile("c.txt", a.data(), 5);
        vfs.Save(false);
        saved = true;
      } catch (const ESetupError&) {
      }
      bool fired = platform::host::FileFaultFired();
      platform::host::InjectFileFault(0, false);
      ASSERT_EQ(CheckVFSContainer(path), "") << n << (persist ? " lasting" : " single");
      EXPECT_FALSE(platform::FileExists(path + ".undo")) << n;
      TVFSFile vfs;
      vfs.Open(path, true);
      std::string gotA = Content(vfs, "maps\\a.dat"), gotB = Content(vfs, "maps\\desert\\b.dat");
      std::string gotC = Content(vfs, "c.txt");
      if (gotA == oldA) {
        EXPECT_EQ(gotB, "-") << n;
        EXPECT_EQ(gotC, "-") << n;
        EXPECT_FALSE(saved) << n;
        ++restored;
      } else {
        EXPECT_EQ(gotA, newA) << n;
        EXPECT_EQ(gotB, newB) << n;
        EXPECT_EQ(gotC, newA.substr(0, 5)) << n;
      }
      if (!fired) break;
      ++walked;
    }
    EXPECT_GE(walked, 20) << persist;
    EXPECT_GE(restored, walked - 1) << persist;
  }
}
// A changed entry's date is the platform's: on the emulated machine the date
// machine.ini gives, not the host's clock.
TEST(VFS_Unit, EntryDateIsTheMachines) {
  TestMachine m;
  const std::string before = platform::host::Machine().Date;
  platform::host::Machine().Date = "2001-02-03";
  TVFSFile vfs;
  vfs.Open(Container(m, 64, 8, 4), true);
  const uint8_t byte = 1;
  uint32_t node = vfs.Tree.AddFile("dated.dat", &byte, 1);
  EXPECT_EQ(vfs.Tree.Nodes[node].Entry->Date, ((21u << 9) | (2u << 5) | 3u) << 16);
  platform::host::Machine().Date = before;
}

#endif
