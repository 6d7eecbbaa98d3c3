// The road of one install and one uninstall on a fresh machine, and the
// pieces of it: the run loop, the uninstall log, the uninstaller, start-up.
#include <gtest/gtest.h>

#include <fstream>

#include "common/Exceptions.h"
#include "common/FileUtils.h"
#include "common/RunLog.h"
#include "common/Strings.h"
#include "gamedata/VFS_Check.h"
#include "gamedata/VFS_Unit.h"
#include "gamedata/ZU_PakSystem.h"
#include "package/ZUI_PakFile.h"
#include "script/SE_ScriptState.h"
#include "script/SE_SetupThread.h"
#include "script/SE_Uninstall_List.h"
#include "startup/Startup.h"
#include "tests/support/Recorders.h"
#include "tests/support/Workspace.h"
#include "ui/ZUI_Language.h"

#ifndef _WIN32
#include "platform/host/HostMachine.h"

namespace {
// Runs without the waits a person would see (the verification window's
// shortest showing).
struct FastClock {
  FastClock() { platform::host::SetFastClock(true); }
  ~FastClock() { platform::host::SetFastClock(false); }
};
}  // namespace
#endif

namespace {

// A loaded setup ready to run, as start-up leaves it.
struct Loaded {
  explicit Loaded(const std::string& setup, const std::string& installDir) : pak(setup, false, false), state(lines) {
    uint32_t size = 0;
    auto si = pak.FindEntry("SetupInfo", 0, size);
    info.LoadFromBuffer(si->data(), size);
    info.Info.InstallDir = installDir;
    auto cl = pak.FindEntry("CompiledLines", 0, size);
    lines.LoadFromBuffer(cl->data(), size);
    RegisterCommands(commands);
    std::string lang = Workspace::English();
    languages.AddLanguage(reinterpret_cast<const uint8_t*>(lang.data()), static_cast<uint32_t>(lang.size()));
    languages.CurrentIndex = 0;
    state.Pak = &pak;
    state.SetupInfo = &info;
    state.UninstallList = &log;
    state.Observer = &observer;
    state.Text = &languages;
    state.Registry = &registry;
  }
  TPak pak;
  TSetupInfoFile info;
  TCompLines lines;
  TCommandList commands;
  TLanguages languages;
  TUninstallList log{[this] { return state.Fields(); }};
  RecordingObserver observer;
  platform::Registry registry;
  TScriptState state;
};

}  // namespace

// Jumps: over lines to a label, "-1" (no jump) and past the last line (the
// run ends normally).
TEST(Runtime, RunLoopJumps) {
  Workspace w;
  w.File("files\\a.txt", "AAAA");
  std::string setup = w.Build(
      "file files\\\n"
      "goto skip\n"
      "message never\n"
      ":skip\n"
      "goto -1\n"
      "message \"<LANG21>\"\n"
      "goto 99\n"
      "message after\n");
  ASSERT_FALSE(setup.empty());
  std::string dir = w.m.Path("Game");
  Loaded l(setup, dir);
  TSetupThread thread(l.state, l.commands, nullptr);
  thread.RunScript();
  EXPECT_EQ(TestMachine::Read(dir + "\\a.txt"), "AAAA");
  EXPECT_EQ(l.observer.status, (std::vector<WideString>{u"Extracting a.txt", u"Beginning Installation"}));
  EXPECT_EQ(l.observer.steps, 1);
  EXPECT_FALSE(l.state.StopFlag);
  EXPECT_FALSE(platform::FileExists(dir + "\\install.log"));  // no uninstallpages: no log
}

// A command that fails ends the run with its exception; the finishing steps
// are skipped, the run is undone (the install directory it made is gone) and
// the thread reports both.
TEST(Runtime, ExceptionEndsTheRun) {
  Workspace w;
  std::string setup =
      w.Build("uninstallpages uninstall\nuninstalllanguage install\\english\nduplicateentry data.zup a b\n");
  ASSERT_FALSE(setup.empty());
  Loaded l(setup, w.m.Path("Game"));
  std::string reported;
  // Cancel on the missing archive's box would end the program; here it raises.
  l.state.Archives = std::make_unique<TPakSystem>();
  l.state.Archives->OnExit = [](uint32_t) {};
  RecordingPrompt prompt;  // Cancel on the Retry/Cancel box
  TSetupThread thread(l.state, l.commands, [&](const std::string& m) { reported = m; });
  ASSERT_TRUE(thread.Start());
  EXPECT_FALSE(StartRun(thread, l.state, nullptr));
  ASSERT_EQ(prompt.shown.size(), 1u);
  EXPECT_EQ(reported, "File not found: \"" + w.m.Path("Game") +
                          "\\data.zup\".\r\n"
                          "Everything the run had changed was put back (1 change undone).");
  EXPECT_FALSE(platform::DirectoryExists(w.m.Path("Game")));
}

TEST(Runtime, FailureOnTheLastLineStillFinishes) {
  Workspace w;
  w.File("files\\a.txt", "AAAA");
  std::string setup = w.Build(
      ":top\nuninstallpages uninstall\nuninstalllanguage install\\english\nprefix Demo\nfile files\\\nmessage "
      "\"<LANG21>\"\nfailure\n");
  ASSERT_FALSE(setup.empty());
  std::string dir = w.m.Path("Game");
  Loaded l(setup, dir);
  TSetupThread thread(l.state, l.commands, nullptr);
  thread.RunRequested = true;
  thread.RunScript();
  EXPECT_FALSE(thread.RunRequested);
  EXPECT_TRUE(l.state.StopFlag);
  EXPECT_EQ(l.observer.finish, (std::vector<WideString>{u"Setup failed to install."}));
  EXPECT_EQ(l.observer.status, (std::vector<WideString>{u"Extracting a.txt", u"Beginning Installation"}));
  EXPECT_TRUE(platform::FileExists(dir + "\\Demo_install.log"));
  EXPECT_TRUE(platform::FileExists(dir + "\\Demo_Uninstall.exe"));

  // The uninstaller: the stub, then a package of the UNINSTALL_ entries, a
  // SetupInfo equal to the setup's but for IsUninstaller, and the directory
  // digest.
  TPak un(dir + "\\Demo_Uninstall.exe", false, false);
  ASSERT_TRUE(un.Trailer.HasMagic());
  EXPECT_EQ(un.Trailer.DataStart, 512u);
  std::vector<std::string> names;
  for (const TPakFile& e : un.Entries) names.push_back(e.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Finish.txt", "Pages.txt", "Welcome.txt", "Work.txt",
                                             "LANGUAGE-install\\english", "SetupInfo", "DirectoryDigest"}));
  uint32_t digest = 0;
  EXPECT_EQ(un.CheckDirectoryDigest(digest), TDigestCheck::kMatches);
  uint32_t size = 0;
  auto si = un.FindEntry("SetupInfo", 0, size);
  ASSERT_TRUE(si);
  TSetupInfoFile copy;
  copy.LoadFromBuffer(si->data(), size);
  EXPECT_EQ(copy.Info.IsUninstaller, 1);
  copy.Info.IsUninstaller = 0;
  EXPECT_EQ(copy.SaveToBytes(), l.info.SaveToBytes());
  EXPECT_EQ(l.info.Info.IsUninstaller, 0);
  EXPECT_EQ(TestMachine::Read(dir + "\\Demo_Uninstall.exe").substr(0, 512), "MZ" + std::string(510, '\x90'));

  platform::Registry reg;
  reg.SetRoot(platform::kRootLocalMachine);
  ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\", false));
}

// A script of nothing but directives still creates the install directory and
// writes the log: no files, no values, the directories of the run.
TEST(Runtime, EmptyScriptStillFinishes) {
  Workspace w;
  std::string setup = w.Build("uninstallpages uninstall\nuninstalllanguage install\\english\n");
  ASSERT_FALSE(setup.empty());
  std::string dir = w.m.Path("New\\Game");
  Loaded l(setup, dir);
  TSetupThread thread(l.state, l.commands, nullptr);
  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(StartRun(thread, l.state, nullptr));
  EXPECT_TRUE(platform::DirectoryExists(dir));
  // The install directory as the run starts, then what ForceInstallDirs made.
  EXPECT_EQ(l.log.Directories(), (std::vector<std::string>{dir, w.m.Path("New\\"), dir}));
  std::string bytes = TestMachine::Read(dir + "\\install.log");
  EXPECT_EQ(bytes.substr(0, 6), std::string("\x00\x00\x00\x00\x03\x00", 6));
}

// The log's layout: three counts, then every string scrambled with the key;
// loading gives the lists back.
TEST(Runtime, UninstallLogLayout) {
  TestMachine m;
  ASSERT_TRUE(TUninstallList(nullptr).SaveLog(m.Dir(), ""));
  EXPECT_EQ(TestMachine::Read(m.Path("install.log")), std::string(6, '\0'));
  TUninstallList list(nullptr);
  list.AddInstalledFile("$INSTDIR\\a.txt");
  list.AddRegistryRecord(MakeRegistryRecord("HKLM", "SOFTWARE\\X Y", "V", "$INSTDIR"));
  list.AddDirectory("C:\\Game\\");
  ASSERT_TRUE(list.SaveLog(m.Dir(), "Tool_"));
  std::string bytes = TestMachine::Read(m.Path("Tool_install.log"));
  EXPECT_EQ(bytes.substr(0, 6), std::string("\x01\x00\x01\x00\x01\x00", 6));
  EXPECT_EQ(static_cast<uint8_t>(bytes[6]), 14);
  std::string first = bytes.substr(8, 14);
  EXPECT_NE(first, "$INSTDIR\\a.txt");
  EXPECT_EQ(static_cast<uint8_t>(first[0]), static_cast<uint8_t>('$' + (kUninstallLogKey[0] - '0')));
  EXPECT_FALSE(platform::FileExists(m.Path("Tool_install.log.tmp")));
  TUninstallList back(nullptr);
  back.AddDirectory("kept?");
  back.LoadLog(m.Dir(), "Tool_");
  EXPECT_EQ(back.Files(), list.Files());
  EXPECT_EQ(back.RegistryRecords(), list.RegistryRecords());
  EXPECT_EQ(back.Directories(), list.Directories());
  back.LoadLog(m.Dir(), "Missing_");  // no such log: nothing changes
  EXPECT_EQ(back.Files().size(), 1u);
  EXPECT_EQ(SplitRegistryRecord(back.RegistryRecords()[0]),
            (std::vector<std::string>{"HKLM", "SOFTWARE\\X Y", "V", "$INSTDIR"}));
  EXPECT_EQ(SplitRegistryRecord("  \"a b\"  c "), (std::vector<std::string>{"a b", "c", "", ""}));
  TestMachine::Write(m.Path("Bad_install.log"), std::string("\x05\x00\x00\x00\x00\x00\x03\x00", 8) + "ab");
  EXPECT_THROW(back.LoadLog(m.Dir(), "Bad_"), ESetupError);
}

// Uninstall removes what the log lists and leaves a folder holding foreign
// files; progress shows only once Trunc(k * 100 / n) > 0.
TEST(Runtime, UninstallLeavesForeignFiles) {
  Workspace w;
  std::string setup = w.Build("uninstallpages uninstall\nuninstalllanguage install\\english\n");
  std::string dir = w.m.Path("Game");
  Loaded l(setup, dir);
  ForceInstallDirs(dir + "\\sub\\", &l.log);
  TestMachine::Write(dir + "\\mine.txt", "m");
  TestMachine::Write(dir + "\\sub\\foreign.txt", "f");
  l.log.AddInstalledFile(dir + "\\mine.txt");
  // A record that climbs out of its folder is passed over.
  TestMachine::Write(w.m.Path("outside.txt"), "o");
  l.log.AddInstalledFile(dir + "\\sub\\..\\..\\outside.txt");
  for (int i = 0; i < 249; ++i) l.log.AddInstalledFile(dir + "\\gone" + std::to_string(i));
  l.registry.SetRoot(platform::kRootCurrentUser);
  ASSERT_TRUE(l.registry.OpenKey("Software\\Demo", true));
  ASSERT_TRUE(l.registry.WriteString("Path", "x"));
  l.registry.CloseKey();
  l.log.AddRegistryRecord(MakeRegistryRecord("HKCU", "Software\\Demo", "Path", "x"));
  ASSERT_TRUE(l.log.SaveLog(dir, ""));
  RunUninstall(l.state);
  EXPECT_FALSE(platform::FileExists(dir + "\\mine.txt"));
  EXPECT_TRUE(platform::FileExists(w.m.Path("outside.txt")));
  EXPECT_TRUE(platform::FileExists(dir + "\\sub\\foreign.txt"));
  EXPECT_TRUE(platform::DirectoryExists(dir + "\\sub"));
  EXPECT_FALSE(platform::FileExists(dir + "\\install.log"));
  l.registry.SetRoot(platform::kRootCurrentUser);
  ASSERT_TRUE(l.registry.OpenKey("Software\\Demo", false));  // keys stay
  EXPECT_FALSE(l.registry.ValueExists("Path"));
  ASSERT_FALSE(l.observer.status.empty());
  EXPECT_EQ(l.observer.status[0], u"Status: 0 of 254 items remaining");
  // 251 files: items 1 and 2 show nothing (Trunc(100/251) = 0).
  EXPECT_EQ(l.observer.status[1], u"Uninstalling : 3 of 251 items");
  EXPECT_EQ(l.observer.status.back(), u"Uninstalling registry values: 1 of 1 items");
  EXPECT_EQ(l.observer.maximum, 254u);
  EXPECT_EQ(l.observer.position, 254u);
}

// The renamed-executable rule and the space required by group kinds.
TEST(Startup, RenamedNamesAndSpaceRequired) {
  EXPECT_EQ(NormaliseExeName("setup(3).exe"), "setup.exe");
  EXPECT_EQ(NormaliseExeName("setup[1].exe"), "setup.exe");
  EXPECT_EQ(NormaliseExeName("setup().exe"), "setup.exe");
  EXPECT_EQ(NormaliseExeName("setup (3).exe"), "setup .exe");
  EXPECT_EQ(NormaliseExeName("setup(10).exe"), "setup(10).exe");
  EXPECT_EQ(NormaliseExeName("setup(b).exe"), "setup(b).exe");
  EXPECT_EQ(NormaliseExeName("setup(2.exe"), "setup(2.exe");

  Workspace w;
  w.File("files\\big.txt", std::string(10000, 'a'));
  w.File("patch\\p.txt", std::string(10000, 'b'));
  std::string setup = w.Build("file files\\\nzupupdate patch\\ pw data.zup\n");
  ASSERT_FALSE(setup.empty());
  Loaded l(setup, w.m.Path("Game"));
  uint32_t stored = 0;
  for (const TPakFile& e : l.pak.Entries) {
    if (e.Group == 2) stored = e.StoredSize;
  }
  ASSERT_GT(stored, 0u);
  EXPECT_EQ(SpaceRequiredFor(l.pak, l.lines, l.commands), 10000u + stored);
  // Summed in 64 bits: two files of 3,000,000,000 bytes need 6,000,000,000,
  // not that figure less 4 GiB.
  TPakFile big;
  for (TPakFile& e : l.pak.Entries) {
    if (e.Group == 1) {
      e.OrigSize = 3000000000u;
      big = e;
    }
  }
  l.pak.Entries.push_back(big);
  EXPECT_EQ(SpaceRequiredFor(l.pak, l.lines, l.commands), 6000000000ull + stored);
}

#ifndef _WIN32
namespace {
// Runs a setup file through start-up on the current host machine.
int Start(const std::vector<std::string>& args, RecordingObserver* observer = nullptr) {
  platform::host::Transcript().clear();
  return RunProgram(args, observer, RunWizard);
}
std::string LastMessage() {
  auto& t = platform::host::Transcript();
  return t.empty() ? "" : t.back().Caption + ": " + t.back().Text;
}
}  // namespace

// Start-up's fatal conditions, each a message box and exit status 1.
TEST(Startup, FatalMessages) {
  Workspace w;
  TestMachine::Write(w.m.Path("plain.exe"), std::string(100, 'x'));
  EXPECT_EQ(Start({w.m.Path("plain.exe")}), kExitFatalMessage);
  EXPECT_EQ(LastMessage(), "Error: Invalid Setup Header. No Contents or Corrupted Contents.");

  std::string setup =
      w.Build("name Demo\noutfile Setup.exe\ninstalldir C:\\Demo\nlanguage install\\english\n", "Setup.exe");
  ASSERT_FALSE(setup.empty());
  std::string bytes = TestMachine::Read(setup);
  for (const char* ok : {"setup(3).exe", "SETUP[1].EXE"}) {
    TestMachine::Write(w.m.Path(ok), bytes);
    EXPECT_EQ(Start({w.m.Path(ok)}), kExitCompleted) << ok << ": " << LastMessage();
  }
  for (const char* bad : {"Setup (3).exe", "Setup(10).exe", "Setup(b).exe"}) {
    TestMachine::Write(w.m.Path(bad), bytes);
    EXPECT_EQ(Start({w.m.Path(bad)}), kExitFatalMessage) << bad;
    EXPECT_EQ(
        LastMessage(),
        std::string("Error: Error: Setup`s filename has been renamed\r\rExpected: \rSetup.exe\r\rFound: \r") + bad);
    // A package named as first argument skips the check.
    EXPECT_EQ(Start({w.m.Path(bad), setup}), kExitCompleted) << bad;
  }

  // An altered byte names the entry.
  {
    TPak pak(setup, false, false);
    for (const TPakFile& e : pak.Entries) {
      if (e.Name == "SetupInfo") bytes[e.Offset + 1] ^= 1;
    }
  }
  TestMachine::Write(w.m.Path("Setup.exe"), bytes);
  EXPECT_EQ(Start({w.m.Path("Setup.exe")}), kExitFatalMessage);
  EXPECT_EQ(LastMessage().rfind("Verification Error: Error: Verification Failed. Setup is corrupt.\rID: ", 0), 0u);
  EXPECT_EQ(LastMessage().substr(LastMessage().size() - 20), " Filename: SetupInfo");

  std::string noDir = w.Build("name Demo\noutfile NoDir.exe\n", "NoDir.exe");
  EXPECT_EQ(Start({noDir}), kExitFatalMessage);
  EXPECT_EQ(LastMessage(), "Error: Error: Registry Key Not Found. Please Install Software");
}

// The "Verifying Contents" window is not redrawn for every entry (at most
// every 50 ms), but the count it ends with is the true one.
TEST(Startup, VerificationCountIsThrottledAndEndsTrue) {
  FastClock fast;
  Workspace w;
  for (int i = 0; i < 600; ++i) w.File("files\\f" + std::to_string(i) + ".txt", std::to_string(i));
  std::string setup = w.Build(
      "name Demo\noutfile Setup.exe\ninstalldir \"$PROGRAMFILES\\Demo\"\nlanguage install\\english\nfile files\\\n");
  ASSERT_FALSE(setup.empty());
  TPak pak(setup, false, false);
  const std::string last = "Status: " + std::to_string(pak.Trailer.Count) + " out of " +
                           std::to_string(pak.Trailer.Count) + " files verifyed";
  testing::internal::CaptureStdout();
  int code = Start({setup});
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(code, kExitCompleted) << LastMessage();
  const std::string tag = "[Verifying Contents] ";
  std::vector<std::string> shown;
  for (size_t at = out.find(tag + "Status: "); at != std::string::npos; at = out.find(tag + "Status: ", at + 1)) {
    size_t from = at + tag.size();
    shown.push_back(out.substr(from, out.find('\n', from) - from));
  }
  ASSERT_FALSE(shown.empty()) << out;
  EXPECT_EQ(shown.back(), last);
  EXPECT_LT(shown.size(), 300u);
}

// The whole road: install, then the uninstaller removes what the setup made.
TEST(Startup, InstallThenUninstall) {
  Workspace w;
  w.File("files\\readme.txt", "read me");
  w.File("files\\docs\\a.txt", "a");
  std::string setup = w.Build(
      "name Demo\noutfile Setup.exe\nprefix Demo\ninstalldir \"$PROGRAMFILES\\Demo\"\nlanguage install\\english\n"
      "installdirregkey HKLM \"SOFTWARE\\Demo\" Path\n"
      "uninstallpages uninstall\nuninstalllanguage install\\english\nmessage \"<LANG21>\"\nfile "
      "files\\\ncreatedirectory \"$SMPROGRAMS\\Demo\"\n"
      "createshortcut \"$SMPROGRAMS\\Demo\\Read Me.lnk\" \"$INSTDIR\\readme.txt\" \"\"\n"
      "writeregstr HKLM \"SOFTWARE\\Demo\" Path \"$INSTDIR\"\n");
  ASSERT_FALSE(setup.empty());
  RecordingObserver observer;
  ASSERT_EQ(Start({setup}, &observer), kExitCompleted) << LastMessage();
  const std::string dir = "C:\\Program Files\\Demo";
  EXPECT_EQ(TestMachine::Read(dir + "\\docs\\a.txt"), "a");
  EXPECT_TRUE(platform::FileExists(dir + "\\Demo_install.log"));
  EXPECT_TRUE(platform::FileExists(dir + "\\Demo_Uninstall.exe"));
  platform::ShellLink link;
  ASSERT_TRUE(platform::LoadShellLink(platform::SpecialFolder(platform::kCsidlPrograms) + "\\Demo\\Read Me.lnk", link));
  EXPECT_EQ(link.Target, dir + "\\readme.txt");
  platform::Registry reg;
  std::string value;
  ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Demo", false));
  EXPECT_TRUE(reg.ReadString("Path", value));
  EXPECT_EQ(value, dir);
  EXPECT_EQ(observer.status.front(), u"Status: 0 of 2 files extracted");

  ASSERT_EQ(Start({dir + "\\Demo_Uninstall.exe"}), kExitCompleted) << LastMessage();
  EXPECT_FALSE(platform::FileExists(dir + "\\readme.txt"));
  EXPECT_FALSE(platform::DirectoryExists(dir + "\\docs"));
  EXPECT_FALSE(platform::FileExists(dir + "\\Demo_install.log"));
  EXPECT_FALSE(platform::DirectoryExists(platform::SpecialFolder(platform::kCsidlPrograms) + "\\Demo"));
  reg.SetRoot(platform::kRootLocalMachine);
  ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Demo", false));
  EXPECT_FALSE(reg.ValueExists("Path"));
  EXPECT_FALSE(reg.KeyExists("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo"));

  // Started again, the uninstaller finds no log.
  EXPECT_EQ(Start({dir + "\\Demo_Uninstall.exe"}), kExitFatalMessage);
  EXPECT_EQ(LastMessage(), "Setup Error: Error: install log is missing");

  // The key the uninstall left without its value: the setup installs into
  // its own directory again; a value there names the directory.
  ASSERT_EQ(Start({setup}), kExitCompleted) << LastMessage();
  EXPECT_EQ(TestMachine::Read(dir + "\\docs\\a.txt"), "a");
  reg.SetRoot(platform::kRootLocalMachine);
  ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Demo", false));
  ASSERT_TRUE(reg.WriteString("Path", "C:\\Games\\Demo"));
  reg.CloseKey();
  ASSERT_EQ(Start({setup}), kExitCompleted) << LastMessage();
  EXPECT_EQ(TestMachine::Read("C:\\Games\\Demo\\docs\\a.txt"), "a");
  // A patch has no directory of its own: it needs the value.
  std::string patch =
      w.Build("name Demo\noutfile Patch.exe\ninstalldirregkey HKLM \"SOFTWARE\\Demo\" Gone\n", "Patch.exe");
  EXPECT_EQ(Start({patch}), kExitFatalMessage);
  EXPECT_EQ(LastMessage(), "Error: Error: Registry Key Not Found. Please Install Software");
}
#endif

#ifndef _WIN32
// An install, then an uninstall, with a file operation failing (once, or from
// then on as on a full disk) at every point in turn: neither crashes or hangs,
// the uninstall log is never half-written, and an uninstaller that is there
// with its log removes the installation.
TEST(Startup, InstallAndUninstallWithEveryWriteFailing) {
  FastClock fast;
  for (bool persist : {true, false}) {
    int walked = 0;
    for (uint64_t n = 1; n < 2000; ++n) {
      Workspace w;
      w.File("files\\readme.txt", "read me");
      w.File("files\\docs\\a.txt", std::string(5000, 'a'));
      std::string setup = w.Build(
          "name Demo\noutfile Setup.exe\nprefix Demo\ninstalldir \"$PROGRAMFILES\\Demo\"\nlanguage install\\english\n"
          "uninstallpages uninstall\nuninstalllanguage install\\english\nfile files\\\ncreatedirectory "
          "\"$SMPROGRAMS\\Demo\"\n"
          "createshortcut \"$SMPROGRAMS\\Demo\\Read Me.lnk\" \"$INSTDIR\\readme.txt\" \"\"\n");
      ASSERT_FALSE(setup.empty());
      const std::string dir = "C:\\Program Files\\Demo";
      platform::host::InjectFileFault(n, persist);
      int code = Start({setup});
      bool fired = platform::host::FileFaultFired();
      platform::host::InjectFileFault(0, false);
      // Nothing reports a failure as success: a run that says it completed
      // left every file whole, its log and its uninstaller.
      if (code == kExitCompleted) {
        EXPECT_EQ(TestMachine::Read(dir + "\\docs\\a.txt"), std::string(5000, 'a')) << n << " " << persist;
        EXPECT_EQ(TestMachine::Read(dir + "\\readme.txt"), "read me") << n << " " << persist;
        EXPECT_TRUE(platform::FileExists(dir + "\\Demo_install.log")) << n << " " << persist;
        EXPECT_TRUE(platform::FileExists(dir + "\\Demo_Uninstall.exe")) << n << " " << persist;
        EXPECT_TRUE(platform::FileExists(platform::SpecialFolder(platform::kCsidlPrograms) + "\\Demo\\Read Me.lnk"))
            << n << " " << persist;
      } else if (fired) {
        EXPECT_TRUE(code == kExitCompletedWithErrors || code == kExitErrorLog || code == kExitFatalMessage)
            << n << " " << persist << ": " << code;
      }
      // The log is complete or absent: it loads, and lists what it lists whole.
      TUninstallList log([] { return TPathFields{}; });
      EXPECT_NO_THROW(log.LoadLog(dir, "Demo_")) << n;
      if (platform::FileExists(dir + "\\Demo_Uninstall.exe") && platform::FileExists(dir + "\\Demo_install.log")) {
        Start({dir + "\\Demo_Uninstall.exe"});
        EXPECT_FALSE(platform::FileExists(dir + "\\docs\\a.txt")) << n << ": " << LastMessage();
        EXPECT_FALSE(platform::FileExists(dir + "\\Demo_install.log")) << n;
      }
      if (!fired) {
        EXPECT_TRUE(platform::FileExists(dir + "\\Demo_Uninstall.exe") || n == 1) << n;
        break;
      }
      ++walked;
    }
    EXPECT_GE(walked, 10) << persist;
  }
  // The same for the uninstall: the log is removed last, so an uninstall cut
  // short can run again.
  for (uint64_t n = 1; n < 2000; ++n) {
    Workspace w;
    w.File("files\\readme.txt", "read me");
    std::string setup = w.Build(
        "name Demo\noutfile Setup.exe\nprefix Demo\ninstalldir \"$PROGRAMFILES\\Demo\"\nlanguage install\\english\n"
        "uninstallpages uninstall\nuninstalllanguage install\\english\nfile files\\\n");
    ASSERT_FALSE(setup.empty());
    const std::string dir = "C:\\Program Files\\Demo";
    ASSERT_EQ(Start({setup}), kExitCompleted);
    platform::host::InjectFileFault(n, true);
    Start({dir + "\\Demo_Uninstall.exe"});
    bool fired = platform::host::FileFaultFired();
    platform::host::InjectFileFault(0, false);
    if (!fired) break;
    if (platform::FileExists(dir + "\\Demo_install.log")) {
      TUninstallList log([] { return TPathFields{}; });
      EXPECT_NO_THROW(log.LoadLog(dir, "Demo_")) << n;
      Start({dir + "\\Demo_Uninstall.exe"});
      EXPECT_FALSE(platform::FileExists(dir + "\\readme.txt")) << n << ": " << LastMessage();
    }
  }
}
#endif

#ifndef _WIN32
// A patch that applies two files to a VFS container, with a file operation
// failing at every point in turn: the container comes out of every run with
// its old files or with the new ones, and passes its check.
TEST(Startup, VfsPatchWithEveryWriteFailing) {
  FastClock fast;
  const std::string dir = "C:\\Games\\Demo", container = dir + "\\data.vfs";
  for (bool persist : {true, false}) {
    int walked = 0, kept = 0;
    for (uint64_t n = 1; n < 2000; ++n) {
      Workspace w;
      w.File("patch\\readme.txt", "the new readme");
      w.File("patch\\maps\\a.dat", std::string(3000, 'n'));
      std::string setup = w.Build("name Patch\noutfile Setup.exe\ninstalldir \"" + dir +
                                  "\"\nlanguage install\\english\nvfsupdate patch\\ data.vfs\n");
      ASSERT_FALSE(setup.empty());
      ForceInstallDirs(dir + "\\", nullptr);
      CreateEmptyContainer(container, 512, 64, 8, "TEST");
      {
        TVFSFile vfs;
        vfs.Open(container, true);
        vfs.Tree.AddFile("readme.txt", reinterpret_cast<const uint8_t*>("old"), 3);
        vfs.Save(false);
      }
      platform::host::InjectFileFault(n, persist);
      Start({setup});
      bool fired = platform::host::FileFaultFired();
      platform::host::InjectFileFault(0, false);
      ASSERT_EQ(CheckVFSContainer(container), "") << n;
      TVFSFile vfs;
      vfs.Open(container, true);
      int32_t readme = vfs.Tree.FindByPath("readme.txt");
      ASSERT_GE(readme, 0) << n;
      const TVFSEntry& e = *vfs.Tree.Nodes[static_cast<size_t>(readme)].Entry;
      TBytes bytes = UnpackStoredData(e, vfs.ReadEntryData(e).value_or(TBytes()));
      std::string text(bytes.begin(), bytes.end());
      if (text == "old") {
        EXPECT_LT(vfs.Tree.FindByPath("maps\\a.dat"), 0) << n;
        ++kept;
      } else {
        EXPECT_EQ(text, "the new readme") << n;
        EXPECT_GE(vfs.Tree.FindByPath("maps\\a.dat"), 0) << n;
      }
      if (!fired) break;
      ++walked;
    }
    EXPECT_GE(walked, 10) << persist;
    EXPECT_GE(kept, 5) << persist;
  }
}
#endif

#ifndef _WIN32
// "file" with 3 arguments extracts into a sub-folder (an empty one adds one
// "\"); with 8 it asks the registry first, sense "F" inverting the test; any
// other count is refused with its message. "copyfile" finds a "$CDDRIVE"
// source on the CD-ROM drive that holds it.
TEST(Runtime, FileArgumentCountsAndCopyFile) {
  Workspace w;
  std::ofstream(platform::host::Root() + "/machine.ini") << "[drives]\nC=fixed,1000000\nD=cdrom\nE=cdrom\n";
  platform::host::SetRoot(platform::host::Root());
  w.File("g\\a.txt", "A");
  platform::CreateDirectory("E:\\extra");
  TestMachine::Write("E:\\extra\\cd.txt", "from E");
  std::string setup = w.Build(
      "file g\\ sub\n"
      "file g\\ \"\"\n"
      "file g\\ when HKCU Software\\Test Value expected 1\n"
      "file g\\ unless HKCU Software\\Test Value expected F\n"
      "copyfile \"$CDDRIVE\\extra\\cd.txt\" \"$INSTDIR\\copied\\cd.txt\"\n");
  ASSERT_FALSE(setup.empty());
  // Argument counts the builder does not write: a damaged line of 5.
  std::string dir = w.m.Path("Game");
  Loaded l(setup, dir);
  TCompLine odd = l.lines.Lines[0];
  odd.Params = {"a", "b", "c", "d", "1"};
  odd.Row = static_cast<int32_t>(l.lines.Lines.size());
  l.lines.Lines.push_back(odd);
  TSetupThread thread(l.state, l.commands, nullptr);
  platform::host::Transcript().clear();
  thread.RunScript();
  EXPECT_TRUE(platform::FileExists(dir + "\\sub\\a.txt"));
  EXPECT_TRUE(platform::FileExists(dir + "\\a.txt"));
  EXPECT_FALSE(platform::FileExists(dir + "\\when\\a.txt"));  // the value is missing, not "expected"
  EXPECT_TRUE(platform::FileExists(dir + "\\unless\\a.txt"));
  EXPECT_EQ(TestMachine::Read(dir + "\\copied\\cd.txt"), "from E");
  ASSERT_EQ(platform::host::Transcript().size(), 1u);
  EXPECT_EQ(platform::host::Transcript()[0].Text, "TFileCommand.SFXProcess - Param Count Invalid!!!");
  EXPECT_EQ(platform::host::Transcript()[0].Caption, "Error");
  EXPECT_TRUE(l.log.HasFile("$INSTDIR\\copied\\cd.txt"));
  // The 8-argument test created its key.
  platform::Registry reg;
  reg.SetRoot(platform::kRootCurrentUser);
  EXPECT_TRUE(reg.KeyExists("Software\\Test"));
  EXPECT_EQ(FindOnCDDrives("$cddrive\\extra\\cd.txt"), "E:\\\\extra\\cd.txt");
  EXPECT_EQ(FindOnCDDrives("$CDDRIVE\\none.txt"), "$CDDRIVE\\none.txt");
}
#endif

// The switches: any case; "/D=" last, taking the rest of the command line
// exactly when the system gives it whole, else the arguments joined.
TEST(Startup, Switches) {
  auto read = [](std::vector<std::string> args, const std::string& line = "") {
    auto p = std::make_unique<TProgram>();
    p->Args = std::move(args);
    ReadSwitches(*p, line);
    return p;
  };
  auto p = read({"Setup.exe", "/s", "/log=C:\\setup log.txt", "/D=C:\\Games\\Demo", "Game"});
  EXPECT_TRUE(p->Unattended);
  EXPECT_EQ(p->LogPath, "C:\\setup log.txt");
  EXPECT_TRUE(p->InstallDirGiven);
  EXPECT_EQ(p->InstallDirSwitch, "C:\\Games\\Demo Game");

  // From the whole command line: two blanks stay two; the program's quoted
  // name may hold " /D=" itself; trailing blanks go.
  p = read({"C:\\a /D=b\\Setup.exe", "/d=C:\\Demo", "Game"}, "\"C:\\a /D=b\\Setup.exe\" /d=C:\\Demo  Game  ");
  EXPECT_FALSE(p->Unattended);
  EXPECT_EQ(p->InstallDirSwitch, "C:\\Demo  Game");
  p = read({"Setup.exe", "/S", "/D=C:\\x"}, "Setup.exe /S /D=C:\\x");
  EXPECT_EQ(p->InstallDirSwitch, "C:\\x");

  // Anything after "/D=" is its path, switches too; an empty one is none.
  p = read({"Setup.exe", "/D=C:\\x", "/S"});
  EXPECT_FALSE(p->Unattended);
  EXPECT_EQ(p->InstallDirSwitch, "C:\\x /S");
  p = read({"Setup.exe", "/D=", "/LOG=x"});
  EXPECT_EQ(p->InstallDirSwitch, "/LOG=x");
  EXPECT_EQ(p->LogPath, "");
  p = read({"Setup.exe", "/D="}, "Setup.exe /D=   ");
  EXPECT_FALSE(p->InstallDirGiven);
  p = read({"Setup.exe", "/LOG=", "/Silent", "package.pak"});
  EXPECT_EQ(p->LogPath, "");
  EXPECT_FALSE(p->Unattended);
}

// The install log takes lines from the setup thread and the UI thread at
// once; each line stays whole, in UTF-8, and a closed log takes no more.
TEST(Runtime, InstallLogLinesStayWhole) {
  TestMachine m;
  const std::string path = m.Path("setup.log");
  ASSERT_TRUE(OpenRunLog(path));
  auto write = [](const char* what) {
    for (int i = 0; i < 300; ++i) LogLine(what, "C:\\Spiel\xfc\\" + std::to_string(i));
  };
  platform::Thread other;
  ASSERT_TRUE(other.Start([&] { write("Thread"); }));
  write("Main");
  other.Join();
  CloseRunLog();
  LogLine("After", "closed");
  EXPECT_FALSE(RunLogIsOpen());
  std::string text = TestMachine::Read(path);
  size_t lines = 0, pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos);
    std::string line = text.substr(pos, end - pos);
    EXPECT_TRUE(line.rfind("Main: C:\\Spiel\xc3\xbc\\", 0) == 0 || line.rfind("Thread: C:\\Spiel\xc3\xbc\\", 0) == 0)
        << line;
    ++lines;
    pos = end + 2;
  }
  EXPECT_EQ(lines, 600u);
  // A log that cannot be created says so.
  EXPECT_FALSE(OpenRunLog(m.Path("no such folder\\setup.log")));
}
