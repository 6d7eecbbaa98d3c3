#include "diagnostics/SErrorLog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "common/FileUtils.h"
#include "diagnostics/UOSInfo.h"
#include "tests/support/TestMachine.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include "platform/host/HostMachine.h"
#endif

// The next free number, four digits at least.
TEST(SErrorLog, NamesAndMasking) {
  TestMachine m;
  EXPECT_EQ(NextErrorLogName(m.Dir()), m.Path("ErrorLog0000.TXT"));
  TestMachine::Write(m.Path("ErrorLog0000.TXT"), "");
  TestMachine::Write(m.Path("ErrorLog0001.TXT"), "");
  EXPECT_EQ(NextErrorLogName(m.Dir() + "\\"), m.Path("ErrorLog0002.TXT"));
  EXPECT_EQ(MaskedCommandLine(std::vector<std::string>{"a.pak", "/j", "name", "10.0.0.1", "extra"}),
            "A.PAK /j X X.X.X.X EXTRA");
  EXPECT_EQ(MaskedCommandLine(std::vector<std::string>{"/J"}), "/j X X.X.X.X");
  EXPECT_EQ(MaskedCommandLine({}), "");
  EXPECT_EQ(MemoryText(2147483648u), "2049MB");
  EXPECT_EQ(MemoryText(2146435072u), "2048MB");
}

// The report's lines: titles underlined, "%-22s : %s" values, CR LF.
TEST(SErrorLog, ReportLayout) {
  TSetupInfoFile info;
  info.Info.SetupName = "Demo Game";
  info.Info.SetupExeName = "DemoSetup.exe";
  TPakTrailer trailer;
  std::memcpy(trailer.Magic, "ZUPF", 4);
  trailer.Version = 1;
  trailer.Count = 25;
  TErrorReport report;
  report.SetupInfo = &info;
  report.Trailer = &trailer;
  const std::vector<std::string> arguments{"x.pak"};
  report.Arguments = arguments;
#ifndef _WIN32
  // The emulated machine's memory and processor clock are fixed figures, and
  // its clock is measured without waiting.
  TestMachine m;
  std::ofstream(platform::host::Root() + "/machine.ini") << "[machine]\ncpumhz=2400\nmemory=536870912\n";
  platform::host::SetRoot(platform::host::Root());
  platform::host::SetFastClock(true);
#endif
  std::string text = ErrorLogText("boom", "", report);
#ifndef _WIN32
  platform::host::SetFastClock(false);
  EXPECT_NE(text.find("Physical Memory        : 513MB\r\nCPU Speed              : 2400Mhz\r\n"), std::string::npos)
      << text;
#endif
  EXPECT_EQ(text.rfind("General Info\r\n------------\r\nSetup Name             : Demo Game\r\n", 0), 0u) << text;
  EXPECT_NE(
      text.find(
          "Setup EXE Name         : DemoSetup.exe\r\n\r\nPak Info\r\n--------\r\nID                     : ZUPF\r\n"
          "Version                : 1\r\nCount                  : 25\r\n\r\n"
          "ErrorType              : Unknown\r\nErrorText              : boom\r\n\r\n"
          "Params                 : X.PAK\r\nParamCount             : 1\r\n\r\nWindows Info\r\n------------\r\n"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("CPU Speed              : "), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 5), "Mhz\r\n");
}

// Product names and editions from the version facts.
TEST(UOSInfo, ProductsAndEditions) {
  platform::OsVersion xp;
  xp.HasExtended = true;
  xp.SuiteMask = 512;
  TOSInfo home(xp, nullptr);
  EXPECT_EQ(home.Product(), 6);
  EXPECT_EQ(std::string(TOSInfo::ProductName(home.Product())) + " " + home.Edition(), "Windows XP Home Edition");
  platform::OsVersion vista = xp;
  vista.Major = 6;
  vista.Minor = 1;
  TOSInfo v(vista, nullptr);
  EXPECT_EQ(std::string(TOSInfo::ProductName(v.Product())) + " " + v.Edition(), "Windows Vista ");
  platform::OsVersion server = xp;
  server.Minor = 2;
  server.ProductType = 3;
  server.SuiteMask = 2;
  EXPECT_EQ(TOSInfo(server, nullptr).Edition(), "Enterprise Edition");
  platform::OsVersion nt41 = xp;
  nt41.Major = 4;
  nt41.Minor = 1;
  EXPECT_EQ(TOSInfo(nt41, nullptr).Product(), 0);
  platform::OsVersion w95;
  w95.PlatformId = 1;
  w95.Major = 4;
  w95.Minor = 0;
  w95.ServicePackText = "B";
  EXPECT_EQ(TOSInfo(w95, nullptr).ServicePack(), "OSR2");
  EXPECT_EQ(TOSInfo(w95, nullptr).ProductClass(), 0);
}

#ifndef _WIN32
// A name in the temporary folder that exists as a link (planted, or taken by
// another run a moment earlier) is never opened: the log takes the next
// number, and the link's target stays as it was.
TEST(SErrorLog, NeverWritesThroughAPlantedName) {
  TestMachine m;
  std::string temp = platform::TempPath();
  ASSERT_TRUE(platform::CreateDirectory(temp) || platform::DirectoryExists(temp));
  std::string target = platform::host::ToNative(m.Path("target.txt"));
  std::ofstream(target) << "keep";
  std::string planted = platform::host::ToNative(AddBackslash(temp) + "ErrorLog0000.TXT");
  ASSERT_EQ(::symlink(target.c_str(), planted.c_str()), 0);
  ::unlink(target.c_str());  // dangling: FileExists says no, create-new refuses
  TErrorReport report;
  report.Unattended = true;
  std::string path = WriteErrorLog("boom", "", report);
  EXPECT_EQ(path, AddBackslash(temp) + "ErrorLog0001.TXT");
  struct stat st;
  EXPECT_NE(::stat(target.c_str(), &st), 0) << "the link's target was created";
}
#endif
