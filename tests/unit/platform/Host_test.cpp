// The emulated machine of the host build: what it stores on disk and how
// machine.ini shapes it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/Exceptions.h"
#include "common/PathFields.h"
#include "platform/Platform.h"
#include "platform/host/HostMachine.h"
#include "tests/support/TestMachine.h"

using namespace platform;

namespace {

std::string NativeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteIni(const std::string& text) {
  std::ofstream(host::Root() + "/machine.ini") << text;
  host::SetRoot(host::Root());  // read it anew
}

std::string Utf16ToAscii(const std::string& bytes) {
  std::string out;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) out += bytes[i];
  return out;
}

}  // namespace

// "C:\Program Files\X" lives in drives/c/Program Files/X, found in any case.
TEST(HostMachine, DrivesMapToFolders) {
  TestMachine m;
  TestMachine::Write("C:\\wizpak-test\\Hello.TXT", "hi");
  EXPECT_EQ(NativeFile(host::Root() + "/drives/c/wizpak-test/Hello.TXT"), "hi");
  EXPECT_EQ(host::ToNative("c:\\WIZPAK-TEST\\hello.txt"), host::Root() + "/drives/c/wizpak-test/Hello.TXT");
  EXPECT_EQ(host::ToNative("C:\\wizpak-test\\..\\..\\..\\x"), host::Root() + "/drives/c/x");
  EXPECT_EQ(host::ToNative("Q:\\x"), "");
  EXPECT_EQ(host::ToNative("\\\\server\\share"), "");
  EXPECT_EQ(host::ToNative("relative\\file.txt"), "relative/file.txt");
}

// machine.ini names drives, folders, the temporary folder and the answers.
TEST(HostMachine, MachineIniShapesTheMachine) {
  TestMachine m;
  WriteIni(
      "[machine]\nlanguage=0407\nversion=Windows 2000\ntempdir=D:\\Tmp\n"
      "[drives]\nC=fixed,5000\nD=fixed,77\nE=cdrom\nF=removable\n"
      "[folders]\n38=D:\\Programme\n"
      "[messageboxes]\nanswers=2,7\n");
  EXPECT_EQ(host::Machine().LanguageId, 0x0407);
  EXPECT_EQ(host::Machine().Version, "Windows 2000");
  EXPECT_EQ(GetDriveType("E:\\"), DriveType::kCdRom);
  EXPECT_EQ(GetDriveType("F:\\"), DriveType::kRemovable);
  EXPECT_EQ(GetDriveType("G:\\"), DriveType::kNoRootDir);
  uint64_t free = 0;
  ASSERT_TRUE(FreeBytes("D:\\", free));
  EXPECT_EQ(free, 77u);
  EXPECT_EQ(platform::SpecialFolder(kCsidlProgramFiles), "D:\\Programme");
  EXPECT_EQ(TempPath(), "D:\\Tmp\\");
  EXPECT_TRUE(DirectoryExists("D:\\Tmp"));
  EXPECT_EQ(FirstCDDrive(), "E:\\");
  std::string strings;
  LogicalDriveStrings(129, strings);
  EXPECT_EQ(strings, std::string("C:\\\0D:\\\0E:\\\0F:\\\0\0", 17));

  EXPECT_EQ(MessageBox("Really?", "Question", kMbOkCancel), kIdCancel);
  EXPECT_EQ(MessageBox("Sure?", "Question", kMbYesNo), kIdNo);
  EXPECT_EQ(MessageBox("Done", "Info", kMbYesNo), kIdYes);  // queue empty: first button
  ASSERT_GE(host::Transcript().size(), 3u);
  EXPECT_EQ(host::Transcript().back().Caption, "Info");
}

// Without a CD-ROM drive there is no $CDDRIVE; with too many drive strings the
// system's "not enough storage" error is raised.
TEST(HostMachine, FirstCDDriveLimits) {
  TestMachine m;
  EXPECT_EQ(FirstCDDrive(), "");
  std::string ini = "[drives]\n";
  for (char l = 'C'; l <= 'Z'; ++l) ini += std::string(1, l) + "=fixed,1\n";
  WriteIni(ini + "A=removable\nB=removable\n");
  EXPECT_EQ(FirstCDDrive(), "");  // 26 drives fit in 105 characters
  WriteIni("[drives]\nC=fixed,1\nD=cdrom\n");
  EXPECT_EQ(FirstCDDrive(), "D:\\");
}

// registry.reg reads like an export of the registry editor, version 5.
TEST(HostMachine, RegistryFileIsAnExport) {
  TestMachine m;
  Registry reg;
  reg.SetRoot(kRootLocalMachine);
  ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Demo Game", true));
  ASSERT_TRUE(reg.WriteString("InstallPath", "C:\\Program Files\\Demo \"Game\""));
  ASSERT_TRUE(reg.WriteString("", "default"));
  // A DWORD as an export writes one: eight hex digits; it replaces a string.
  ASSERT_TRUE(reg.WriteString("Size", "big"));
  ASSERT_TRUE(reg.WriteInteger("Size", 0xABCD));
  ASSERT_TRUE(reg.WriteInteger("NoModify", 1));
  std::string bytes = NativeFile(host::Root() + "/registry.reg");
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::string text = Utf16ToAscii(bytes);
  EXPECT_EQ(text,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Demo Game]\r\n"
            "\"InstallPath\"=\"C:\\\\Program Files\\\\Demo \\\"Game\\\"\"\r\n"
            "@=\"default\"\r\n"
            "\"Size\"=dword:0000abcd\r\n"
            "\"NoModify\"=dword:00000001\r\n\r\n");
  std::string value;
  EXPECT_FALSE(reg.ReadString("Size", value));

  // A hand-written export (8-bit, other value types kept as they are) is read.
  std::ofstream(host::Root() + "/registry.reg")
      << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\X]\n"
         "\"Name\"=\"Value\"\n\"Count\"=dword:00000010\n";
  host::SetRoot(host::Root());
  Registry again;
  again.SetRoot(kRootCurrentUser);
  ASSERT_TRUE(again.OpenKey("software\\x", false));
  EXPECT_TRUE(again.ReadString("name", value));
  EXPECT_EQ(value, "Value");
  EXPECT_FALSE(again.ReadString("Count", value));
  EXPECT_TRUE(again.ValueExists("Count"));
  ASSERT_TRUE(again.WriteString("New", "1"));
  EXPECT_NE(Utf16ToAscii(NativeFile(host::Root() + "/registry.reg")).find("\"Count\"=dword:00000010"),
            std::string::npos);
}

// Links are written in the binary shell-link format: 0x4C header, the
// shell-link class id, then the target as a local base path.
TEST(HostMachine, ShellLinkBytes) {
  TestMachine m;
  ShellLink link;
  link.Target = "C:\\Games\\demo.exe";
  link.Arguments = "-a";
  link.WorkingDir = "C:\\Games\\";
  ASSERT_TRUE(SaveShellLink("C:\\wizpak-test\\Demo.lnk", link));
  std::string bytes = NativeFile(host::Root() + "/drives/c/wizpak-test/Demo.lnk");
  ASSERT_GT(bytes.size(), 0x4Cu);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x4C\0\0\0", 4));
  EXPECT_EQ(bytes.substr(4, 16), std::string("\x01\x14\x02\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 16));
  uint32_t flags = static_cast<uint8_t>(bytes[20]);
  EXPECT_EQ(flags, 0x02u | 0x10u | 0x20u | 0x80u);  // link info, working dir, arguments, unicode
  EXPECT_NE(bytes.find("C:\\Games\\demo.exe"), std::string::npos);
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string(4, '\0'));
  TestMachine::Write("C:\\wizpak-test\\not.lnk", "garbage that is not a link at all, long enough to read");
  ShellLink back;
  EXPECT_FALSE(LoadShellLink("C:\\wizpak-test\\not.lnk", back));
}

// The link the Windows tests open through the Windows shell is exactly what
// this layer writes.
TEST(HostMachine, ShellLinkMatchesTheGoldenFile) {
  TestMachine m;
  ShellLink link;
  link.Target = "C:\\Games\\Demo Game\\demo.exe";
  link.Arguments = "-windowed";
  link.WorkingDir = "C:\\Games\\Demo Game\\";
  link.ShowCommand = 3;
  link.IconPath = "C:\\Games\\Demo Game\\demo.ico";
  link.IconIndex = 2;
  ASSERT_TRUE(SaveShellLink("C:\\wizpak-test\\golden.lnk", link));
  std::string written = NativeFile(host::Root() + "/drives/c/wizpak-test/golden.lnk");
  std::string golden = NativeFile(std::string(WIZPAK_TEST_DATA_DIR) + "/host-written.lnk");
  if (std::getenv("WIZPAK_UPDATE_GOLDEN")) {
    std::ofstream(std::string(WIZPAK_TEST_DATA_DIR) + "/host-written.lnk", std::ios::binary) << written;
    golden = written;
  }
  EXPECT_EQ(written, golden);
  ShellLink back;
  ASSERT_TRUE(LoadShellLink("C:\\wizpak-test\\golden.lnk", back));
  EXPECT_EQ(back.Target, link.Target);
  EXPECT_EQ(back.IconPath, link.IconPath);
  EXPECT_EQ(back.IconIndex, 2);
  EXPECT_EQ(back.ShowCommand, 3);
}

// "[in use]": the file can be read, not written, renamed or deleted, and the
// machine names its program; release=N frees it after the N-th Retry; an open
// of the process's own without sharing counts too, a read-only file does not.
TEST(HostMachine, FilesInUseAreHeldUntilReleased) {
  TestMachine m;
  ASSERT_TRUE(CreateDirectory("C:\\Game"));
  for (const char* name : {"demo.exe", "anon.dat", "free.txt", "mine.txt", "locked.txt"}) {
    File f;
    ASSERT_TRUE(f.Open(std::string("C:\\Game\\") + name, kAccessWrite, kShareNone, FileDisposition::kCreateNew));
  }
  ASSERT_TRUE(SetFileAttributes("C:\\Game\\locked.txt", kAttributeReadOnly));
  WriteIni("[in use]\nC:\\Game\\demo.exe=Demo Game (demo.exe)\nC:\\Game\\anon.dat=\nrelease=2\n");
  File reader;
  EXPECT_TRUE(reader.Open("C:\\Game\\DEMO.EXE", kAccessRead, kShareReadWrite, FileDisposition::kOpenExisting));
  reader.Close();
  File writer;
  EXPECT_FALSE(writer.Open("C:\\Game\\demo.exe", kAccessWrite, kShareNone, FileDisposition::kCreateAlways));
  EXPECT_EQ(LastError(), kErrorSharingViolation);
  EXPECT_FALSE(DeleteFile("C:\\Game\\demo.exe"));
  EXPECT_TRUE(IsInUseError(LastError()));
  EXPECT_FALSE(MoveFile("C:\\Game\\demo.exe", "C:\\Game\\old.exe", false));
  EXPECT_EQ(LastError(), kErrorSharingViolation);
  File mine;
  ASSERT_TRUE(mine.Open("C:\\Game\\mine.txt", kAccessRead, kShareNone, FileDisposition::kOpenExisting));

  std::vector<FileInUse> busy = FilesInUse({"C:\\Game\\demo.exe", "C:\\Game\\anon.dat", "C:\\Game\\free.txt",
                                            "C:\\Game\\mine.txt", "C:\\Game\\locked.txt", "C:\\Game\\none.txt"});
  ASSERT_EQ(busy.size(), 3u);
  EXPECT_EQ(busy[0].Path, "C:\\Game\\demo.exe");
  EXPECT_EQ(busy[0].Programs, std::vector<std::string>{"Demo Game (demo.exe)"});
  EXPECT_EQ(busy[1].Path, "C:\\Game\\anon.dat");
  EXPECT_TRUE(busy[1].Programs.empty());
  EXPECT_EQ(busy[2].Path, "C:\\Game\\mine.txt");
  mine.Close();

  MessageBox("Files in use", "Retry?", kMbRetryCancel);  // no answer: Cancel
  EXPECT_EQ(FilesInUse({"C:\\Game\\demo.exe"}).size(), 1u);
  WriteIni("[in use]\nC:\\Game\\demo.exe=Demo Game (demo.exe)\nrelease=2\n[messageboxes]\nanswers=4,4\n");
  EXPECT_EQ(MessageBox("Files in use", "Retry?", kMbRetryCancel), kIdRetry);
  EXPECT_EQ(FilesInUse({"C:\\Game\\demo.exe"}).size(), 1u);
  EXPECT_EQ(MessageBox("Files in use", "Retry?", kMbRetryCancel), kIdRetry);
  EXPECT_TRUE(FilesInUse({"C:\\Game\\demo.exe"}).empty());
  EXPECT_TRUE(DeleteFile("C:\\Game\\demo.exe"));
}
