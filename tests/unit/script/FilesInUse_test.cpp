// Which files a run will change, and the box that names who holds them.
#include <gtest/gtest.h>

#include "script/FilesInUse.h"
#include "script/SE_ScriptState.h"
#include "tests/support/Workspace.h"

// The lines name what they change: a deleted, a renamed, a copied-over file,
// a shortcut, a container and an archive; only the ones there now count,
// each once, a doubled backslash made single.
TEST(FilesInUse, TheRunNamesWhatItWillChange) {
  Workspace w;
  const std::string dir = w.m.Path("Game");
  platform::CreateDirectory(dir);
  for (const char* name : {"gone.txt", "one.txt", "copy.txt", "Game.lnk", "data.vfs", "data.zup"}) {
    TestMachine::Write(dir + "\\" + name, "x");
  }
  TestMachine::Write(w.src + "\\extra.txt", "x");
  std::vector<std::string> errors;
  TCompiler c;
  ASSERT_TRUE(
      w.Compile("delete $INSTDIR\\gone.txt\n"
                "delete $INSTDIR\\GONE.TXT\n"
                "delete $INSTDIR\\missing.txt\n"
                "rename $INSTDIR\\\\one.txt $INSTDIR\\two.txt\n"
                "copyfile $INSTDIR\\one.txt $INSTDIR\\copy.txt\n"
                "createshortcut $INSTDIR\\Game.lnk $INSTDIR\\game.exe \"\"\n"
                "vfsupdate extra.txt data.vfs\n"
                "zupupdate extra.txt Pw data.zup\n",
                c, errors))
      << (errors.empty() ? "" : errors[0]);
  TSetupInfoFile info = c.SetupInfo;
  info.Info.InstallDir = dir;
  TScriptState state(c.Lines);
  state.SetupInfo = &info;
  std::vector<std::string> changed = FilesTheRunChanges(state, w.commands);
  std::vector<std::string> expected;
  for (const char* name : {"gone.txt", "one.txt", "copy.txt", "Game.lnk", "data.vfs", "data.zup"}) {
    expected.push_back(dir + "\\" + name);
  }
  EXPECT_EQ(changed, expected);
}

// The programs each once, or the files where no program is named; a long
// list is cut with how many more there are.
TEST(FilesInUse, TheBoxNamesProgramsOrFiles) {
  TCompLines lines;
  TScriptState state(lines);
  std::vector<platform::FileInUse> busy{{"C:\\G\\a.exe", {"Game (a.exe)"}},
                                        {"C:\\G\\b.dat", {"Game (a.exe)", "Editor"}}};
  EXPECT_EQ(FilesInUseMessage(state, busy),
            u"Setup must change files that these programs are using:\r\rGame (a.exe)\rEditor\r\r"
            u"Close them, then choose Retry. Cancel leaves everything as it was.");
  EXPECT_EQ(FilesInUseText(busy), "C:\\G\\a.exe (held by Game (a.exe)); C:\\G\\b.dat (held by Game (a.exe), Editor)");
  std::vector<platform::FileInUse> files;
  for (int i = 0; i < 12; ++i) files.push_back({"C:\\G\\" + std::to_string(i) + ".dat", {}});
  WideString text = FilesInUseMessage(state, files);
  EXPECT_EQ(text.rfind(u"Setup must change these files, which another program is using:\r\rC:\\G\\0.dat\r", 0), 0u);
  EXPECT_NE(text.find(u"\rC:\\G\\9.dat\r(+2)\r\r"), WideString::npos);
  EXPECT_EQ(text.find(u"10.dat"), WideString::npos);
  EXPECT_EQ(FilesInUseCaption(state), u"Files in use");
}
