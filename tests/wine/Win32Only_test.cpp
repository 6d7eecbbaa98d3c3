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
