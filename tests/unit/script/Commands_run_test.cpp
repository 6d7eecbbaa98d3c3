// The run time of the file-system, registry, shortcut and message commands,
// each by its effect on the machine and by what it records for the uninstaller.
#include <gtest/gtest.h>

#include <fstream>

#include "common/FileUtils.h"
#include "common/Strings.h"
#include "script/SE_ScriptState.h"
#include "script/SE_SetupThread.h"
#include "script/SE_Uninstall_List.h"
#include "tests/support/Recorders.h"
#include "tests/support/Workspace.h"

#ifndef _WIN32
#include <sys/stat.h>

#include "platform/host/HostMachine.h"
#endif

namespace {

// Compiles Script and runs it once against Dir as install directory: as a
// setup's run (all or nothing: the first failure stops it and undoes it), or
// with LinesOnly every line by itself, to see each command's own failures.
struct ScriptRun {
  ScriptRun(Workspace& w, const std::string& script, const std::string& dir, bool LinesOnly = false) : state(lines) {
    std::vector<std::string> errors;
    TCompiler c;
    EXPECT_TRUE(w.Compile(script, c, errors)) << (errors.empty() ? "" : errors[0]);
    lines = c.Lines;
    info = c.SetupInfo;
    info.Info.InstallDir = dir;
    state.SetupInfo = &info;
    state.UninstallList = &log;
    state.Observer = &observer;
    state.Registry = &registry;
    state.StartMenuProgramsDir = w.m.Path("Menu\\");
    if (LinesOnly) {
      for (const TCompLine& line : lines.Lines) {
        if (TCommandClass* command = w.commands.ForNumber(line.Command)) command->SFXProcess(state, line.Row);
      }
      return;
    }
    TSetupThread thread(state, w.commands, nullptr);
    thread.RunScript();
  }
  TCompLines lines;
  TSetupInfoFile info;
  TUninstallList log{[this] { return state.Fields(); }};
  RecordingObserver observer;
  platform::Registry registry;
  TScriptState state;
};

std::string Value(platform::Registry& reg, int root, const std::string& key, const std::string& name) {
  reg.SetRoot(root);
  std::string v = "<missing>";
  if (reg.OpenKey(key, false)) {
    if (!reg.ReadString(name, v)) v = "<missing>";
    reg.CloseKey();
  }
  return v;
}

}  // namespace

// "rename" and "delete" (which keeps the log's record);
// "rmdir" removes a tree three levels deep; the expanded arguments are written
// back into the line. The same lines with a failing one after them are all
// undone: the renamed, deleted and removed files are back, byte for byte.
TEST(CommandsRun, FileSystem) {
  const char* script =
      "rename $INSTDIR\\one.txt $INSTDIR\\uno.txt\n"
      "rename $INSTDIR\\old.txt $INSTDIR\\new.txt\n"
      "delete $INSTDIR\\gone.txt\n"
      "rmdir $INSTDIR\\t 0\n"
      "createdirectory $INSTDIR\\made\\deep\n"
      "createdirectory $INSTDIR\n";
  for (bool failing : {false, true}) {
    Workspace w;
    std::string dir = w.m.Path("Game");
    ForceInstallDirs(dir + "\\t\\a\\b\\", nullptr);
    TestMachine::Write(dir + "\\t\\a\\b\\deep.txt", "d");
    TestMachine::Write(dir + "\\t\\top.txt", "t");
    TestMachine::Write(dir + "\\one.txt", "1");
    TestMachine::Write(dir + "\\two.txt", "2");
    TestMachine::Write(dir + "\\old.txt", "o");
    TestMachine::Write(dir + "\\gone.txt", "g");
    ScriptRun r(w, std::string(script) + (failing ? "createdirectory X:\n" : ""), dir);
    EXPECT_EQ(TestMachine::Read(dir + "\\two.txt"), "2");
    EXPECT_FALSE(platform::FileExists(dir + "\\run-journal\\journal"));
    if (failing) {
      EXPECT_EQ(TestMachine::Read(dir + "\\one.txt"), "1");
      EXPECT_FALSE(platform::FileExists(dir + "\\uno.txt"));
      ASSERT_EQ(r.state.Failures.size(), 1u);
      EXPECT_NE(r.state.FailureText().find("Everything the run had changed was put back"), std::string::npos)
          << r.state.FailureText();
      EXPECT_EQ(TestMachine::Read(dir + "\\old.txt"), "o");
      EXPECT_FALSE(platform::FileExists(dir + "\\new.txt"));
      EXPECT_EQ(TestMachine::Read(dir + "\\gone.txt"), "g");
      EXPECT_EQ(TestMachine::Read(dir + "\\t\\a\\b\\deep.txt"), "d");
      EXPECT_EQ(TestMachine::Read(dir + "\\t\\top.txt"), "t");
      EXPECT_FALSE(platform::DirectoryExists(dir + "\\made"));
      EXPECT_FALSE(platform::DirectoryExists(dir + "\\run-journal"));
      continue;
    }
    EXPECT_TRUE(r.state.Failures.empty()) << r.state.FailureText();
    EXPECT_EQ(TestMachine::Read(dir + "\\uno.txt"), "1");
    EXPECT_EQ(TestMachine::Read(dir + "\\new.txt"), "o");
    EXPECT_FALSE(platform::FileExists(dir + "\\gone.txt"));
    EXPECT_FALSE(platform::DirectoryExists(dir + "\\t"));
    EXPECT_TRUE(platform::DirectoryExists(dir + "\\made\\deep"));
    EXPECT_FALSE(platform::DirectoryExists(dir + "\\run-journal"));
    EXPECT_EQ(r.lines.Lines[0].Params[0], dir + "\\one.txt");
    EXPECT_EQ(r.log.Directories(),
              (std::vector<std::string>{dir + "\\made\\", dir + "\\made\\deep", dir + "\\made\\deep", dir}));
  }
}

// "iffileexists" on a folder takes the "does not exist" branch; labels "0"
// never jump.
TEST(CommandsRun, IfFileExists) {
  Workspace w;
  std::string dir = w.m.Path("Game");
  ForceInstallDirs(dir + "\\folder\\", nullptr);
  TestMachine::Write(dir + "\\here.txt", "h");
  ScriptRun r(w,
              "iffileexists $INSTDIR\\here.txt yes1 0\n"
              "message skipped1\n"
              ":yes1\n"
              "iffileexists $INSTDIR\\folder 0 no2\n"
              "message skipped2\n"
              ":no2\n"
              "iffileexists $INSTDIR\\here.txt 0 0\n"
              "message reached\n",
              dir);
  EXPECT_EQ(r.observer.status, (std::vector<WideString>{u"reached"}));
}

// "writeregstr" writes the expanded data and records it unexpanded;
// "writeregstr_url" writes four keys and values, the extra arguments quoted.
TEST(CommandsRun, Registry) {
  Workspace w;
  std::string dir = w.m.Path("Game");
  ScriptRun r(w,
              "writeregstr HKCU \"Software\\Demo Game\" Path \"$INSTDIR\\bin\"\n"
              "writeregstr_url demo $INSTDIR\\demo.ico $INSTDIR\\demo.exe A B\n",
              dir);
  EXPECT_EQ(Value(r.registry, platform::kRootCurrentUser, "Software\\Demo Game", "Path"), dir + "\\bin");
  EXPECT_EQ(Value(r.registry, platform::kRootClassesRoot, "demo", ""), "URL:demo Protocol");
  EXPECT_EQ(Value(r.registry, platform::kRootClassesRoot, "demo", "URL Protocol"), "");
  EXPECT_EQ(Value(r.registry, platform::kRootClassesRoot, "demo\\DefaultIcon", ""), dir + "\\demo.ico");
  EXPECT_EQ(Value(r.registry, platform::kRootClassesRoot, "demo\\shell\\open\\command", ""),
            "\"" + dir + "\\demo.exe\" \"A\" \"B\"");
  EXPECT_EQ(r.log.RegistryRecords(),
            (std::vector<std::string>{"\"HKCU\" \"Software\\Demo Game\" \"Path\" \"$INSTDIR\\bin\"",
                                      "\"HKCR\" \"demo\" \"\" \"\"", "\"HKCR\" \"demo\" \"URL Protocol\" \"\"",
                                      "\"HKCR\" \"demo\\DefaultIcon\\\" \"\" \"\"",
                                      "\"HKCR\" \"demo\\shell\\open\\command\\\" \"\" \"\""}));
}

// "createshortcut" with three arguments stores no icon; a fourth different
// from the target does. The folder is made and recorded, the link recorded.
TEST(CommandsRun, Shortcuts) {
  Workspace w;
  std::string dir = w.m.Path("Game");
  ScriptRun r(w,
              "createshortcut \"$SMPROGRAMS\\Demo\\Play.lnk\" \"$INSTDIR\\demo.exe\" \"-fast\"\n"
              "createshortcut \"$SMPROGRAMS\\Demo\\Icon.lnk\" \"$INSTDIR\\demo.exe\" \"\" \"$INSTDIR\\demo.ico\"\n",
              dir);
  platform::ShellLink link;
  ASSERT_TRUE(platform::LoadShellLink(w.m.Path("Menu\\Demo\\Play.lnk"), link));
  EXPECT_TRUE(SameTextAscii(link.Target, dir + "\\demo.exe")) << link.Target;
  EXPECT_EQ(link.Arguments, "-fast");
  EXPECT_TRUE(SameTextAscii(link.WorkingDir, dir)) << link.WorkingDir;
  EXPECT_TRUE(link.IconPath.empty() || SameTextAscii(link.IconPath, link.Target)) << link.IconPath;
  ASSERT_TRUE(platform::LoadShellLink(w.m.Path("Menu\\Demo\\Icon.lnk"), link));
  EXPECT_TRUE(SameTextAscii(link.IconPath, dir + "\\demo.ico")) << link.IconPath;
  EXPECT_EQ(r.log.Files(), (std::vector<std::string>{"$SMPROGRAMSDemo\\Play.lnk", "$SMPROGRAMSDemo\\Icon.lnk"}));
  // Menu\ and Menu\Demo\ for the links, then the install directory at the end.
  EXPECT_EQ(r.log.Directories(), (std::vector<std::string>{w.m.Path("Menu\\"), w.m.Path("Menu\\Demo\\"), dir}));
}

#ifndef _WIN32
// "messagebox": OK and Cancel branches from the answer queue; a label on line
// 0 takes no jump. "execute" waits for a program, not for a document.
TEST(CommandsRun, MessageBoxAndExecute) {
  Workspace w;
  std::ofstream(platform::host::Root() + "/machine.ini") << "[messageboxes]\nanswers=1,2,1\n";
  platform::host::SetRoot(platform::host::Root());
  platform::host::Transcript().clear();
  std::string dir = w.m.Path("Game");
  ForceInstallDirs(dir + "\\", nullptr);
  ScriptRun r(w,
              ":first\n"
              "messagebox \"Install $INSTDIR?\" Question okay 0\n"
              "message skipped-by-ok\n"
              ":okay\n"
              "messagebox text caption 0 cancelled\n"
              "message skipped-by-cancel\n"
              ":cancelled\n"
              "messagebox text caption first 0\n"
              "message after-first\n",
              dir);
  EXPECT_EQ(r.observer.status, (std::vector<WideString>{u"after-first"}));
  ASSERT_EQ(platform::host::Transcript().size(), 3u);
  EXPECT_EQ(platform::host::Transcript()[0].Text, "Install " + dir + "?");
  EXPECT_EQ(platform::host::Transcript()[0].Flags, platform::kMbOkCancel | platform::kMbIconQuestion);

  // A host program on the emulated drive runs, and is waited for: the shell
  // it runs writes its marker only after a pause, so the marker is there
  // when the line returns only if the line waited. A document is opened and
  // not waited for (there is no program).
  std::ifstream in("/bin/sh", std::ios::binary);
  std::string program((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(program.empty());
  TestMachine::Write(dir + "\\sleeper", program);
  ::chmod(platform::host::ToNative(dir + "\\sleeper").c_str(), 0755);
  const std::string marker = platform::host::ToNative(dir) + "/done";
  TestMachine::Write(dir + "\\pause.sh", "sleep 0.3\necho done > '" + marker + "'\n");
  TestMachine::Write(dir + "\\readme.txt", "a document");
  ScriptRun e(w, "execute $INSTDIR\\readme.txt\n", dir);
  ScriptRun p(w, "execute $INSTDIR\\sleeper \"" + platform::host::ToNative(dir + "\\pause.sh") + "\"\n", dir);
  EXPECT_EQ(TestMachine::Read(dir + "\\done"), "done\n");
  EXPECT_EQ(p.lines.Lines[0].Params[0], dir + "\\sleeper");
}
#endif

// One rule for every command: a write the script asked for that did not
// happen is a failure of the run, named with its target; asking for what is
// already so is none.
TEST(CommandsRun, EveryWriteThatDidNotHappenIsAFailure) {
  Workspace w;
  std::string dir = w.m.Path("Game");
  ForceInstallDirs(dir + "\\kept\\", nullptr);
  TestMachine::Write(dir + "\\locked.txt", "l");
  TestMachine::Write(dir + "\\kept\\locked.txt", "k");
  TestMachine::Write(dir + "\\one.txt", "1");
  TestMachine::Write(dir + "\\two.txt", "2");
  platform::SetFileAttributes(dir + "\\locked.txt", platform::kAttributeReadOnly);
  platform::SetFileAttributes(dir + "\\kept\\locked.txt", platform::kAttributeReadOnly);
  ScriptRun r(w,
              "copyfile $INSTDIR\\missing.txt $INSTDIR\\copy.txt\n"
              "delete $INSTDIR\\locked.txt\n"
              "delete $INSTDIR\\absent.txt\n"
              "rename $INSTDIR\\one.txt $INSTDIR\\two.txt\n"
              "rename $INSTDIR\\absent.txt $INSTDIR\\other.txt\n"
              "rmdir $INSTDIR\\kept 0\n"
              "rmdir $INSTDIR\\absent 0\n"
              "execute $INSTDIR\\missing.exe\n",
              dir, true);
  ASSERT_EQ(r.state.Failures.size(), 5u) << r.state.FailureText();
  EXPECT_EQ(r.state.Failures[0].rfind(dir + "\\copy.txt: ", 0), 0u) << r.state.Failures[0];
  EXPECT_EQ(r.state.Failures[1].rfind(dir + "\\locked.txt: ", 0), 0u) << r.state.Failures[1];
  EXPECT_EQ(r.state.Failures[2].rfind(dir + "\\two.txt: ", 0), 0u) << r.state.Failures[2];
  EXPECT_EQ(r.state.Failures[3], dir + "\\kept: the folder could not be removed completely");
  EXPECT_EQ(r.state.Failures[4].rfind(dir + "\\missing.exe: ", 0), 0u) << r.state.Failures[4];
  EXPECT_EQ(TestMachine::Read(dir + "\\one.txt"), "1");
  EXPECT_EQ(TestMachine::Read(dir + "\\kept\\locked.txt"), "k");
  platform::SetFileAttributes(dir + "\\locked.txt", 0);
  platform::SetFileAttributes(dir + "\\kept\\locked.txt", 0);
}

#ifndef _WIN32
// A registry that cannot be saved: "writeregstr" and each of the four values
// of "writeregstr_url" count, named with root, key and value.
TEST(CommandsRun, RegistryValuesNotWrittenAreFailures) {
  Workspace w;
  std::string dir = w.m.Path("Game");
  ::mkdir((platform::host::Root() + "/registry.reg.tmp").c_str(), 0755);
  ScriptRun r(w,
              "writeregstr HKCU \"Software\\Demo\" Path x\n"
              "writeregstr_url demo $INSTDIR\\demo.ico $INSTDIR\\demo.exe\n",
              dir, true);
  EXPECT_EQ(r.state.Failures, (std::vector<std::string>{
                                  "HKCU\\Software\\Demo \"Path\": the registry value could not be written",
                                  "HKCR\\demo \"\": the registry value could not be written",
                                  "HKCR\\demo \"URL Protocol\": the registry value could not be written",
                                  "HKCR\\demo\\DefaultIcon\\ \"\": the registry value could not be written",
                                  "HKCR\\demo\\shell\\open\\command\\ \"\": the registry value could not be written"}));
  // The uninstall log still names what the script meant to write.
  EXPECT_EQ(r.log.RegistryRecords().size(), 5u);
}
#endif
