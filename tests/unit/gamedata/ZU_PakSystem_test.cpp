// The game archive: trailer forms, updates, the member forms and the undo
// file that makes an interrupted update harmless.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cmath>
#include <cstring>

#include "common/BufferManager.h"
#include "gamedata/LineEncryption.h"
#include "gamedata/ZU_PakSystem.h"
#include "tests/support/Recorders.h"
#include "tests/support/TestMachine.h"

#ifndef _WIN32
#include "platform/host/HostMachine.h"
#endif

namespace {

struct Member {
  std::string Name;
  uint8_t Kind;
  TBytes Stored;
  uint32_t OrigSize;
};

// An archive written by hand, independently of the unit under test.
TBytes MakeArchive(const std::vector<Member>& Members, const TBytes& Trailer) {
  TBytes file, records;
  for (const Member& m : Members) {
    uint8_t r[152] = {};
    r[0] = 13;
    r[1] = 10;
    r[2] = m.Kind;
    PutU32(r + 8, static_cast<uint32_t>(m.Stored.size()));
    PutU32(r + 12, m.OrigSize);
    PutU32(r + 16, static_cast<uint32_t>(file.size()));
    PutU32(r + 20, 0xDEADBEEF);  // cleared when read
    r[24] = static_cast<uint8_t>(m.Name.size());
    std::memcpy(r + 25, m.Name.data(), m.Name.size());
    records.insert(records.end(), r, r + 152);
    file.insert(file.end(), m.Stored.begin(), m.Stored.end());
  }
  uLongf size = compressBound(static_cast<uLong>(records.size()));
  TBytes packed(size);
  compress2(packed.data(), &size, records.data(), static_cast<uLong>(records.size()), 9);
  packed.resize(size);
  file.insert(file.end(), packed.begin(), packed.end());
  for (uint32_t v : {static_cast<uint32_t>(size), static_cast<uint32_t>(records.size()), 5u,
                     static_cast<uint32_t>(Members.size()), 0u}) {
    WriteU32(file, v);
  }
  file.insert(file.end(), Trailer.begin(), Trailer.end());
  return file;
}

TBytes Bytes(const std::string& s) { return TBytes(s.begin(), s.end()); }
std::string Text(const TBytes& b) { return std::string(b.begin(), b.end()); }

TBytes CurrentTrailer(const std::string& Tag, uint8_t A, uint8_t B, const std::string& Password, int Official) {
  TQuarnEncryptionType q;
  q.SeedA = A;
  q.SeedB = B;
  std::string cipher = q.Encrypt(Password);
  TBytes t = Bytes(std::string("ZUP3\x01\x00", 6) + Tag);
  t.push_back(A);
  t.push_back(B);
  WriteU16(t, static_cast<uint16_t>(cipher.size()));
  t.insert(t.end(), cipher.begin(), cipher.end());
  if (Official >= 0) t.push_back(static_cast<uint8_t>(Official));
  return t;
}

// A 16-bit (or 8-bit) canonical WAVE file, with an optional cue chunk.
TBytes MakeWav(uint16_t Channels, uint16_t Bits, const TBytes& Data, std::vector<uint32_t> Cues = {}) {
  TBytes w = Bytes("RIFF");
  WriteU32(w, 0);
  w.insert(w.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  WriteU32(w, 16);
  WriteU16(w, 1);
  WriteU16(w, Channels);
  WriteU32(w, 22050);
  WriteU32(w, 22050u * Channels * Bits / 8);
  WriteU16(w, static_cast<uint16_t>(Channels * Bits / 8));
  WriteU16(w, Bits);
  w.insert(w.end(), {'d', 'a', 't', 'a'});
  WriteU32(w, static_cast<uint32_t>(Data.size()));
  w.insert(w.end(), Data.begin(), Data.end());
  if (!Cues.empty()) {
    w.insert(w.end(), {'c', 'u', 'e', ' '});
    WriteU32(w, 4 + 24 * static_cast<uint32_t>(Cues.size()));
    WriteU32(w, static_cast<uint32_t>(Cues.size()));
    for (uint32_t i = 0; i < Cues.size(); ++i) {
      WriteU32(w, i + 1);
      WriteU32(w, Cues[i]);
      w.insert(w.end(), {'d', 'a', 't', 'a'});
      for (int k = 0; k < 3; ++k) WriteU32(w, 0);
    }
  }
  PutU32(w.data() + 4, static_cast<uint32_t>(w.size() - 8));
  return w;
}

TBytes Sine(uint32_t Samples, uint32_t Channels) {
  TBytes d;
  for (uint32_t i = 0; i < Samples; ++i) {
    for (uint32_t c = 0; c < Channels; ++c) {
      double v = 12000.0 * std::sin(i * (0.05 + 0.03 * c)) + 3000.0 * std::sin(i * 0.31);
      WriteU16(d, static_cast<uint16_t>(static_cast<int16_t>(v)));
    }
  }
  return d;
}

// A test's own archive system: the program's ends become recorded calls;
// the Retry/Cancel box is answered Cancel, the fatal box keeps its text.
struct Archives {
  struct Prompt : RecordingPrompt {
    std::string* last = nullptr;
    void FatalAppExit(const std::string& Text) override { *last = Text; }
  };
  Archives() {
    prompt.last = &fatal;
    prompt.Answer = [](const RecordingPrompt::Shown&) { return platform::kIdCancel; };  // no box on a test's screen
    sys.OnExit = [this](uint32_t c) { exitCode = static_cast<int>(c); };
  }
  std::string fatal;
  Prompt prompt;
  TPakSystem sys;
  int exitCode = -1;
};

struct Fixture {
  TestMachine m;
  std::string archive = m.Path("data.zup");
  Archives a;

  void Put(const TBytes& Bytes) { TestMachine::Write(archive, Text(Bytes)); }
  TBytes Get() const { return Bytes(TestMachine::Read(archive)); }
  // Members from files written on the test machine.
  TFileMembers Files(const std::vector<std::pair<std::string, TBytes>>& Items) {
    std::vector<TFileMembers::Item> list;
    int n = 0;
    for (const auto& [name, bytes] : Items) {
      std::string source = m.Path("src" + std::to_string(n++));
      TestMachine::Write(source, Text(bytes));
      list.push_back({name, source});
    }
    return TFileMembers(list);
  }
  void Update(const std::vector<std::pair<std::string, TBytes>>& Items, const std::string& Password = "") {
    TFileMembers members = Files(Items);
    a.sys.UpdateArchive(members, archive, Password);
  }
  // Every member's name and original bytes, in directory order.
  std::vector<std::pair<std::string, std::string>> Contents() {
    a.sys.OpenArchive(archive);
    std::vector<std::pair<std::string, std::string>> out;
    for (const TArchiveEntry& e : a.sys.Directory.Records()) {
      std::optional<TBytes> stored = a.sys.ReadStored(e);
      std::optional<TBytes> bytes = stored ? DecodeMember(e, *stored) : std::nullopt;
      out.emplace_back(e.Name, bytes ? Text(*bytes) : "<unreadable>");
    }
    a.sys.CloseArchive();
    return out;
  }
};

TBytes Stream(const std::string& Original) {
  return CompressMember(reinterpret_cast<const uint8_t*>(Original.data()), Original.size());
}

}  // namespace

TEST(ZU_PakSystem, TrailerForms) {
  Fixture f;
  Member m{"Maps\\A.dat", 2, Stream("alpha"), 5};
  struct Case {
    TBytes trailer;
    TTrailerForm form;
    std::string password;
    bool official;
  } cases[] = {
      {{}, TTrailerForm::kNone, "", false},
      {Bytes(std::string("ZUP2abc\0\0\0\0\0\0", 13)), TTrailerForm::kOld, "abc", false},
      {Bytes(std::string("ZUP2x9-zzzzzz", 13)), TTrailerForm::kOld, "x9", false},
      {CurrentTrailer("EIH1", 3, 5, "Secret7", -1), TTrailerForm::kCurrent, "Secret7", false},
      {CurrentTrailer("EIH2", 2, 6, "pw", 1), TTrailerForm::kCurrent, "pw", true},
      {CurrentTrailer("EIH2", 4, 4, "", 0), TTrailerForm::kCurrent, "", false},
  };
  for (const Case& c : cases) {
    f.Put(MakeArchive({m}, c.trailer));
    f.a.sys.OpenArchive(f.archive);
    EXPECT_EQ(f.a.sys.TrailerForm, c.form);
    EXPECT_EQ(f.a.sys.ExtraInfo.Password, c.password);
    EXPECT_EQ(f.a.sys.ExtraInfo.HasPassword, !c.password.empty());
    EXPECT_EQ(f.a.sys.ExtraInfo.Official, c.official);
    ASSERT_EQ(f.a.sys.Directory.Count(), 1u);
    const TArchiveEntry* e = f.a.sys.Directory.Find("MAPS\\a.DAT");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Offset, 0u);
    EXPECT_EQ(e->OrigSize, 5u);
    EXPECT_EQ(f.a.sys.DirectoryOffset, m.Stored.size());
    f.a.sys.CloseArchive();
  }
  EXPECT_TRUE(f.a.fatal.empty());
}

// Updating an archive without a trailer: the member is appended after the old
// data, and the file ends in a current trailer with an "EIH2" block.
TEST(ZU_PakSystem, UpdateWritesCurrentTrailer) {
  Fixture f;
  f.Put(MakeArchive({{"old.txt", 2, Stream("old"), 3}}, {}));
  f.Update({{"new.txt", Bytes("new data")}}, "Key1");
  TBytes file = f.Get();
  // "ZUP3" 1 "EIH2" A B L cipher official: the last 19 bytes for a 4-letter password.
  ASSERT_GT(file.size(), 19u);
  const uint8_t* t = file.data() + file.size() - 19;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t), 4), "ZUP3");
  EXPECT_EQ(GetU16(t + 4), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t + 6), 4), "EIH2");
  EXPECT_GE(t[10], 2);
  EXPECT_LE(t[10], 6);
  EXPECT_GE(t[11], 2);
  EXPECT_LE(t[11], 6);
  EXPECT_EQ(GetU16(t + 12), 4);
  EXPECT_EQ(t[18], 0);
  auto contents = f.Contents();
  EXPECT_EQ(contents, (std::vector<std::pair<std::string, std::string>>{{"old.txt", "old"}, {"new.txt", "new data"}}));
  EXPECT_EQ(f.a.sys.ExtraInfo.Password, "Key1");
  EXPECT_FALSE(platform::FileExists(f.archive + ".undo"));
  f.a.sys.OpenArchive(f.archive);
  const TArchiveEntry* e = f.a.sys.Directory.Find("new.txt");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Kind, kMemberStream);
  EXPECT_EQ(e->Date, DosDate(platform::Today()));
  EXPECT_EQ(e->Offset, Stream("old").size());
  f.a.sys.CloseArchive();
}

// The same member again changes nothing; a changed one gets a new record at
// the end under the old record's name, and its old bytes stay in the file.
TEST(ZU_PakSystem, ReapplyAndReplace) {
  Fixture f;
  f.Put(MakeArchive({{"Data\\Foo.TXT", 2, Stream("first"), 5}, {"b.txt", 2, Stream("bee"), 3}}, {}));
  f.Update({{"data\\foo.txt", Bytes("first")}});  // the same bytes: skipped
  size_t length = f.Get().size();
  f.Update({{"data\\foo.txt", Bytes("first")}});
  EXPECT_EQ(f.Get().size(), length);
  f.Update({{"data\\foo.txt", Bytes("second version")}});
  auto contents = f.Contents();
  EXPECT_EQ(contents,
            (std::vector<std::pair<std::string, std::string>>{{"b.txt", "bee"}, {"Data\\Foo.TXT", "second version"}}));
  TBytes file = f.Get();
  TBytes old = Stream("first");
  EXPECT_TRUE(std::equal(old.begin(), old.end(), file.begin()));  // the old data is still at offset 0
}

TEST(ZU_PakSystem, Passwords) {
  Fixture f;
  f.Put(MakeArchive({}, Bytes(std::string("ZUP2abc\0\0\0\0\0\0", 13))));
  TBytes before = f.Get();
  EXPECT_THROW(f.Update({{"x.txt", Bytes("x")}}, "ABC"), EArchiveFatal);
  EXPECT_EQ(f.a.fatal, "Error Incorrect Password\rFile: " + f.archive);
  EXPECT_EQ(f.Get(), before);
  f.a.fatal.clear();
  f.Update({{"x.txt", Bytes("x")}}, "abc");
  EXPECT_TRUE(f.a.fatal.empty());
  f.a.sys.OpenArchive(f.archive);
  EXPECT_EQ(f.a.sys.TrailerForm, TTrailerForm::kCurrent);
  EXPECT_EQ(f.a.sys.ExtraInfo.Password, "abc");
  f.a.sys.CloseArchive();
  // An archive without a password takes the given one; an empty one is none.
  f.Put(MakeArchive({}, {}));
  f.Update({{"x.txt", Bytes("x")}}, "");
  f.Update({{"y.txt", Bytes("y")}}, "later");
  f.a.sys.OpenArchive(f.archive);
  EXPECT_EQ(f.a.sys.ExtraInfo.Password, "later");
  f.a.sys.CloseArchive();
}

TEST(ZU_PakSystem, Official) {
  Fixture f;
  f.Put(MakeArchive({{"a", 2, Stream("a"), 1}}, CurrentTrailer("EIH2", 3, 3, "pw", 0)));
  TBytes before = f.Get();
  f.a.sys.SetOfficial(f.archive, "wrong", "TRUE");
  EXPECT_EQ(f.Get(), before);
  auto official = [&] {
    f.a.sys.OpenArchive(f.archive);
    bool o = f.a.sys.ExtraInfo.Official;
    EXPECT_EQ(f.a.sys.ExtraInfo.Password, "pw");
    EXPECT_EQ(f.a.sys.Directory.Count(), 1u);
    f.a.sys.CloseArchive();
    return o;
  };
  for (const char* flag : {"TRUE", "t", "1"}) {
    f.a.sys.SetOfficial(f.archive, "VorMelk", "no");
    EXPECT_FALSE(official());
    f.a.sys.SetOfficial(f.archive, "vormelk", flag);
    EXPECT_TRUE(official()) << flag;
  }
  f.a.sys.SetOfficial(f.archive, "vormelk", "yes");
  EXPECT_FALSE(official());
}

TEST(ZU_PakSystem, DuplicateEntry) {
  Fixture f;
  f.Put(MakeArchive({{"Sounds\\A.wav", 2, Stream("aaa"), 3}, {"other", 2, Stream("zz"), 2}}, {}));
  TBytes before = f.Get();
  f.a.sys.DuplicateEntry(f.archive, "missing", "copy");
  EXPECT_EQ(f.Get(), before);
  f.a.sys.DuplicateEntry(f.archive, "sounds\\a.WAV", "Copies\\B.wav");
  f.a.sys.DuplicateEntry(f.archive, "sounds\\a.WAV", "OTHER");  // other data: unchanged
  auto contents = f.Contents();
  EXPECT_EQ(contents, (std::vector<std::pair<std::string, std::string>>{
                          {"Sounds\\A.wav", "aaa"}, {"other", "zz"}, {"copies\\b.wav", "aaa"}}));
  f.a.sys.OpenArchive(f.archive);
  EXPECT_EQ(f.a.sys.Directory.Find("copies\\b.wav")->Offset, 0u);
  f.a.sys.CloseArchive();
}

TEST(ZU_PakSystem, ScrambledStreams) {
  uint8_t four[4] = {1, 2, 3, 4};
  ScrambleStream(four, 4);
  EXPECT_EQ(GetU32(four), 0x04030201u);
  uint8_t five[5] = {1, 2, 3, 4, 5};
  ScrambleStream(five, 5);
  EXPECT_EQ(GetU32(five), 0x04030201u ^ static_cast<uint32_t>(crc32(0, five + 4, 1)));
  std::string text(5000, 'q');
  TBytes stored = Stream(text);
  TArchiveEntry e;
  e.Kind = kMemberStream;
  e.OrigSize = 5000;
  EXPECT_EQ(Text(*DecodeMember(e, stored)), text);
  e.OrigSize = 4999;
  EXPECT_FALSE(DecodeMember(e, stored));
  e.OrigSize = 0xFFFFFFFF;  // a claim no stream of this length can hold
  EXPECT_FALSE(DecodeMember(e, stored));
}

TEST(ZU_PakSystem, SoundForms) {
  TBytes mono = MakeWav(1, 16, Sine(5000, 1));  // 10,000 data bytes
  std::optional<TSoundForm> f = EncodeSound("music\\theme.wav", mono.data(), mono.size());
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->Adpcm);
  EXPECT_EQ(GetU32(f->Bytes.data() + 54), 2530u);  // 10,000 / 4 + 6 x 5 blocks
  EXPECT_EQ(f->Bytes.size(), 2588u);
  EXPECT_EQ(f->Bytes[44], 1);
  EXPECT_EQ(static_cast<int32_t>(GetU32(f->Bytes.data() + 45)), -1);

  // One cue point: PCM, looping from it to the end.
  TBytes cued = MakeWav(1, 16, Sine(5000, 1), {100});
  f = EncodeSound("music\\loop.wav", cued.data(), cued.size());
  ASSERT_TRUE(f);
  EXPECT_FALSE(f->Adpcm);
  EXPECT_EQ(f->LoopStart, 200);  // 2 bytes per sample x 100
  EXPECT_EQ(f->LoopEnd, 10000);
  EXPECT_TRUE(f->LoopToEnd);
  EXPECT_EQ(f->Bytes[53], 1);
  EXPECT_EQ(f->Bytes.size(), 58u + 10000u);
  // Two cue points in reverse order are swapped.
  TBytes two = MakeWav(1, 16, Sine(5000, 1), {300, 100});
  f = EncodeSound("x.wav", two.data(), two.size());
  EXPECT_EQ(f->LoopStart, 200);
  EXPECT_EQ(f->LoopEnd, 600);
  EXPECT_FALSE(f->LoopToEnd);

  TBytes eight = MakeWav(1, 8, TBytes(3000, 0x80));
  f = EncodeSound("x.wav", eight.data(), eight.size());
  ASSERT_TRUE(f);
  EXPECT_FALSE(f->Adpcm);
  EXPECT_TRUE(std::equal(eight.begin() + 44, eight.end(), f->Bytes.begin() + 58));

  // The "\Effects\" exemption is exact in case.
  EXPECT_FALSE(EncodeSound("sounds\\Effects\\boom.wav", mono.data(), mono.size())->Adpcm);
  EXPECT_TRUE(EncodeSound("sounds\\effects\\boom.wav", mono.data(), mono.size())->Adpcm);

  // Not canonical: skipped.
  TBytes odd = mono;
  PutU32(odd.data() + 16, 18);
  EXPECT_FALSE(EncodeSound("x.wav", odd.data(), odd.size()));
  TBytes empty = MakeWav(1, 16, {});
  EXPECT_FALSE(EncodeSound("x.wav", empty.data(), empty.size()));
  TBytes truncated(mono.begin(), mono.end() - 10);  // the data chunk runs past the file
  EXPECT_FALSE(EncodeSound("x.wav", truncated.data(), truncated.size()));
  EXPECT_FALSE(EncodeSound("x.wav", mono.data(), 43));
}

namespace {

// A standard IMA ADPCM decoder written from the codec's description, apart
// from the encoder's code: it also checks the block-end states stored.
struct ImaDecoder {
  int predictor = 0;
  int index = 0;
  int Next(int code) {
    static const int steps[89] = {
        7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
        31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
        130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
        544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
        2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
        9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
    static const int adjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
    int step = steps[index];
    int diff = step >> 3;
    if (code & 1) diff += step >> 2;
    if (code & 2) diff += step >> 1;
    if (code & 4) diff += step;
    predictor += (code & 8) ? -diff : diff;
    if (predictor > 32767) predictor = 32767;
    if (predictor < -32768) predictor = -32768;
    index += adjust[code & 7];
    if (index < 0) index = 0;
    if (index > 88) index = 88;
    return predictor;
  }
};

void CheckRoundTrip(uint16_t Channels, uint32_t Samples) {
  TBytes pcm = Sine(Samples, Channels);
  TBytes wav = MakeWav(Channels, 16, pcm);
  std::optional<TSoundForm> form = EncodeSound("x.wav", wav.data(), wav.size());
  ASSERT_TRUE(form && form->Adpcm);
  uint32_t dataSize = GetU32(form->Bytes.data() + 40);
  EXPECT_EQ(dataSize % (Channels == 1 ? 4 : 8), 0u);
  const uint8_t* body = form->Bytes.data() + 58;
  // Decoded independently, interleaved as the source.
  ImaDecoder dec[2];
  std::vector<int16_t> decoded(dataSize / 2);
  for (uint32_t block = 0; block * 2048 < dataSize; ++block) {
    uint32_t bytes = std::min<uint32_t>(2048, dataSize - block * 2048);
    const uint8_t* codes = body + block * 518;
    uint32_t perChannel = bytes / 2 / Channels;
    for (uint32_t ch = 0; ch < Channels; ++ch) {
      for (uint32_t i = 0; i < perChannel; ++i) {
        uint8_t byte = codes[ch * perChannel / 2 + i / 2];
        decoded[block * 1024 + i * Channels + ch] = static_cast<int16_t>(dec[ch].Next(i % 2 ? byte & 15 : byte >> 4));
      }
    }
    const uint8_t* state = codes + bytes / 4;
    EXPECT_EQ(static_cast<int16_t>(GetU16(state)), dec[0].predictor);
    EXPECT_EQ(state[2], dec[0].index);
    EXPECT_EQ(static_cast<int16_t>(GetU16(state + 3)), Channels == 2 ? dec[1].predictor : 0);
  }
  double errorSum = 0, signalSum = 0;
  int worst = 0;
  for (size_t k = 0; k < decoded.size(); ++k) {
    int original = static_cast<int16_t>(GetU16(pcm.data() + 2 * k));
    int error = decoded[k] - original;
    if (k >= 64u * Channels) worst = std::max(worst, std::abs(error));  // after the step size has adapted
    errorSum += double(error) * error;
    signalSum += double(original) * original;
  }
  // 4 bits a sample on a smooth signal: better than 25 dB, no sample far off.
  EXPECT_GT(10 * std::log10(signalSum / errorSum), 25.0);
  EXPECT_LT(worst, 2500);
  // The unit's own decoder gives the same samples.
  TArchiveEntry e;
  e.Kind = kMemberSound;
  std::optional<TBytes> back = DecodeMember(e, form->Bytes);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), 44u + dataSize);
  for (size_t k = 0; k < decoded.size(); ++k) {
    ASSERT_EQ(static_cast<int16_t>(GetU16(back->data() + 44 + 2 * k)), decoded[k]) << k;
  }
}

}  // namespace

TEST(ZU_PakSystem, AdpcmRoundTrip) {
  CheckRoundTrip(1, 5000);
  CheckRoundTrip(2, 7777);  // cut to a multiple of 8 bytes, a short last block
}

TEST(ZU_PakSystem, SoundMembersThroughAnUpdate) {
  Fixture f;
  f.Put(MakeArchive({}, {}));
  TBytes wav = MakeWav(1, 16, Sine(5000, 1));
  TBytes bad = wav;
  PutU32(bad.data() + 16, 18);
  f.Update({{"Sounds\\Theme.WAV", wav}, {"Sounds\\Broken.wav", bad}});
  f.a.sys.OpenArchive(f.archive);
  ASSERT_EQ(f.a.sys.Directory.Count(), 1u);  // the broken one is skipped
  const TArchiveEntry* e = f.a.sys.Directory.Find("sounds\\theme.wav");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Kind, kMemberSound);
  EXPECT_EQ(e->StoredSize, 2588u);
  EXPECT_EQ(e->OrigSize, wav.size());
  f.a.sys.CloseArchive();
  size_t length = f.Get().size();
  f.Update({{"Sounds\\Theme.WAV", wav}});
  EXPECT_EQ(f.Get().size(), length);
}

TEST(ZU_PakSystem, MalformedArchivesAreRefused) {
  Fixture f;
  TBytes good = MakeArchive({{"a.txt", 2, Stream("a"), 1}}, {});
  size_t header = good.size() - 20;
  std::vector<TBytes> bad;
  auto with = [&](size_t at, uint32_t value) {
    TBytes b = good;
    PutU32(b.data() + at, value);
    bad.push_back(b);
  };
  with(header, static_cast<uint32_t>(header + 1));  // the directory would start before the file
  with(header + 4, 151);                            // not Count x 152
  with(header + 8, 4);                              // version
  with(header + 16, 1);                             // reserved
  with(header + 12, 2);                             // count against the unpacked size
  TBytes longName = MakeArchive({{std::string(127, 'n'), 2, Stream("a"), 1}}, {});
  // Raise the name length byte to 128 inside the compressed directory.
  {
    uint8_t r[152] = {};
    r[24] = 128;
    uLongf size = compressBound(152);
    TBytes packed(size);
    compress2(packed.data(), &size, r, 152, 9);
    packed.resize(size);
    TBytes b = packed;
    for (uint32_t v : {static_cast<uint32_t>(size), 152u, 5u, 1u, 0u}) WriteU32(b, v);
    bad.push_back(b);
  }
  bad.push_back(TBytes(10, 0));  // shorter than a header
  TBytes garbled = good;
  garbled[header - 3] ^= 0xFF;  // inside the compressed directory
  bad.push_back(garbled);
  TBytes trailer = good;
  TBytes t = CurrentTrailer("EIH2", 3, 3, "pw", 1);
  PutU16(t.data() + 12, 200);  // the password runs past the end
  trailer.insert(trailer.end(), t.begin(), t.end());
  bad.push_back(trailer);
  for (size_t i = 0; i < bad.size(); ++i) {
    f.Put(bad[i]);
    f.a.fatal.clear();
    EXPECT_THROW(f.Update({{"x.txt", Bytes("x")}}), EArchiveFatal) << i;
    EXPECT_EQ(f.a.fatal, "File " + f.archive + " has corrupted header.") << i;
    EXPECT_EQ(f.Get(), bad[i]) << i;
  }
}

// A missing archive asks Retry or Cancel; Cancel ends the program with 0.
// A read-only one loses the attribute and is updated.
TEST(ZU_PakSystem, OpeningTheArchive) {
  Fixture f;
  std::vector<std::string> asked;
  f.a.prompt.Answer = [&](const RecordingPrompt::Shown& s) {
    asked.push_back(s.Text);
    EXPECT_EQ(s.Caption, "Error");
    EXPECT_EQ(s.Flags, platform::kMbRetryCancel | platform::kMbIconWarning);
    if (asked.size() == 2) f.Put(MakeArchive({}, {}));  // there on the third try
    return asked.size() < 3 ? platform::kIdRetry : platform::kIdCancel;
  };
  f.a.sys.DuplicateEntry(f.archive, "a", "b");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], "File not found: \"" + f.archive + "\".");
  EXPECT_EQ(f.a.exitCode, -1);
  asked.clear();
  platform::DeleteFile(f.archive);
  f.a.prompt.Answer = [&](const RecordingPrompt::Shown& s) {
    asked.push_back(s.Text);
    return platform::kIdCancel;
  };
  EXPECT_THROW(f.a.sys.DuplicateEntry(f.archive, "a", "b"), EArchiveFatal);
  EXPECT_EQ(asked.size(), 1u);
  EXPECT_EQ(f.a.exitCode, 0);

  f.Put(MakeArchive({}, {}));
  ASSERT_TRUE(platform::SetFileAttributes(f.archive, platform::kAttributeReadOnly));
  f.Update({{"a.txt", Bytes("a")}});
  EXPECT_EQ(platform::GetFileAttributes(f.archive) & platform::kAttributeReadOnly, 0u);
  EXPECT_EQ(f.Contents().size(), 1u);
}

#ifndef _WIN32
namespace {

// What the archive lists, or why it cannot be read.
std::string Listing(Fixture& f) {
  f.a.fatal.clear();
  try {
    auto contents = f.Contents();
    std::string s;
    for (const auto& [name, bytes] : contents) s += name + "=" + bytes + ";";
    return s;
  } catch (const std::exception& e) {
    return std::string("error: ") + e.what();
  }
}

}  // namespace

// An update stopped at any file operation, as by a crash or a full disk, leaves
// an archive that reads back with its old or its new content.
TEST(ZU_PakSystem, InterruptedUpdatesLoseNothing) {
  for (bool persist : {true, false}) {
    int interrupted = 0;
    for (uint64_t n = 1;; ++n) {
      Fixture f;
      f.Put(MakeArchive({{"keep.txt", 2, Stream("keep"), 4}, {"swap.txt", 2, Stream("old"), 3}}, {}));
      std::string before = Listing(f);
      TFileMembers members = f.Files({{"swap.txt", Bytes("new swap")}, {"added.txt", Bytes("added")}});
      platform::host::InjectFileFault(n, persist);
      bool failed = false;
      try {
        f.a.sys.UpdateArchive(members, f.archive, "");
      } catch (const std::exception&) {
        failed = true;
      }
      bool fired = platform::host::FileFaultFired();
      platform::host::InjectFileFault(0, false);
      std::string after = Listing(f);
      std::string expected = "keep.txt=keep;swap.txt=new swap;added.txt=added;";
      if (!fired) {
        EXPECT_FALSE(failed);
        EXPECT_EQ(after, expected);
        break;
      }
      ++interrupted;
      EXPECT_TRUE(after == before || after == expected) << "operation " << n << ": " << after;
      EXPECT_FALSE(platform::FileExists(f.archive + ".undo")) << n;
      // A later update goes through as if nothing had happened.
      TFileMembers again = f.Files({{"swap.txt", Bytes("new swap")}, {"added.txt", Bytes("added")}});
      f.a.sys.UpdateArchive(again, f.archive, "");
      EXPECT_EQ(Listing(f), expected) << n;
    }
    EXPECT_GE(interrupted, 6);
  }
}

// A member that cannot be written ends the program with the disk-full text;
// the archive still has its directory.
TEST(ZU_PakSystem, MemberWriteFailure) {
  Fixture f;
  f.Put(MakeArchive({{"keep.txt", 2, Stream("keep"), 4}}, {}));
  TFileMembers members = f.Files({{"big.txt", TBytes(10000, 'b')}});
  // Count the operations of a whole update, then fail the member write.
  for (uint64_t n = 1; n < 20; ++n) {
    f.a.fatal.clear();
    platform::host::InjectFileFault(n, true);
    try {
      f.a.sys.UpdateArchive(members, f.archive, "");
    } catch (const std::exception&) {
    }
    platform::host::InjectFileFault(0, false);
    if (!f.a.fatal.empty()) break;
  }
  // Nothing is lost, and the text says so: the journal puts the archive back.
  EXPECT_EQ(f.a.fatal, "Disk full: " + f.archive + " could not be updated. It is put back as it was from " + f.archive +
                           ".undo when it is next opened; nothing is lost.");
  EXPECT_EQ(Listing(f), "keep.txt=keep;");
}
#endif

// A member claiming far more than its stream holds costs only what the stream
// really inflates to (the output grows with it), and a stream that runs one
// byte past its claim is refused as one that falls short is.
TEST(ZU_PakSystem, MemberClaimsBoundedByTheirStream) {
  TBytes data(4400000);
  uint32_t seed = 7;
  for (uint8_t& b : data) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  TBytes stream(size);
  ASSERT_EQ(compress2(stream.data(), &size, data.data(), static_cast<uLong>(data.size()), 1), Z_OK);
  stream.resize(size);
  ScrambleStream(stream.data(), stream.size());
  TArchiveEntry e;
  e.Name = "big.dat";
  e.Kind = kMemberStream;
  e.OrigSize = 0xFFFFFFFFu;  // within 1032 times the stream's size, so only inflating can tell
  EXPECT_FALSE(DecodeMember(e, stream));
  e.OrigSize = static_cast<uint32_t>(data.size() - 1);
  EXPECT_FALSE(DecodeMember(e, stream));
  e.OrigSize = static_cast<uint32_t>(data.size());
  std::optional<TBytes> back = DecodeMember(e, stream);
  ASSERT_TRUE(back);
  EXPECT_TRUE(*back == data);
}

// An archive whose members share bytes (or reach into the directory) is not
// changed: an update would leave one of them unreadable. The fatal text says
// which members and that nothing was written.
TEST(ZU_PakSystem, DamagedArchivesAreNotChanged) {
  Fixture f;
  const TBytes good = MakeArchive({{"a.txt", 2, Stream("aaaa"), 4}, {"b.txt", 2, Stream("bbbb"), 4}}, {});
  // The second record's offset moved onto the first member's bytes, in the
  // compressed directory.
  auto withSecondOffset = [&](uint32_t offset) {
    const size_t header = good.size() - 20;
    const uint32_t packed = GetU32(good.data() + header), unpacked = GetU32(good.data() + header + 4);
    TBytes records(unpacked);
    uLongf size = unpacked;
    EXPECT_EQ(uncompress(records.data(), &size, good.data() + header - packed, packed), Z_OK);
    PutU32(records.data() + 152 + 16, offset);
    uLongf bound = compressBound(unpacked);
    TBytes again(bound);
    compress2(again.data(), &bound, records.data(), unpacked, 9);
    again.resize(bound);
    TBytes out(good.begin(), good.begin() + static_cast<ptrdiff_t>(header - packed));
    out.insert(out.end(), again.begin(), again.end());
    for (uint32_t v : {static_cast<uint32_t>(bound), unpacked, 5u, 2u, 0u}) WriteU32(out, v);
    return out;
  };
  const std::pair<TBytes, std::string> cases[] = {
      {withSecondOffset(1), "members a.txt and b.txt share bytes"},
      {withSecondOffset(static_cast<uint32_t>(good.size())), "member b.txt reaches into the directory"},
  };
  for (const auto& [bytes, why] : cases) {
    f.Put(bytes);
    f.a.fatal.clear();
    EXPECT_THROW(f.Update({{"c.txt", Bytes("c")}}), EArchiveFatal) << why;
    EXPECT_EQ(f.a.fatal, "File \"" + f.archive + "\" is damaged (" + why + "). It was not changed.");
    EXPECT_EQ(f.Get(), bytes) << why;
  }
  f.Put(good);
  f.Update({{"c.txt", Bytes("c")}});
  EXPECT_EQ(f.Contents().size(), 3u);
}
