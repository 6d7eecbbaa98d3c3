#include "script/SE_Uninstall_List.h"

#include <gtest/gtest.h>

#include "common/FileUtils.h"
#include "tests/support/TestMachine.h"

namespace {
TPathFields Fields() {
  TPathFields f;
  f.InstallDir = "C:\\Games\\Demo";
  f.StartMenuProgramsDir = "C:\\Menu\\Programs\\";
  f.ProgramFilesDir = "C:\\Program Files\\";
  return f;
}
}  // namespace

// The same file under two spellings is one record, written with $INSTDIR.
TEST(TUninstallList, FilesAreCollapsedAndUnique) {
  TUninstallList list(Fields);
  list.AddInstalledFile("C:\\Games\\Demo\\demo.exe");
  list.AddInstalledFile("c:\\GAMES\\demo\\DEMO.EXE");
  list.AddInstalledFile("C:\\Menu\\Programs\\Demo\\Demo.lnk");
  list.AddInstalledFile("D:\\elsewhere.txt");
  EXPECT_EQ(list.Files(),
            (std::vector<std::string>{"$INSTDIR\\demo.exe", "$SMPROGRAMSDemo\\Demo.lnk", "D:\\elsewhere.txt"}));
  EXPECT_TRUE(list.HasFile("$instdir\\DEMO.exe"));
  EXPECT_FALSE(list.HasFile("C:\\Games\\Demo\\demo.exe"));
}

// Registry records are unique ignoring case; directories keep duplicates.
TEST(TUninstallList, RegistryRecordsAndDirectories) {
  TUninstallList list(Fields);
  std::string rec = MakeRegistryRecord("HKLM", "SOFTWARE\\Demo Game", "InstallPath", "$INSTDIR");
  EXPECT_EQ(rec, "\"HKLM\" \"SOFTWARE\\Demo Game\" \"InstallPath\" \"$INSTDIR\"");
  list.AddRegistryRecord(rec);
  list.AddRegistryRecord(MakeRegistryRecord("hklm", "software\\demo game", "installpath", "$instdir"));
  EXPECT_EQ(MakeRegistryRecord("HKCU", "K", "", ""), "\"HKCU\" \"K\" \"\" \"\"");
  EXPECT_EQ(list.RegistryRecords().size(), 1u);
  list.AddDirectory("C:\\Games\\Demo\\");
  list.AddDirectory("C:\\Games\\Demo\\");
  EXPECT_EQ(list.Directories().size(), 2u);
  list.Clear();
  EXPECT_TRUE(list.Files().empty() && list.RegistryRecords().empty() && list.Directories().empty());
  EXPECT_FALSE(list.HasRegistryRecord(rec));
  list.AddRegistryRecord(rec);
  EXPECT_EQ(list.RegistryRecords().size(), 1u);
}

// A loaded log's records count as recorded: adding them again adds nothing;
// after Clear nothing is.
TEST(TUninstallList, LoadedRecordsAreKnown) {
  TestMachine m;
  std::string dir = m.Path("Game");
  ForceInstallDirs(dir + "\\", nullptr);
  TUninstallList list{nullptr};
  list.AddInstalledFile("C:\\Game\\a.txt");
  list.AddRegistryRecord(MakeRegistryRecord("HKLM", "K", "V", "D"));
  ASSERT_TRUE(list.SaveLog(dir, ""));
  TUninstallList back{nullptr};
  back.LoadLog(dir, "");
  back.AddInstalledFile("c:\\game\\A.TXT");
  back.AddRegistryRecord(MakeRegistryRecord("hklm", "k", "v", "d"));
  EXPECT_EQ(back.Files().size(), 1u);
  EXPECT_EQ(back.RegistryRecords().size(), 1u);
  back.Clear();
  EXPECT_FALSE(back.HasFile("C:\\Game\\a.txt"));
}

// The log's 16-bit counts: a list of 65,536 is refused with the reason and
// nothing is written; 65,535 saves and loads back.
TEST(TUninstallList, CountsNeverWrap) {
  TestMachine m;
  std::string dir = m.Path("Game");
  ForceInstallDirs(dir + "\\", nullptr);
  TUninstallList list{nullptr};
  for (int i = 0; i < 65535; ++i) list.AddDirectory("d" + std::to_string(i));
  EXPECT_EQ(list.CapacityProblem(), "");
  ASSERT_TRUE(list.SaveLog(dir, ""));
  TUninstallList back{nullptr};
  back.LoadLog(dir, "");
  EXPECT_EQ(back.Directories().size(), 65535u);
  list.AddDirectory("one more");
  EXPECT_EQ(list.CapacityProblem(), "the uninstall log would list 65536 folders, more than the 65535 it can hold");
  EXPECT_FALSE(list.SaveLog(dir, "x"));
  EXPECT_FALSE(platform::FileExists(dir + "\\xinstall.log"));
}
