#include "package/ZUI_SetupInfo.h"

#include <gtest/gtest.h>

#include "common/Exceptions.h"
#include "tests/support/TestMachine.h"

// An empty record is 7 strings, a byte, 4 strings and 2 bytes: 25 bytes.
TEST(TSetupInfoFile, EmptyRecordIs25Bytes) {
  TSetupInfoFile empty;
  TBytes bytes = empty.SaveToBytes();
  EXPECT_EQ(bytes.size(), 25u);
  EXPECT_EQ(bytes, TBytes(25, 0));
  TSetupInfoFile loaded;
  loaded.Info.SetupName = "old";
  loaded.LoadFromBuffer(bytes.data(), 25);
  EXPECT_EQ(loaded.Info.SetupName, "");
}

// Save -> load -> save gives the same bytes, field by field in order.
TEST(TSetupInfoFile, RoundTripKeepsFieldOrder) {
  TSetupInfoFile f;
  TSetupInfo& i = f.Info;
  i.SetupName = "Demo Game";
  i.SetupShortName = "Demo";
  i.SetupExeName = "DemoSetup.exe";
  i.UninstallExeName = "Demo_Uninstall.exe";
  i.UninstallPrefix = "Demo_";
  i.InstallDir = "$PROGRAMFILES\\Demo Game";
  i.Changelog = "changes.rtf";
  i.InstallDirRegKey = {1, "SOFTWARE\\Demo", "Path"};
  i.InstallPages = "install";
  i.UninstallPages = "uninstall";
  i.MakeUninstaller = 1;
  TBytes bytes = f.SaveToBytes();
  EXPECT_EQ(bytes.size(), 25u + 9 + 4 + 13 + 18 + 5 + 23 + 11 + 13 + 4 + 7 + 9);
  EXPECT_EQ(std::string(bytes.begin() + 2, bytes.begin() + 11), "Demo Game");
  TSetupInfoFile back;
  back.LoadFromBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()));
  EXPECT_EQ(back.SaveToBytes(), bytes);
  EXPECT_EQ(back.Info.InstallDirRegKey.HKEY, 1);
  EXPECT_EQ(back.Info.InstallDirRegKey.Key, "Path");
  EXPECT_EQ(back.Info.MakeUninstaller, 1);
  EXPECT_EQ(back.Info.IsUninstaller, 0);

  TestMachine m;
  ASSERT_TRUE(f.SaveToFile(m.Path("SetupInfo")));
  EXPECT_EQ(TestMachine::Read(m.Path("SetupInfo")), std::string(bytes.begin(), bytes.end()));
}

// Data ending inside a string is an error; a missing trailing byte field keeps
// its value; extra bytes are ignored.
TEST(TSetupInfoFile, ShortAndLongData) {
  TSetupInfoFile f;
  f.Info.SetupName = "x";
  f.Info.IsUninstaller = 1;
  f.Info.MakeUninstaller = 1;
  TBytes bytes = f.SaveToBytes();
  TSetupInfoFile g;
  g.Info.MakeUninstaller = 7;
  g.LoadFromBuffer(bytes.data(), static_cast<uint32_t>(bytes.size() - 1));
  EXPECT_EQ(g.Info.IsUninstaller, 1);
  EXPECT_EQ(g.Info.MakeUninstaller, 7);
  EXPECT_THROW(g.LoadFromBuffer(bytes.data(), 2), ESetupError);
  TBytes longer = bytes;
  longer.insert(longer.end(), {9, 9, 9});
  g.LoadFromBuffer(longer.data(), static_cast<uint32_t>(longer.size()));
  EXPECT_EQ(g.SaveToBytes(), bytes);
}
