#include "cli/WizpakCli.h"

#include <gtest/gtest.h>

#include <sstream>

#include "package/ZUI_PakFile.h"
#include "tests/support/TestMachine.h"

namespace {

struct CliRun {
  int code;
  std::string out, err;
};

CliRun Cli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = RunWizpakCli(args, out, err);
  return {code, out.str(), err.str()};
}

// A folder of files to pack: two at the top, one below.
void MakeTree(const TestMachine& m) {
  platform::CreateDirectory(m.Path("src"));
  platform::CreateDirectory(m.Path("src\\sub"));
  TestMachine::Write(m.Path("src\\readme.txt"), "Read me, " + std::string(500, 'r'));
  TestMachine::Write(m.Path("src\\empty.dat"), "");
  TestMachine::Write(m.Path("src\\sub\\data.bin"), std::string(3000, '\x07'));
}

}  // namespace

// pack -> list -> verify -> extract gives the files back byte for byte.
TEST(WizpakCli, PackListVerifyExtract) {
  TestMachine m;
  MakeTree(m);
  TestMachine::Write(m.Path("stub.exe"), "MZ" + std::string(1000, 's'));
  TestMachine::Write(m.Path("extra.txt"), "extra");
  std::string out = m.Path("Setup.exe");
  CliRun pack = Cli({"pack", out, "--stub", m.Path("stub.exe"), m.Path("src"), "--group", "2", m.Path("extra.txt")});
  ASSERT_EQ(pack.code, 0) << pack.err;
  EXPECT_NE(pack.out.find("4 entries"), std::string::npos) << pack.out;

  CliRun list = Cli({"list", out});
  ASSERT_EQ(list.code, 0) << list.err;
  // The four files and the directory digest.
  EXPECT_NE(list.out.find("5 entries, data start 1002"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("sub\\data.bin"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("    3     2          5          0"), std::string::npos)
      << list.out;  // extra.txt: group 2, raw

  CliRun verify = Cli({"verify", out});
  EXPECT_EQ(verify.code, 0) << verify.err;
  EXPECT_NE(verify.out.find("5 entries verified, directory digest matches"), std::string::npos) << verify.out;

  CliRun extract = Cli({"extract", out, m.Path("x")});
  ASSERT_EQ(extract.code, 0) << extract.err;
  EXPECT_EQ(TestMachine::Read(m.Path("x\\group1\\readme.txt")), TestMachine::Read(m.Path("src\\readme.txt")));
  EXPECT_EQ(TestMachine::Read(m.Path("x\\group1\\sub\\data.bin")), std::string(3000, '\x07'));
  EXPECT_EQ(TestMachine::Read(m.Path("x\\group1\\empty.dat")), "");
  EXPECT_EQ(TestMachine::Read(m.Path("x\\group2\\extra.txt")), "extra");

  CliRun one = Cli({"extract", out, m.Path("only2"), "--group", "2"});
  ASSERT_EQ(one.code, 0) << one.err;
  EXPECT_EQ(TestMachine::Read(m.Path("only2\\extra.txt")), "extra");
  EXPECT_FALSE(platform::FileExists(m.Path("only2\\readme.txt")));
}

// A changed name passes every entry's own check; the directory digest finds it,
// and extraction then writes nothing.
TEST(WizpakCli, DirectoryDigestFindsARenamedEntry) {
  TestMachine m;
  MakeTree(m);
  std::string out = m.Path("p.pak");
  ASSERT_EQ(Cli({"pack", out, m.Path("src")}).code, 0);
  std::string bytes = TestMachine::Read(out);
  size_t at = bytes.rfind("readme.txt");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 's';  // "seadme.txt"
  TestMachine::Write(out, bytes);
  CliRun verify = Cli({"verify", out});
  EXPECT_EQ(verify.code, 1);
  EXPECT_NE(verify.err.find("do not match the directory digest (entry 3, DirectoryDigest)"), std::string::npos)
      << verify.err;
  CliRun extract = Cli({"extract", out, m.Path("x")});
  EXPECT_EQ(extract.code, 1);
  EXPECT_FALSE(platform::FileExists(m.Path("x\\group1\\seadme.txt")));
}

// A damaged entry fails verification by index and name, and extraction then
// writes nothing.
TEST(WizpakCli, VerifyNamesTheFirstBadEntry) {
  TestMachine m;
  MakeTree(m);
  std::string out = m.Path("p.pak");
  ASSERT_EQ(Cli({"pack", out, m.Path("src")}).code, 0);
  TPak pak(out, false, false);
  uint32_t bad = 0;
  while (pak.Entries[bad].Name != "sub\\data.bin") ++bad;
  uint32_t offset = pak.Entries[bad].Offset;
  pak.Close();
  std::string bytes = TestMachine::Read(out);
  bytes[offset + 3] ^= 0x40;
  TestMachine::Write(out, bytes);
  CliRun verify = Cli({"verify", out});
  EXPECT_EQ(verify.code, 1);
  EXPECT_NE(verify.err.find("entry " + std::to_string(bad) + " (sub\\data.bin) failed verification"), std::string::npos)
      << verify.err;
  CliRun extract = Cli({"extract", out, m.Path("x")});
  EXPECT_EQ(extract.code, 1);
  EXPECT_FALSE(platform::DirectoryExists(m.Path("x")));
}

// Bad input is named with its reason; OUT is left as it was.
TEST(WizpakCli, ErrorsAndUsage) {
  TestMachine m;
  TestMachine::Write(m.Path("plain.bin"), std::string(100, 'p'));
  CliRun noPak = Cli({"list", m.Path("plain.bin")});
  EXPECT_EQ(noPak.code, 1);
  EXPECT_NE(noPak.err.find("no package found"), std::string::npos);
  CliRun missing = Cli({"verify", m.Path("missing.exe")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("missing.exe"), std::string::npos);
  EXPECT_NE(missing.err.find("(2)"), std::string::npos) << missing.err;

  TestMachine::Write(m.Path("keep.pak"), "old contents");
  CliRun nosrc = Cli({"pack", m.Path("keep.pak"), m.Path("nothing-here")});
  EXPECT_EQ(nosrc.code, 1);
  EXPECT_NE(nosrc.err.find("nothing-here"), std::string::npos);
  TestMachine::Write(m.Path("a.txt"), "a");
  platform::CreateDirectory(m.Path("dir"));
  TestMachine::Write(m.Path("dir\\A.TXT"), "A");
  CliRun twice = Cli({"pack", m.Path("keep.pak"), m.Path("a.txt"), m.Path("dir")});
  EXPECT_EQ(twice.code, 1);
  EXPECT_NE(twice.err.find("twice"), std::string::npos) << twice.err;
  EXPECT_EQ(TestMachine::Read(m.Path("keep.pak")), "old contents");
  EXPECT_FALSE(platform::FileExists(m.Path("keep.pak.part")));

  EXPECT_EQ(Cli({}).code, 2);
  EXPECT_EQ(Cli({"frobnicate"}).code, 2);
  EXPECT_EQ(Cli({"list"}).code, 2);
  EXPECT_EQ(Cli({"extract", "a", "b", "--group", "x"}).code, 2);
  EXPECT_EQ(Cli({"pack", m.Path("o.pak")}).code, 2);
  // A usage fault of build says what it is before the usage text.
  struct Usage {
    std::vector<std::string> args;
    std::string says;
  } usages[] = {
      {{"build", "x.wps", "--threads", "0"}, "--threads takes a whole number of 1 or more, not \"0\""},
      {{"build", "x.wps", "--stub", "s.exe", "--package-only"}, "--stub and --package-only exclude each other"},
      {{"build"}, "no script given"},
      {{"build", "x.wps", "-o"}, "-o needs a value"},
      {{"build", "x.wps", "y.wps"}, "one script only, but y.wps follows x.wps"},
  };
  for (const Usage& u : usages) {
    CliRun r = Cli(u.args);
    EXPECT_EQ(r.code, 2) << u.says;
    EXPECT_EQ(r.err.rfind("wizpak build: " + u.says + "\n", 0), 0u) << r.err;
  }
  for (const char* verb : {"list", "verify", "extract", "pack"}) {
    CliRun help = Cli({verb, "--help"});
    EXPECT_EQ(help.code, 0) << verb;
    EXPECT_NE(help.out.find(std::string("usage: wizpak ") + verb), std::string::npos) << verb;
  }
}

// A folder named where a package file is wanted is called a folder, not a
// permission problem.
TEST(WizpakCli, FolderGivenAsPackage) {
  TestMachine m;
  MakeTree(m);
  CliRun verify = Cli({"verify", m.Path("src")});
  EXPECT_EQ(verify.code, 1);
  EXPECT_NE(verify.err.find("cannot open " + m.Path("src") + ": it is a folder, not a file"), std::string::npos)
      << verify.err;
}
