#include "package/ZUI_PakFile.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>

#include "common/Strings.h"
#include "tests/support/Recorders.h"
#include "tests/support/TestMachine.h"

namespace {

struct Entry {
  std::string name;
  std::string data;
  uint16_t group = 0;
};

// Writes a package of the given entries; Stub bytes go in front.
void WritePak(const std::string& path, const std::vector<Entry>& entries, const std::string& stub = "") {
  if (!stub.empty()) TestMachine::Write(path, stub);
  TPak pak(path, stub.empty(), !stub.empty());
  ASSERT_TRUE(pak.IsOpen());
  for (const Entry& e : entries) {
    uint32_t i = pak.AddEntry(e.name, "", e.group);
    pak.WriteEntry(i, reinterpret_cast<const uint8_t*>(e.data.data()), static_cast<uint32_t>(e.data.size()));
  }
  ASSERT_TRUE(pak.WriteDirectory());
}

std::string AsString(const std::optional<TBytes>& b) { return b ? std::string(b->begin(), b->end()) : "<none>"; }

std::string Random(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

}  // namespace

// Entries round-trip; the trailer and directory are exactly where they say.
TEST(TPak, WriteThenReadBack) {
  TestMachine m;
  std::string path = m.Path("a.pak");
  std::string big(100000, 'z');
  WritePak(path, {{"SetupInfo", "info"}, {"data\\big.txt", big, 1}, {"rnd.bin", Random(5000, 1), 2}});
  TPak pak(path, false, false);
  ASSERT_TRUE(pak.Trailer.HasMagic());
  EXPECT_EQ(pak.Trailer.Version, 1);
  EXPECT_EQ(pak.Trailer.Count, 3);
  EXPECT_EQ(pak.Trailer.DataStart, 0u);
  ASSERT_EQ(pak.Entries.size(), 3u);
  EXPECT_EQ(pak.Entries[0].Offset, 0u);
  EXPECT_EQ(pak.Entries[1].Offset, pak.Entries[0].ReadSize());
  EXPECT_EQ(pak.Trailer.DirectoryOffset, pak.Entries[2].Offset + pak.Entries[2].ReadSize());
  EXPECT_EQ(AsString(pak.ReadEntry(1)), big);
  EXPECT_EQ(AsString(pak.ReadEntry(2)), Random(5000, 1));
  EXPECT_GT(pak.Entries[1].StoredSize, 0u);
  EXPECT_LT(pak.Entries[1].StoredSize, 1000u);
  for (uint32_t i = 0; i < 3; ++i) EXPECT_TRUE(pak.VerifyEntry(i)) << i;
  EXPECT_FALSE(pak.VerifyEntry(3));
  EXPECT_FALSE(pak.ReadStored(3).has_value());

  // The stored stream is zlib at level 9 and its checksum is zlib's CRC-32.
  auto stored = pak.ReadStored(1);
  ASSERT_TRUE(stored);
  EXPECT_EQ((*stored)[0], 0x78);
  EXPECT_EQ((*stored)[1], 0xDA);
  EXPECT_EQ(pak.Entries[1].Checksum, crc32(0, stored->data(), static_cast<uInt>(stored->size())));
}

// A 72-byte text does not get shorter compressed: it is stored raw, with
// stored size 0 and the checksum over the raw bytes.
TEST(TPak, ShortTextIsStoredRaw) {
  TestMachine m;
  std::string path = m.Path("raw.pak");
  std::string text = "The quick brown fox jumps over the lazy dog. Pack my box with five doz.";
  text.resize(72, '!');
  WritePak(path, {{"t.txt", text}});
  TPak pak(path, false, false);
  ASSERT_EQ(pak.Entries.size(), 1u);
  EXPECT_EQ(pak.Entries[0].StoredSize, 0u);
  EXPECT_EQ(pak.Entries[0].OrigSize, 72u);
  EXPECT_EQ(pak.Entries[0].Checksum, crc32(0, reinterpret_cast<const Bytef*>(text.data()), 72));
  EXPECT_EQ(AsString(pak.ReadStored(0)), text);
  EXPECT_EQ(AsString(pak.ReadEntry(0)), text);
}

// Raw only when the stream is longer than the data: a stream of exactly the
// data's length stays compressed.
TEST(TPak, StreamAsLongAsDataStaysCompressed) {
  std::string tail = Random(300, 7);
  std::string data;
  for (size_t zeros = 0; zeros < 200 && data.empty(); ++zeros) {
    std::string candidate = std::string(zeros, '\0') + tail;
    uLongf len = compressBound(static_cast<uLong>(candidate.size()));
    TBytes out(len);
    compress2(out.data(), &len, reinterpret_cast<const Bytef*>(candidate.data()), static_cast<uLong>(candidate.size()),
              9);
    if (len == candidate.size()) data = candidate;
  }
  ASSERT_FALSE(data.empty()) << "no input found whose stream is exactly as long";
  TestMachine m;
  std::string path = m.Path("eq.pak");
  WritePak(path, {{"eq.bin", data}});
  TPak pak(path, false, false);
  EXPECT_EQ(pak.Entries[0].StoredSize, data.size());
  EXPECT_EQ(AsString(pak.ReadEntry(0)), data);
}

// An entry of size 0 has no stored bytes: every read gives nothing.
TEST(TPak, EmptyEntryReadsAsNothing) {
  TestMachine m;
  std::string path = m.Path("empty.pak");
  {
    TPak pak(path, true, false);
    uint32_t i = pak.AddEntry("empty.txt", "", 1);
    const uint8_t none = 0;
    EXPECT_FALSE(pak.WriteEntry(i, &none, 0));
    EXPECT_FALSE(pak.WriteEntry(i, nullptr, 5));
    pak.Entries[i].OrigSize = 0;
    ASSERT_TRUE(pak.WriteDirectory());
  }
  TPak pak(path, false, false);
  ASSERT_EQ(pak.Entries.size(), 1u);
  EXPECT_FALSE(pak.ReadEntry(0).has_value());
  uint32_t size = 99;
  EXPECT_FALSE(pak.FindEntry("empty.txt", 1, size).has_value());
  EXPECT_EQ(size, 0u);
  EXPECT_FALSE(pak.VerifyEntry(0));
}

// Last 16 bytes without "ZUPF": no directory; a missing file the same.
TEST(TPak, MissingMagicMeansNoPackage) {
  TestMachine m;
  std::string path = m.Path("plain.exe");
  TestMachine::Write(path, std::string(4096, 'M'));
  TPak pak(path, false, false);
  EXPECT_TRUE(pak.IsOpen());
  EXPECT_FALSE(pak.Trailer.HasMagic());
  EXPECT_TRUE(pak.Entries.empty());
  uint32_t size = 1;
  EXPECT_FALSE(pak.FindEntry("SetupInfo", 0, size).has_value());
  std::string name;
  EXPECT_FALSE(pak.FindFirst(0, size, true, name).has_value());
  EXPECT_EQ(name, "");

  TPak missing(m.Path("nope.exe"), false, false);
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_NE(missing.OpenError(), 0u);
  EXPECT_TRUE(missing.Entries.empty());
  EXPECT_FALSE(missing.Trailer.HasMagic());

  TestMachine::Write(m.Path("tiny"), "ZUPF");
  TPak tiny(m.Path("tiny"), false, false);
  EXPECT_FALSE(tiny.Trailer.HasMagic());
}

// One altered stored byte: the CRC fails and every read returns nothing.
TEST(TPak, AlteredByteIsRefused) {
  TestMachine m;
  std::string path = m.Path("bad.pak");
  WritePak(path, {{"a", std::string(5000, 'a') + Random(100, 3)}, {"b", "bbbbbbbbbbbbbbbb"}});
  std::string bytes = TestMachine::Read(path);
  bytes[10] ^= 0x01;
  TestMachine::Write(path, bytes);
  TPak pak(path, false, false);
  ASSERT_EQ(pak.Entries.size(), 2u);
  EXPECT_FALSE(pak.ReadStored(0).has_value());
  EXPECT_FALSE(pak.ReadEntry(0).has_value());
  EXPECT_FALSE(pak.VerifyEntry(0));
  EXPECT_TRUE(pak.VerifyEntry(1));
  // A size grown past 70 MiB in the directory no longer passes unread.
  pak.Entries[1].OrigSize |= 0xFF000000u;
  EXPECT_FALSE(pak.VerifyEntry(1));
  pak.Entries[0] = pak.Entries[1];
  EXPECT_EQ(pak.VerifyEntries(2, 2, [](uint32_t, bool ok) { return ok; }), 1u);
}

// A length mismatch after inflation shows the DecompSize message and gives nothing.
TEST(TPak, DecompSizeMismatchIsReported) {
  TestMachine m;
  std::string path = m.Path("size.pak");
  {
    TPak pak(path, true, false);
    std::string data(1000, 'q');
    uint32_t i = pak.AddEntry("Pages.txt", "", 0);
    ASSERT_TRUE(pak.WriteEntry(i, reinterpret_cast<const uint8_t*>(data.data()), 1000));
    pak.Entries[i].OrigSize = 600;  // the directory now lies about the length
    uint32_t j = pak.AddEntry("longer", "", 0);
    ASSERT_TRUE(pak.WriteEntry(j, reinterpret_cast<const uint8_t*>(data.data()), 1000));
    pak.Entries[j].OrigSize = 1500;
    // A claim no deflate stream of its size can meet (over 1032 to 1) is
    // refused without allocating for it.
    uint32_t k = pak.AddEntry("claims", "", 0);
    ASSERT_TRUE(pak.WriteEntry(k, reinterpret_cast<const uint8_t*>(data.data()), 1000));
    pak.Entries[k].OrigSize = 60000000;
    ASSERT_TRUE(pak.WriteDirectory());
  }
  TPak pak(path, false, false);
  std::vector<std::pair<std::string, std::string>> shown;
  RecordingPrompt prompt;
  prompt.Answer = [&](const RecordingPrompt::Shown& s) {
    shown.push_back({s.Text, s.Caption});
    return platform::kIdOk;
  };
  EXPECT_FALSE(pak.ReadEntry(0).has_value());
  EXPECT_FALSE(pak.VerifyEntry(1));
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown[0].first, "Pages.txt\r\rError: DecompSize - 1000 OrigSize - 600");
  EXPECT_EQ(shown[0].second, "Error");
  EXPECT_EQ(shown[1].first, "longer\r\rError: DecompSize - 1000 OrigSize - 1500");
  EXPECT_FALSE(pak.VerifyEntry(2));
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[2].first, "claims\r\rError: DecompSize - 0 OrigSize - 60000000");
}

// Lookup by name ignores case and takes the group into account; the first of
// two equal names wins.
TEST(TPak, FindEntryByNameAndGroup) {
  TestMachine m;
  std::string path = m.Path("find.pak");
  WritePak(path, {{"readme.txt", "group one", 1},
                  {"ReadMe.TXT", "group zero", 0},
                  {"README.txt", "second in zero", 0},
                  {"other", "o", 2}});
  TPak pak(path, false, false);
  uint32_t size = 0;
  EXPECT_EQ(AsString(pak.FindEntry("readme.txt", 0, size)), "group zero");
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(AsString(pak.FindEntry("README.TXT", 1, size)), "group one");
  EXPECT_FALSE(pak.FindEntry("readme.txt", 3, size).has_value());
  EXPECT_EQ(size, 0u);
}

// Enumeration by group with the object's cursor, and the counting helpers.
TEST(TPak, EnumerationAndCounts) {
  TestMachine m;
  std::string path = m.Path("enum.pak");
  WritePak(path, {{"a", "1111", 1}, {"SetupInfo", "s", 0}, {"b", "22", 1}, {"c", "3", 2}, {"d", "4444444", 1}});
  TPak pak(path, false, false);
  std::vector<std::string> names;
  uint32_t size = 0;
  std::string name;
  for (auto data = pak.FindFirst(1, size, true, name); data; data = pak.FindNext(1, size, true, name)) {
    names.push_back(name + "=" + AsString(data) + "/" + std::to_string(size));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"a=1111/4", "b=22/2", "d=4444444/7"}));
  EXPECT_EQ(name, "");
  EXPECT_EQ(size, 0u);

  names.clear();
  pak.FindFirst(1, size, false, name);
  while (!name.empty()) {
    names.push_back(name);
    pak.FindNext(1, size, false, name);
  }
  EXPECT_EQ(names.size(), 3u);

  std::vector<uint32_t> indices;
  uint32_t index = 0;
  for (bool ok = pak.FindFirstIndex(1, index); ok; ok = pak.FindNextIndex(1, index)) indices.push_back(index);
  EXPECT_EQ(indices, (std::vector<uint32_t>{0, 2, 4}));
  indices.clear();
  pak.ForEachInGroup(2, [&](uint32_t i) { indices.push_back(i); });
  EXPECT_EQ(indices, (std::vector<uint32_t>{3}));
  pak.ForEachInGroup(2, nullptr);

  EXPECT_EQ(pak.GroupedCount(), 4u);
  EXPECT_EQ(pak.CountInGroup(1), 3u);
  EXPECT_EQ(pak.CountInGroup(0), 1u);
  EXPECT_EQ(pak.CountInGroup(9), 0u);
}

// Appending to a 966,144-byte stub: data start and first offset are the stub's length.
TEST(TPak, AppendToStub) {
  TestMachine m;
  std::string path = m.Path("setup.exe");
  std::string stub = "MZ" + Random(966144 - 2, 11);
  WritePak(path, {{"SetupInfo", "abc"}, {"f", "file", 1}}, stub);
  TPak pak(path, false, false);
  EXPECT_EQ(pak.Trailer.DataStart, 966144u);
  ASSERT_EQ(pak.Entries.size(), 2u);
  EXPECT_EQ(pak.Entries[0].Offset, 966144u);
  EXPECT_EQ(AsString(pak.ReadEntry(1)), "file");
  EXPECT_EQ(TestMachine::Read(path).substr(0, 966144), stub);
}

// Directories that do not fit the file leave the directory empty instead of
// reading past the end; entries pointing past the end read as nothing.
TEST(TPak, MalformedDirectoriesAreRefused) {
  TestMachine m;
  std::string path = m.Path("m.pak");
  WritePak(path, {{"one", "11111111111", 1}, {"two", "2222222222222", 1}});
  const std::string good = TestMachine::Read(path);
  const size_t trailer = good.size() - 16;

  auto withTrailer = [&](uint16_t count, uint32_t dirOffset) {
    std::string b = good;
    b[trailer + 6] = static_cast<char>(count & 0xFF);
    b[trailer + 7] = static_cast<char>(count >> 8);
    for (int i = 0; i < 4; ++i) b[trailer + 12 + i] = static_cast<char>((dirOffset >> (8 * i)) & 0xFF);
    return b;
  };
  uint32_t dirOffset = static_cast<uint32_t>(good[trailer + 12] & 0xFF) | ((good[trailer + 13] & 0xFF) << 8);

  const std::pair<std::string, std::string> cases[] = {
      {"count beyond the records", withTrailer(60000, dirOffset)},
      {"directory past the end", withTrailer(2, 0xFFFFFF00u)},
      {"directory inside the trailer", withTrailer(2, static_cast<uint32_t>(good.size() - 4))},
  };
  for (const auto& [what, bytes] : cases) {
    TestMachine::Write(path, bytes);
    TPak pak(path, false, false);
    EXPECT_TRUE(pak.Trailer.HasMagic()) << what;
    EXPECT_TRUE(pak.Entries.empty()) << what;
  }

  // An entry whose bytes would lie past the end of the file: nothing, at once.
  std::string b = good;
  size_t firstRecord = dirOffset;
  size_t offsetField = firstRecord + 2 + 3 + 4;
  b[offsetField + 3] = 0x7F;
  TestMachine::Write(path, b);
  TPak pak(path, false, false);
  ASSERT_EQ(pak.Entries.size(), 2u);
  EXPECT_FALSE(pak.ReadStored(0).has_value());
  EXPECT_TRUE(pak.VerifyEntry(1));
}

// Extraction writes each entry below the target, records it, reports status
// and progress per entry, and refuses names that would leave the target.
TEST(TPak, ExtractGroupRefusesEscapingNames) {
  TestMachine m;
  std::string path = m.Path("x.pak");
  WritePak(path, {{"ok.txt", "fine", 1},
                  {"..\\..\\evil.dll", "evil", 1},
                  {"C:\\Windows\\evil.dll", "evil", 1},
                  {"\\rooted.dll", "evil", 1},
                  {"sub\\..\\..\\evil2.dll", "evil", 1},
                  {"sub\\deep\\file.bin", "deep", 1},
                  {"empty.txt", "", 1},
                  {"other.txt", "not this group", 2}});
  TPak pak(path, false, false);
  RecordingObserver obs;
  RecordingRecorder rec;
  TExtractSink sink{&obs, &rec, u"Extracting <%FILENAME%>...", nullptr};
  std::string target = m.Path("inst\\game");
  EXPECT_EQ(pak.ExtractGroup(target, 1, sink), 4u);
  EXPECT_EQ(TestMachine::Read(target + "\\ok.txt"), "fine");
  EXPECT_EQ(TestMachine::Read(target + "\\sub\\deep\\file.bin"), "deep");
  EXPECT_EQ(TestMachine::Read(target + "\\empty.txt"), "");
  EXPECT_FALSE(platform::FileExists(target + "\\other.txt"));
  EXPECT_FALSE(platform::FileExists(m.Path("evil.dll")));
  EXPECT_FALSE(platform::FileExists(m.Path("inst\\evil2.dll")));
  EXPECT_FALSE(platform::FileExists("C:\\Windows\\evil.dll") && std::string(TestMachine::Kind()) == "host");
  EXPECT_EQ(rec.files,
            (std::vector<std::string>{target + "\\ok.txt", target + "\\sub\\deep\\file.bin", target + "\\empty.txt"}));
  EXPECT_EQ(rec.dirs,
            (std::vector<std::string>{m.Path("inst\\"), target + "\\", target + "\\sub\\", target + "\\sub\\deep\\"}));
  EXPECT_EQ(obs.steps, 3);
  ASSERT_EQ(obs.status.size(), 3u);
  EXPECT_EQ(obs.status[0], u"Extracting ok.txt...");
}

// A 100 MiB entry is copied in four 25 MiB chunks with four progress texts and
// is not checked (its checksum field stays 0).
TEST(TPak, LargeEntryIsStreamed) {
  TestMachine m;
  std::string path = m.Path("big.pak");
  const uint32_t size = 104857600;
  {
    // The entry's bytes: a sparse run of zeros with a marker at each end.
    platform::File f;
    ASSERT_TRUE(f.Open(path, platform::kAccessWrite, platform::kShareNone, platform::FileDisposition::kCreateAlways));
    f.Write("HEAD", 4);
    ASSERT_TRUE(f.Seek(size - 4, platform::SeekOrigin::kBegin));
    f.Write("TAIL", 4);
  }
  {
    TPak pak(path, false, true);
    uint32_t i = pak.AddEntry("data\\big.bin", "", 1);
    pak.Entries[i].OrigSize = size;
    ASSERT_TRUE(pak.WriteDirectory());
  }
  TPak pak(path, false, false);
  ASSERT_EQ(pak.Entries.size(), 1u);
  EXPECT_TRUE(pak.VerifyEntry(0));
  RecordingObserver obs;
  TExtractSink sink{&obs, nullptr, u"<%FILENAME%>", nullptr};
  EXPECT_EQ(pak.ExtractGroup(m.Path("out"), 1, sink), 0u);
  ASSERT_EQ(obs.status.size(), 5u);  // the entry's own text, then one per chunk
  EXPECT_EQ(obs.status[0], u"data\\big.bin");
  EXPECT_EQ(obs.status[1], u"data\\big.bin - 0.00 Bytes / 100.00 MB");
  EXPECT_EQ(obs.status[2], u"data\\big.bin - 25.00 MB / 100.00 MB");
  EXPECT_EQ(obs.status[3], u"data\\big.bin - 50.00 MB / 100.00 MB");
  EXPECT_EQ(obs.status[4], u"data\\big.bin - 75.00 MB / 100.00 MB");
  EXPECT_EQ(obs.steps, 1);
  platform::File out;
  ASSERT_TRUE(out.Open(m.Path("out\\data\\big.bin"), platform::kAccessRead, platform::kShareRead,
                       platform::FileDisposition::kOpenExisting));
  EXPECT_EQ(out.Size(), static_cast<int64_t>(size));
  char head[4], tail[4];
  out.Read(head, 4);
  out.Seek(size - 4, platform::SeekOrigin::kBegin);
  out.Read(tail, 4);
  EXPECT_EQ(std::string(head, 4), "HEAD");
  EXPECT_EQ(std::string(tail, 4), "TAIL");
}

// Entries written from source files, the large one copied raw in chunks.
TEST(TPak, WriteEntryFromFile) {
  TestMachine m;
  std::string src = m.Path("src.txt");
  TestMachine::Write(src, std::string(3000, 'k'));
  std::string path = m.Path("f.pak");
  {
    TPak pak(path, true, false);
    uint32_t i = pak.AddEntry("src.txt", src, 1);
    EXPECT_TRUE(pak.WriteEntryFromFile(i));
    uint32_t j = pak.AddEntry("missing.txt", m.Path("missing.txt"), 1);
    EXPECT_FALSE(pak.WriteEntryFromFile(j));
    pak.Entries.pop_back();
    ASSERT_TRUE(pak.WriteDirectory());
  }
  TPak pak(path, false, false);
  ASSERT_EQ(pak.Entries.size(), 1u);
  EXPECT_EQ(AsString(pak.ReadEntry(0)), std::string(3000, 'k'));
  EXPECT_EQ(pak.Entries[0].SourcePath, "");
}

namespace {

// A package whose first entry is slow to inflate, so that workers finish the
// later entries first; entries 2 and 4 are damaged, entry 3 lies about its
// length (the DecompSize message).
std::string SlowFirstPak(const TestMachine& m) {
  std::string path = m.Path("slow.pak");
  {
    TPak pak(path, true, false);
    std::vector<std::string> data = {std::string(24 << 20, 'z') + Random(1 << 20, 1),
                                     "one",
                                     Random(3000, 2),
                                     std::string(2000, 'd'),
                                     Random(3000, 4),
                                     "five"};
    for (size_t i = 0; i < data.size(); ++i) {
      uint32_t k = pak.AddEntry("e" + std::to_string(i), "", 1);
      pak.WriteEntry(k, reinterpret_cast<const uint8_t*>(data[i].data()), static_cast<uint32_t>(data[i].size()));
    }
    pak.Entries[3].OrigSize = 1999;
    pak.WriteDirectory();
  }
  std::string bytes = TestMachine::Read(path);
  TPak probe(path, false, false);
  bytes[probe.Entries[2].Offset + 100] ^= 0x10;
  bytes[probe.Entries[4].Offset + 100] ^= 0x10;
  probe.Close();
  TestMachine::Write(path, bytes);
  return path;
}

}  // namespace

// Checked ahead on workers, the entries are still reported in order, and the
// first failing entry in that order is the one that stops the check.
TEST(TPak, VerifyEntriesInOrder) {
  TestMachine m;
  std::string path = SlowFirstPak(m);
  for (uint32_t threads : {1u, 2u, 4u}) {
    TPak pak(path, false, false);
    std::vector<std::string> events;
    RecordingPrompt prompt;
    prompt.Answer = [&](const RecordingPrompt::Shown& s) {
      events.push_back("message " + s.Text);
      return platform::kIdOk;
    };
    uint32_t n = pak.VerifyEntries(6, threads, [&](uint32_t i, bool ok) {
      events.push_back(std::to_string(i) + (ok ? " ok" : " failed"));
      return true;
    });
    EXPECT_EQ(n, 3u) << threads;
    EXPECT_EQ(events, (std::vector<std::string>{"0 ok", "1 ok", "2 failed"})) << threads;
    // Past the damaged entry (the caller stops after it anyway), the length
    // message comes before the entry's own report.
    events.clear();
    pak.Entries[2] = pak.Entries[1];
    n = pak.VerifyEntries(6, threads, [&](uint32_t i, bool ok) {
      events.push_back(std::to_string(i) + (ok ? " ok" : " failed"));
      return true;
    });
    EXPECT_EQ(events, (std::vector<std::string>{"0 ok", "1 ok", "2 ok",
                                                "message e3\r\rError: DecompSize - 2000 OrigSize - 1999", "3 failed"}))
        << threads;
    // The caller may stop early.
    EXPECT_EQ(pak.VerifyEntries(6, threads, [](uint32_t i, bool) { return i < 1; }), 2u);
  }
}

// Extraction with workers reading ahead writes the same files and reports the
// same texts, records and messages in the same order as on one thread.
TEST(TPak, ExtractionAheadKeepsTheOrder) {
  TestMachine m;
  std::string path = m.Path("many.pak");
  std::vector<Entry> entries;
  for (int i = 0; i < 40; ++i) {
    entries.push_back({"dir" + std::to_string(i % 3) + "\\f" + std::to_string(i) + ".bin",
                       i % 5 == 0 ? Random(20000 + i, i) : std::string(3000 + 7 * i, static_cast<char>('a' + i % 26)),
                       static_cast<uint16_t>(i % 2 + 1)});
  }
  entries.push_back({"..\\escape.txt", "no", 1});
  WritePak(path, entries);
  // Texts, messages, records and steps in one log, as they happen.
  struct Log : TSetupObserver, TInstallRecorder {
    std::vector<std::string> lines;
    void SetStatusText(const WideString& Text) override { lines.push_back(platform::WideToUtf8(Text)); }
    void StepProgress(bool) override { lines.push_back("step"); }
    void SetFinishText(const WideString&, bool) override {}
    void SetProgress(uint32_t, uint32_t) override {}
    void AddInstalledFile(const std::string& Path) override { lines.push_back("file " + Path); }
    void AddDirectory(const std::string& Path) override { lines.push_back("dir " + Path); }
  };
  auto run = [&](uint32_t threads, const std::string& target) {
    TPak pak(path, false, false);
    pak.Entries[12].OrigSize -= 1;  // one entry gives the DecompSize message
    pak.ExtractThreads = threads;
    Log log;
    RecordingPrompt prompt;
    prompt.Answer = [&](const RecordingPrompt::Shown& s) {
      log.lines.push_back("message " + s.Text);
      return platform::kIdOk;
    };
    TExtractSink sink{&log, &log, u"Extracting <%FILENAME%>",
                      [&log](const std::string& Target, const std::string& Reason) {
                        log.lines.push_back("failed " + Target + ": " + Reason);
                      }};
    EXPECT_EQ(pak.ExtractGroup(target, 1, sink), 1u);
    for (std::string& line : log.lines) line = ReplaceText(line, target, "T");
    return log.lines;
  };
  std::vector<std::string> single = run(1, m.Path("one"));
  EXPECT_EQ(run(2, m.Path("two")), single);
  EXPECT_EQ(run(3, m.Path("three")), single);
  // Entry 12 is the seventh of the group: text, message, the (empty) file
  // written and then recorded (it is there to be removed again), the
  // failure reported, the step counted.
  auto at = std::find(single.begin(), single.end(), "Extracting " + entries[12].name);
  ASSERT_NE(at, single.end());
  ASSERT_GE(single.end() - at, 5);
  EXPECT_EQ(at[1], "message " + entries[12].name + "\r\rError: DecompSize - " +
                       std::to_string(entries[12].data.size()) + " OrigSize - " +
                       std::to_string(entries[12].data.size() - 1));
  auto next = at + 2;
  if (next->rfind("dir ", 0) == 0) ++next;
  EXPECT_EQ(next[0], "file T\\" + entries[12].name);
  EXPECT_EQ(next[1], "failed T\\" + entries[12].name + ": the package entry could not be read");
  EXPECT_EQ(next[2], "step");
  EXPECT_EQ(std::count(single.begin(), single.end(), "step"), 20);
  for (int i = 0; i < 40; i += 2) {
    std::string want = i == 12 ? "" : entries[i].data;
    EXPECT_EQ(TestMachine::Read(m.Path("two") + "\\" + entries[i].name), want) << i;
    EXPECT_EQ(TestMachine::Read(m.Path("one") + "\\" + entries[i].name), want) << i;
  }
}

// The directory digest: written last, it matches as written; a package
// without one is absent, not failed; any single changed byte of a name, a
// group, the count or a trailer field makes it differ, also when the changed
// group is the digest's own; a game file of that name earlier in the package
// is not taken for it.
TEST(TPak, DirectoryDigestCoversNamesGroupsAndTrailer) {
  TestMachine m;
  std::string path = m.Path("d.pak");
  {
    TestMachine::Write(path, "MZstub");
    TPak pak(path, false, true);
    const std::vector<Entry> entries = {{"SetupInfo", "info"}, {"readme.txt", "hello", 1}, {"DirectoryDigest", "x", 1}};
    for (const Entry& e : entries) {
      uint32_t i = pak.AddEntry(e.name, "", e.group);
      pak.WriteEntry(i, reinterpret_cast<const uint8_t*>(e.data.data()), static_cast<uint32_t>(e.data.size()));
    }
    ASSERT_TRUE(pak.WriteDirectoryWithDigest());
  }
  const std::string good = TestMachine::Read(path);
  uint32_t index = 0;
  {
    TPak pak(path, false, false);
    ASSERT_EQ(pak.Entries.size(), 4u);
    EXPECT_EQ(pak.Entries[3].Name, kDirectoryDigestEntry);
    EXPECT_EQ(pak.Entries[3].Group, 0);
    EXPECT_EQ(pak.Entries[3].StoredSize, 0u);
    EXPECT_EQ(pak.Entries[3].OrigSize, kDirectoryDigestSize);
    EXPECT_EQ(pak.Trailer.DirectoryOffset, pak.Entries[3].Offset + kDirectoryDigestSize);
    EXPECT_TRUE(pak.VerifyEntry(3));
    EXPECT_EQ(pak.CheckDirectoryDigest(index), TDigestCheck::kMatches);
    EXPECT_EQ(index, 3u);
  }

  const size_t trailer = good.size() - kTrailerSize;
  const size_t directory = GetU32(reinterpret_cast<const uint8_t*>(good.data()) + trailer + 12);
  struct Change {
    const char* what;
    size_t at;
  };
  const size_t readmeRecord = directory + 2 + 9 + 18;  // after "SetupInfo"'s record
  const size_t digestRecord = readmeRecord + 2 + 10 + 18 + 2 + 15 + 18;
  for (const Change& c :
       {Change{"a name", readmeRecord + 2}, Change{"a group", readmeRecord + 2 + 10 + 16},
        Change{"the digest's group", digestRecord + 2 + 15 + 16}, Change{"the trailer's version", trailer + 4},
        Change{"the trailer's data start", trailer + 8}}) {
    std::string bad = good;
    bad[c.at] = static_cast<char>(bad[c.at] ^ 0x01);
    TestMachine::Write(path, bad);
    TPak pak(path, false, false);
    EXPECT_EQ(pak.CheckDirectoryDigest(index), TDigestCheck::kDiffers) << c.what;
    EXPECT_EQ(index, 3u) << c.what;
  }

  // A trailer counting one entry fewer hides the digest's own record: the
  // bytes it leaves before the trailer are damage, not a package without one.
  {
    std::string bad = good;
    uint16_t count = static_cast<uint16_t>(GetU16(reinterpret_cast<const uint8_t*>(bad.data()) + trailer + 6) - 1);
    bad[trailer + 6] = static_cast<char>(count & 0xFF);
    bad[trailer + 7] = static_cast<char>(count >> 8);
    TestMachine::Write(path, bad);
    TPak pak(path, false, false);
    ASSERT_EQ(pak.Entries.size(), 3u);
    EXPECT_EQ(pak.CheckDirectoryDigest(index), TDigestCheck::kDiffers);
    EXPECT_EQ(index, 2u);
  }

  // Without the digest (the uninstaller builder's packages, older setups).
  WritePak(path, {{"SetupInfo", "info"}, {"readme.txt", "hello", 1}});
  TPak plain(path, false, false);
  EXPECT_EQ(plain.CheckDirectoryDigest(index), TDigestCheck::kAbsent);
}
