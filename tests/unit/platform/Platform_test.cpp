// The seam's behaviour that the engine relies on, the same on both targets.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/Strings.h"
#include "tests/support/TestMachine.h"

using namespace platform;

// Share modes decide who else may open a file, as on Windows.
TEST(PlatformFiles, ShareModes) {
  TestMachine m;
  std::string path = m.Path("shared.bin");
  File writer;
  ASSERT_TRUE(writer.Open(path, kAccessReadWrite, kShareRead, FileDisposition::kCreateAlways));
  EXPECT_EQ(writer.Write("abcdef", 6), 6u);
  File reader;
  EXPECT_FALSE(reader.Open(path, kAccessRead, kShareRead, FileDisposition::kOpenExisting))
      << "a reader that does not share writing must wait for the writer";
  EXPECT_EQ(LastError(), kErrorSharingViolation);
  EXPECT_TRUE(reader.Open(path, kAccessRead, kShareReadWrite, FileDisposition::kOpenExisting));
  File second;
  EXPECT_FALSE(second.Open(path, kAccessWrite, kShareReadWrite, FileDisposition::kOpenExisting));
  EXPECT_FALSE(DeleteFile(path));
  reader.Close();
  writer.Close();
  EXPECT_TRUE(DeleteFile(path));
  EXPECT_FALSE(FileExists(path));

  File exclusive;
  ASSERT_TRUE(exclusive.Open(path, kAccessWrite, kShareNone, FileDisposition::kCreateNew));
  File again;
  EXPECT_FALSE(again.Open(m.Path("SHARED.BIN"), kAccessRead, kShareReadWrite, FileDisposition::kOpenExisting));
  exclusive.Close();
  EXPECT_FALSE(again.Open(path, kAccessWrite, kShareNone, FileDisposition::kCreateNew));
  EXPECT_TRUE(again.Open(path, kAccessWrite, kShareNone, FileDisposition::kOpenAlways));
}

TEST(PlatformFiles, ReadWriteSeekTruncate) {
  TestMachine m;
  std::string path = m.Path("rw.bin");
  File f;
  ASSERT_TRUE(f.Open(path, kAccessReadWrite, kShareNone, FileDisposition::kCreateAlways));
  EXPECT_EQ(f.Write("0123456789", 10), 10u);
  EXPECT_EQ(f.Size(), 10);
  uint64_t pos = 0;
  ASSERT_TRUE(f.Seek(-4, SeekOrigin::kEnd, &pos));
  EXPECT_EQ(pos, 6u);
  char buf[8] = {0};
  EXPECT_EQ(f.Read(buf, 8), 4u);
  EXPECT_EQ(std::string(buf, 4), "6789");
  ASSERT_TRUE(f.Seek(3, SeekOrigin::kBegin));
  EXPECT_TRUE(f.Truncate());
  EXPECT_EQ(f.Size(), 3);
  f.Close();
  EXPECT_EQ(f.Read(buf, 1), 0u);
  EXPECT_EQ(TestMachine::Read(path), "012");

  File missing;
  EXPECT_FALSE(missing.Open(m.Path("none\\x.bin"), kAccessRead, kShareRead, FileDisposition::kOpenExisting));
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  EXPECT_FALSE(missing.Open(m.Path("x.bin"), kAccessRead, kShareRead, FileDisposition::kOpenExisting));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(DescribeError(kErrorAccessDenied), "access denied (5)");
}

// Names are found without regard to case; folders list without "." and "..".
TEST(PlatformFiles, FoldersAndNames) {
  TestMachine m;
  ASSERT_TRUE(CreateDirectory(m.Path("Data")));
  EXPECT_FALSE(CreateDirectory(m.Path("data")));
  EXPECT_TRUE(DirectoryExists(m.Path("DATA")));
  EXPECT_FALSE(FileExists(m.Path("DATA")));
  TestMachine::Write(m.Path("data\\One.txt"), "1");
  TestMachine::Write(m.Path("DATA\\two.TXT"), "22");
  ASSERT_TRUE(CreateDirectory(m.Path("data\\sub")));
  EXPECT_TRUE(FileExists(m.Path("Data\\ONE.TXT")));
  EXPECT_EQ(TestMachine::Read(m.Path("data\\TWO.txt")), "22");
  std::vector<DirEntry> entries;
  ASSERT_TRUE(ListDirectory(m.Path("data"), entries));
  std::vector<std::string> names;
  for (const DirEntry& e : entries) names.push_back(LowerAscii(e.Name) + (e.IsDirectory() ? "/" : ""));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one.txt", "sub/", "two.txt"}));
  EXPECT_FALSE(RemoveDirectory(m.Path("data")));
  EXPECT_EQ(GetFileAttributes(m.Path("data")) & kAttributeDirectory, kAttributeDirectory);
  EXPECT_EQ(GetFileAttributes(m.Path("nothing")), kInvalidAttributes);

  ASSERT_TRUE(SetFileAttributes(m.Path("data\\One.txt"), kAttributeReadOnly));
  EXPECT_NE(GetFileAttributes(m.Path("data\\One.txt")) & kAttributeReadOnly, 0u);
  EXPECT_FALSE(DeleteFile(m.Path("data\\One.txt")));
  ASSERT_TRUE(SetFileAttributes(m.Path("data\\One.txt"), kAttributeNormal));
  EXPECT_TRUE(DeleteFile(m.Path("data\\One.txt")));

  EXPECT_TRUE(CopyFile(m.Path("data\\two.txt"), m.Path("copy.txt"), true));
  EXPECT_FALSE(CopyFile(m.Path("data\\two.txt"), m.Path("copy.txt"), true));
  EXPECT_FALSE(MoveFile(m.Path("copy.txt"), m.Path("data\\two.txt"), false));
  EXPECT_TRUE(MoveFile(m.Path("copy.txt"), m.Path("data\\two.txt"), true));
  EXPECT_FALSE(FileExists(m.Path("copy.txt")));
  ASSERT_TRUE(DeleteFile(m.Path("data\\two.txt")));
  EXPECT_TRUE(RemoveDirectory(m.Path("data\\sub")));
  EXPECT_TRUE(RemoveDirectory(m.Path("data")));

  std::string temp = TempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_TRUE(DirectoryExists(temp));
}

TEST(PlatformDrives, DriveStringsAndTypes) {
  std::string strings;
  uint32_t n = LogicalDriveStrings(129, strings);
  ASSERT_GT(n, 0u);
  ASSERT_LE(n, 129u);
  EXPECT_NE(strings.find("C:\\"), std::string::npos);
  EXPECT_EQ(GetDriveType("C:\\"), DriveType::kFixed);
  std::string small;
  EXPECT_GT(LogicalDriveStrings(2, small), 2u);  // too small: the length needed
  EXPECT_TRUE(small.empty());
  uint64_t free = 0;
  EXPECT_TRUE(FreeBytes("C:\\", free));
  EXPECT_GT(free, 0u);
}

TEST(PlatformShell, SpecialFolders) {
  std::string programFiles = SpecialFolder(kCsidlProgramFiles);
  ASSERT_FALSE(programFiles.empty());
  EXPECT_EQ(programFiles.substr(1, 2), ":\\");
  EXPECT_FALSE(SpecialFolder(kCsidlPrograms).empty());
  EXPECT_TRUE(SpecialFolder(9999).empty());
}

// Registry round trip below HKCU: keys and value names ignore case.
TEST(PlatformRegistry, RoundTrip) {
  TestMachine m;
  Registry reg;
  reg.SetRoot(kRootCurrentUser);
  const std::string key = "Software\\wizpak-test\\" + std::string(TestMachine::Kind()) + "\\Round Trip";
  reg.DeleteKey("Software\\wizpak-test");
  EXPECT_FALSE(reg.OpenKey(key, false));
  ASSERT_TRUE(reg.OpenKey(key, true));
  EXPECT_TRUE(reg.WriteString("InstallPath", "C:\\Games\\Demo \"quoted\""));
  EXPECT_TRUE(reg.WriteString("", "default value"));
  EXPECT_TRUE(reg.WriteString("Empty", ""));
  EXPECT_TRUE(reg.WriteInteger("EstimatedSize", 1234));
  reg.CloseKey();
  EXPECT_FALSE(reg.HasOpenKey());
  ASSERT_TRUE(reg.OpenKey(LowerAscii(key), false));
  std::string value;
  EXPECT_TRUE(reg.ReadString("INSTALLPATH", value));
  EXPECT_EQ(value, "C:\\Games\\Demo \"quoted\"");
  EXPECT_TRUE(reg.ReadString("", value));
  EXPECT_EQ(value, "default value");
  EXPECT_TRUE(reg.ReadString("Empty", value));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(reg.ReadString("Missing", value));
  // A DWORD is there, but it is no string.
  EXPECT_TRUE(reg.ValueExists("estimatedsize"));
  EXPECT_FALSE(reg.ReadString("EstimatedSize", value));
  EXPECT_TRUE(reg.ValueExists("installpath"));
  EXPECT_TRUE(reg.DeleteValue("InstallPath"));
  EXPECT_FALSE(reg.DeleteValue("InstallPath"));
  EXPECT_FALSE(reg.ValueExists("InstallPath"));
  EXPECT_TRUE(reg.KeyExists("Software\\wizpak-test"));
  reg.CloseKey();
  EXPECT_TRUE(reg.DeleteKey("Software\\wizpak-test"));
  EXPECT_FALSE(reg.KeyExists(key));
  EXPECT_FALSE(reg.KeyExists("Software\\wizpak-test"));
  reg.SetRoot(9);
  EXPECT_FALSE(reg.OpenKey("Software", true));
}

// Every Windows-1252 byte comes back the same through UTF-8; a text with a
// character Windows-1252 lacks is stored as marked UTF-8; stray bytes are
// shown as Windows-1252 rather than dropped.
TEST(PlatformText, Windows1252AndStoredText) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  std::string utf8 = Cp1252ToUtf8(all), back;
  WideString wide;
  EXPECT_TRUE(Utf8ToWide(utf8, wide));
  EXPECT_EQ(wide.size(), 255u);
  EXPECT_EQ(wide[0x80 - 1], u'\u20ac');
  EXPECT_EQ(wide[0x81 - 1], u'\u0081');
  EXPECT_TRUE(Utf8ToCp1252(utf8, back));
  EXPECT_EQ(back, all);
  EXPECT_EQ(ToStoredText(utf8), all);
  EXPECT_EQ(FromStoredText(all), utf8);

  std::string bad;
  EXPECT_FALSE(Utf8ToCp1252("C:\\\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B", back, &bad));  // C:\Игры
  EXPECT_EQ(bad, "\xD0\x98");
  const std::string russian = "C:\\\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B\\caf\xC3\xA9";
  EXPECT_EQ(ToStoredText(russian), std::string(kUtf8Mark) + russian);
  EXPECT_EQ(FromStoredText(ToStoredText(russian)), russian);
  // A Windows-1252 text that begins like the mark is marked too.
  const std::string lookalike = "\xC3\xAF\xC2\xBB\xC2\xBFx";
  EXPECT_EQ(FromStoredText(ToStoredText(lookalike)), lookalike);

  EXPECT_EQ(TextToWide("caf\xE9 \xF0\x9F\x8E\xAE"), u"caf\u00e9 \U0001F3AE");
  EXPECT_TRUE(Utf8ToWide("\xF0\x9F\x8E\xAE", wide));
  EXPECT_EQ(WideToUtf8(wide), "\xF0\x9F\x8E\xAE");
  EXPECT_FALSE(Utf8ToWide("\xC0\xAF", wide));      // overlong "/"
  EXPECT_FALSE(Utf8ToWide("\xED\xA0\x80", wide));  // a surrogate
}

// SHA-256 as the standard's test vectors give it, on both platforms.
TEST(Platform, Sha256) {
  auto hex = [](const std::string& text) {
    uint8_t digest[32];
    EXPECT_TRUE(platform::Sha256(text.data(), text.size(), digest));
    std::string out;
    for (uint8_t b : digest) out += "0123456789abcdef"[b >> 4], out += "0123456789abcdef"[b & 15];
    return out;
  };
  EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}
