#include "common/FileUtils.h"

#include <gtest/gtest.h>

#include "common/Exceptions.h"
#include "common/Strings.h"
#include "tests/support/Recorders.h"
#include "tests/support/TestMachine.h"

// Only the missing folders are made and recorded, parents first.
TEST(ForceInstallDirs, CreatesMissingFoldersInOrder) {
  TestMachine m;
  ASSERT_TRUE(platform::CreateDirectory(m.Path("A")));
  RecordingRecorder r;
  ForceInstallDirs(m.Path("A\\B\\C"), &r);
  EXPECT_TRUE(platform::DirectoryExists(m.Path("A\\B\\C")));
  EXPECT_EQ(r.dirs, (std::vector<std::string>{m.Path("A\\B\\"), m.Path("A\\B\\C")}));
  r.dirs.clear();
  ForceInstallDirs(m.Path("A\\B\\C\\"), &r);
  EXPECT_TRUE(r.dirs.empty());
  // Paths without "X:\" are left alone.
  ForceInstallDirs("relative\\dir", &r);
  ForceInstallDirs("C:\\", &r);
  EXPECT_TRUE(r.dirs.empty());
}

TEST(WholeFiles, WriteCreatesFoldersAndLoadReadsBack) {
  TestMachine m;
  RecordingRecorder r;
  const std::string data = "hello, world";
  std::string path = m.Path("x\\y\\file.txt");
  EXPECT_TRUE(WriteWholeFile(path, reinterpret_cast<const uint8_t*>(data.data()), 12, &r));
  EXPECT_EQ(TestMachine::Read(path), data);
  EXPECT_EQ(r.dirs.size(), 2u);
  EXPECT_TRUE(WriteWholeFile(path, nullptr, 0, &r));  // replaces with an empty file
  EXPECT_EQ(LoadWholeFile(path).size(), 0u);
  EXPECT_THROW(LoadWholeFile(m.Path("missing.bin")), ESetupError);
  try {
    LoadWholeFile(m.Path("missing.bin"));
  } catch (const ESetupError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.bin"), std::string::npos) << e.what();
  }
}

// RemoveTree ends when something cannot be deleted and leaves just that path.
TEST(RemoveTree, RemovesEverythingItCan) {
  TestMachine m;
  std::string root = m.Path("tree");
  ForceInstallDirs(root + "\\a\\b\\", nullptr);
  ForceInstallDirs(root + "\\c\\", nullptr);
  TestMachine::Write(root + "\\a\\b\\deep.txt", "x");
  TestMachine::Write(root + "\\c\\held.txt", "y");
  TestMachine::Write(root + "\\top.txt", "z");
  {
    // Held open without delete sharing: cannot be deleted.
    platform::File held;
    ASSERT_TRUE(held.Open(root + "\\c\\held.txt", platform::kAccessRead, platform::kShareRead,
                          platform::FileDisposition::kOpenExisting));
    EXPECT_FALSE(RemoveTree(root));
    EXPECT_TRUE(platform::FileExists(root + "\\c\\held.txt"));
    EXPECT_FALSE(platform::DirectoryExists(root + "\\a"));
    EXPECT_FALSE(platform::FileExists(root + "\\top.txt"));
  }
  EXPECT_TRUE(RemoveTree(root));
  EXPECT_FALSE(platform::DirectoryExists(root));
  EXPECT_FALSE(RemoveTree(root));
}

TEST(ShellLinks, WrittenAndReadBack) {
  TestMachine m;
  RecordingRecorder r;
  std::string target = m.Path("game\\demo.exe");
  ForceInstallDirs(m.Path("game\\"), nullptr);
  TestMachine::Write(target, "MZ");
  std::string link = m.Path("menu\\Demo\\Demo.lnk");
  ASSERT_TRUE(CreateShellLink(link, target, "-windowed", &r));
  EXPECT_EQ(r.dirs.size(), 2u);  // menu\ and menu\Demo\ were made
  platform::ShellLink back;
  ASSERT_TRUE(platform::LoadShellLink(link, back));
  EXPECT_TRUE(SameTextAscii(back.Target, target)) << back.Target;
  EXPECT_EQ(back.Arguments, "-windowed");
  EXPECT_EQ(back.ShowCommand, 1);
  EXPECT_TRUE(SameTextAscii(back.WorkingDir + "\\", m.Path("game\\")) ||
              SameTextAscii(back.WorkingDir, m.Path("game\\")))
      << back.WorkingDir;

  std::string icon = m.Path("game\\demo.ico");
  TestMachine::Write(icon, "ico");
  ASSERT_TRUE(CreateShellLink(link, target, "", 3, icon, 3, m.Path("game"), &r));
  ASSERT_TRUE(platform::LoadShellLink(link, back));
  EXPECT_TRUE(SameTextAscii(back.IconPath, icon)) << back.IconPath;
  EXPECT_EQ(back.IconIndex, 3);
  // The show command as stored in the link header (Wine's shell reports every
  // stored value as 1 when reading it back through the interface).
  std::string bytes = TestMachine::Read(link);
  ASSERT_GT(bytes.size(), 0x40u);
  EXPECT_EQ(bytes[0x3C], 3);
}

TEST(SafeNames, RefuseEscapes) {
  for (const char* ok : {"a.txt", "sub\\b.txt", "sub/b.txt", "a..b", "..a", ".\\x", "x\\...y"}) {
    EXPECT_TRUE(IsSafeRelativeName(ok)) << ok;
  }
  for (const char* bad : {"", "..\\..\\x.dll", "C:\\Windows\\x.dll", "\\abs.txt", "/abs", "a\\..\\..\\b", "..", "a\\..",
                          "c:x.dll", "file.txt:stream", "a\\...\\b", "a\\.. \\b", "../x"}) {
    EXPECT_FALSE(IsSafeRelativeName(bad)) << bad;
  }
  // Names Windows opens as devices, with or without an extension, anywhere in
  // the path; names that merely start like one are files.
  for (const char* device : {"CON", "nul.txt", "docs\\aux.dat", "Com1", "lpt9.log", "prn", "NUL .txt", "con\\x"}) {
    EXPECT_EQ(UnsafeNameReason(device).rfind("names the device ", 0), 0u) << device;
  }
  EXPECT_EQ(UnsafeNameReason("docs\\Aux.dat"), "names the device AUX");
  for (const char* file : {"console.txt", "com10", "lpt0.txt", "nullable", "COM", "aux_\\x", "my con.txt"}) {
    EXPECT_TRUE(IsSafeRelativeName(file)) << file;
  }
  EXPECT_EQ(UnsafeNameReason("..\\x"), "would leave its target folder");
  // An install directory: every name after the drive.
  EXPECT_EQ(DevicePathReason("C:\\CON"), "names the device CON");
  EXPECT_EQ(DevicePathReason("C:\\NUL\\Demo"), "names the device NUL");
  EXPECT_EQ(DevicePathReason("C:\\LPT1.txt\\x\\"), "names the device LPT1");
  for (const char* dir : {"C:\\Games\\Console", "C:\\", "D:\\com10\\x", "\\\\server\\share\\game"}) {
    EXPECT_EQ(DevicePathReason(dir), "") << dir;
  }
}
