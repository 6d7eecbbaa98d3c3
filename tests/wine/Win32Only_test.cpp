// What only the real Windows layer can show: the registry through advapi32
// under HKLM, the process's own path, and a link written by the host layer
// opened by the Windows shell.
#include <gtest/gtest.h>

#include "common/Strings.h"
#include "platform/Platform.h"

using namespace platform;

TEST(Win32, LocalMachineRegistry) {
  Registry reg;
  reg.SetRoot(kRootLocalMachine);
  const std::string key = "SOFTWARE\\wizpak-test\\Win32";
  ASSERT_TRUE(reg.OpenKey(key + "\\Sub", true));
  EXPECT_TRUE(reg.WriteString("DisplayName", "Demo Game"));
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKey(key + "\\SUB", false));
  std::string value;
  EXPECT_TRUE(reg.ReadString("displayname", value));
  EXPECT_EQ(value, "Demo Game");
  reg.CloseKey();
  // A key with subkeys is deleted whole.
  EXPECT_TRUE(reg.DeleteKey("SOFTWARE\\wizpak-test"));
  EXPECT_FALSE(reg.KeyExists(key));
}

TEST(Win32, ProcessFacts) {
  std::string self = ExecutablePath();
  ASSERT_GT(self.size(), 4u);
  EXPECT_TRUE(SameTextAscii(self.substr(self.size() - 4), ".exe")) << self;
  EXPECT_TRUE(FileExists(self));
  HardenDllSearchPath();
}

#ifdef WIZPAK_TEST_DATA_DIR
// tests/data/host-written.lnk is what the host layer writes for the link below
// (the host tests compare it byte for byte); the Windows shell reads it back.
TEST(Win32, HostWrittenLinkOpensInTheShell) {
  ShellLink link;
  ASSERT_TRUE(LoadShellLink(std::string(WIZPAK_TEST_DATA_DIR) + "\\host-written.lnk", link));
  EXPECT_EQ(link.Target, "C:\\Games\\Demo Game\\demo.exe");
  EXPECT_EQ(link.Arguments, "-windowed");
  EXPECT_EQ(link.WorkingDir, "C:\\Games\\Demo Game\\");
  EXPECT_EQ(link.IconPath, "C:\\Games\\Demo Game\\demo.ico");
  EXPECT_EQ(link.IconIndex, 2);
}
#endif

#include <windows.h>

#include "common/FileUtils.h"
#include "script/SE_Uninstaller.h"

#undef CopyFile
#undef DeleteFile

// ChangeIcon puts the icon file's first image into icon resource 1.
TEST(Win32, ChangeIconReplacesIconOne) {
  std::string copy = platform::TempPath() + "wizpak-icon-test.exe";
  ASSERT_TRUE(platform::CopyFile(ExecutablePath(), copy, false));
  // A 1x1 icon: header, one directory entry, a tiny image.
  TBytes image(48, 0x5A);
  const uint8_t header[16] = {40, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 32, 0};
  std::copy(header, header + 16, image.begin());
  TBytes ico = {0, 0, 1, 0, 1, 0, 1, 1, 0, 0, 1, 0, 32, 0};
  ico.push_back(static_cast<uint8_t>(image.size()));
  ico.insert(ico.end(), {0, 0, 0, 22, 0, 0, 0});
  ico.insert(ico.end(), image.begin(), image.end());
  std::string icon = platform::TempPath() + "wizpak-icon-test.ico";
  ASSERT_TRUE(WriteWholeFile(icon, ico.data(), static_cast<uint32_t>(ico.size()), nullptr));
  ASSERT_TRUE(ChangeIcon(icon, copy));
  HMODULE module = ::LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  HRSRC res = ::FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(3));
  ASSERT_NE(res, nullptr);
  ASSERT_EQ(::SizeofResource(module, res), image.size());
  const auto* bytes = static_cast<const uint8_t*>(::LockResource(::LoadResource(module, res)));
  EXPECT_EQ(TBytes(bytes, bytes + image.size()), image);
  ::FreeLibrary(module);
  EXPECT_FALSE(ChangeIcon(icon + ".missing", copy));
  platform::DeleteFile(copy);
  platform::DeleteFile(icon);
}
