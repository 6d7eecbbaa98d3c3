#include "builder/CompileDriver.h"

#include <gtest/gtest.h>

#include "builder/ScriptParser.h"
#include "common/DigitKey.h"
#include "package/ZUI_PakFile.h"
#include "script/ZUI_Commands.h"
#include "tests/support/TestMachine.h"
#include "tests/support/Workspace.h"

namespace {

std::string Joined(const std::vector<std::string>& errors) {
  std::string all;
  for (const auto& e : errors) all += e + "\n";
  return all;
}

}  // namespace

// Words, quotes, comments and labels.
TEST(ScriptParser, LinesAndWords) {
  std::vector<TScriptLine> lines;
  std::vector<TParseError> errors;
  ASSERT_TRUE(
      ParseScript("; comment\r\n"
                  "NAME \"Demo Game\"  # trailing comment\n"
                  "createshortcut \"$SMPROGRAMS\\A B.lnk\" $INSTDIR\\a.exe \"\"\n"
                  ":start ; a label line\n"
                  "\n"
                  "file path;with;semicolons\n",
                  lines, errors));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_TRUE(lines[0].Keyword.empty());
  EXPECT_EQ(lines[1].Keyword, "name");
  EXPECT_EQ(lines[1].Words, (std::vector<std::string>{"Demo Game"}));
  EXPECT_EQ(lines[2].Words, (std::vector<std::string>{"$SMPROGRAMS\\A B.lnk", "$INSTDIR\\a.exe", ""}));
  EXPECT_TRUE(lines[3].IsLabel);
  EXPECT_EQ(lines[3].Words, (std::vector<std::string>{"start"}));
  EXPECT_EQ(lines[5].Words, (std::vector<std::string>{"path;with;semicolons"}));
  EXPECT_EQ(lines[5].LineNumber, 6);

  EXPECT_FALSE(ParseScript("name \"unterminated\n", lines, errors));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].LineNumber, 1);

  // Scripts are read as UTF-8, any character kept; a script that is not
  // UTF-8 is Windows-1252.
  errors.clear();
  ASSERT_TRUE(ParseScript("\xEF\xBB\xBFname \"Caf\xc3\xa9 \xe2\x98\x83\"\n", lines, errors));
  EXPECT_EQ(lines[0].Keyword, "name");
  EXPECT_EQ(lines[0].Words[0], "Caf\xc3\xa9 \xe2\x98\x83");
  ASSERT_TRUE(ParseScript("name \"Caf\xe9\"\n", lines, errors));
  EXPECT_EQ(lines[0].Words[0], "Caf\xc3\xa9");
}

// The last of two equal labels wins; "0" means no jump for "iffileexists" and
// "messagebox"; an unknown label is an error with file and line.
TEST(CompileDriver, LabelsResolve) {
  Workspace w;
  TCompiler c;
  std::vector<std::string> errors;
  ASSERT_TRUE(
      w.Compile(":again\n"
                "goto again\n"
                ":Again\n"
                "iffileexists x.txt again 0\n"
                "messagebox text caption 0 AGAIN\n"
                "goto 7\n",
                c, errors))
      << Joined(errors);
  const auto& lines = c.Lines.Lines;
  EXPECT_EQ(lines[0].Command, 0);
  EXPECT_EQ(lines[0].Row, 0);
  EXPECT_EQ(lines[1].Params, (std::vector<std::string>{"2"}));
  EXPECT_EQ(lines[3].Params, (std::vector<std::string>{"x.txt", "2", "-1"}));
  EXPECT_EQ(lines[4].Params, (std::vector<std::string>{"text", "caption", "-1", "2"}));
  EXPECT_EQ(lines[5].Params, (std::vector<std::string>{"7"}));

  TCompiler bad;
  errors.clear();
  EXPECT_FALSE(w.Compile("\n\ngoto nowhere\n", bad, errors));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "setup.wps:3: Label not found - nowhere");
  EXPECT_EQ(bad.LastError.Text, "Label not found - nowhere");
  EXPECT_EQ(bad.LastError.Row, 2);
}

// Group numbers count "file", "zupupdate" and "vfsupdate" in script order; two
// "zupupdate" lines on one archive share the first one's group, and a file in
// both folders is packed once, from the second.
TEST(CompileDriver, GroupsAndSharedArchiveNames) {
  Workspace w;
  w.File("loose\\readme.txt", "r");
  w.File("loose\\sub\\deep.txt", "d");
  w.File("patch1\\a.dat", "a1");
  w.File("patch1\\both.dat", "old");
  w.File("patch2\\both.dat", "new");
  w.File("patch2\\b.dat", "b2");
  w.File("vfs\\c.dat", "c");
  TCompiler c;
  std::vector<std::string> errors;
  ASSERT_TRUE(
      w.Compile("file loose\\\n"
                "zupupdate patch1\\ secret Data.zup\n"
                "vfsupdate vfs\\ game.vfs\n"
                "zupupdate patch2\\ secret DATA.ZUP\n",
                c, errors))
      << Joined(errors);
  const auto& lines = c.Lines.Lines;
  EXPECT_EQ(lines[0].Params.back(), "1");
  EXPECT_EQ(lines[1].Params.back(), "2");
  EXPECT_EQ(lines[2].Params.back(), "3");
  EXPECT_EQ(lines[3].Params.back(), "4");
  EXPECT_EQ(lines[1].Params[1], AddDigitKey(kPasswordKey, "secret"));
  EXPECT_EQ(SubDigitKey(kPasswordKey, lines[3].Params[1]), "secret");

  const auto& groups = c.FileList.Groups;
  ASSERT_EQ(groups.size(), 5u);
  EXPECT_EQ(groups[1].Files.size(), 2u);
  EXPECT_EQ(groups[1].Files[1].EntryName, "sub\\deep.txt");
  EXPECT_EQ(groups[2].Name, "data.zup");
  ASSERT_EQ(groups[2].Files.size(), 3u);  // a.dat, both.dat (from patch2), b.dat
  for (const TFile& f : groups[2].Files) {
    EXPECT_EQ(f.Group, 2);
    if (f.EntryName == "both.dat") {
      EXPECT_NE(f.SourcePath.find("patch2"), std::string::npos) << f.SourcePath;
    }
  }
  EXPECT_TRUE(groups[4].Files.empty());
  EXPECT_EQ(groups[3].Files.size(), 1u);
}

// Directives fill the setup information and leave nothing to run.
TEST(CompileDriver, DirectivesFillTheSetupInformation) {
  Workspace w;
  w.File("changes.rtf", "{\\rtf1 1.1}");
  TCompiler c;
  std::vector<std::string> errors;
  ASSERT_TRUE(
      w.Compile("name \"Demo Game\"\nshortname Demo\nprefix Game\noutfile Setup.exe\n"
                "installdir \"$PROGRAMFILES\\Demo\"\ninstalldirregkey hkcu Software\\Demo Path\n"
                "changelog changes.rtf\npages install\nuninstallpages uninstall\n"
                "version 1.2.3\npublisher \"Demo Works\"\nurl https://example.com/demo\n",
                c, errors))
      << Joined(errors);
  const TSetupInfo& i = c.SetupInfo.Info;
  EXPECT_EQ(i.SetupName, "Demo Game");
  EXPECT_EQ(i.SetupShortName, "Demo");
  EXPECT_EQ(i.UninstallPrefix, "Game_");
  EXPECT_EQ(i.UninstallExeName, "Game_Uninstall.exe");
  EXPECT_EQ(i.SetupExeName, "Setup.exe");
  EXPECT_EQ(i.InstallDir, "$PROGRAMFILES\\Demo");
  EXPECT_EQ(i.InstallDirRegKey.HKEY, 1);
  EXPECT_EQ(i.InstallDirRegKey.Path, "Software\\Demo");
  // The change log's name is the package entry's, as the script gives it.
  EXPECT_EQ(i.Changelog, "changes.rtf");
  EXPECT_EQ(c.ProductInfo, "DisplayVersion=1.2.3\r\nPublisher=Demo Works\r\nURLInfoAbout=https://example.com/demo\r\n");
  EXPECT_EQ(i.MakeUninstaller, 1);
  for (const TCompLine& l : c.Lines.Lines) {
    EXPECT_EQ(l.Command, -1);
    EXPECT_EQ(l.Row, -1);
    EXPECT_TRUE(l.Params.empty());
  }

  // "shortname" then "name" leaves both equal; no "prefix": Uninstall.exe.
  TCompiler d;
  ASSERT_TRUE(w.Compile("shortname Short\nname Long\n", d, errors));
  EXPECT_EQ(d.SetupInfo.Info.SetupShortName, "Long");
  EXPECT_EQ(d.SetupInfo.Info.UninstallExeName, "Uninstall.exe");
  EXPECT_EQ(d.SetupInfo.Info.UninstallPrefix, "");
}

// Every fault is reported with its line, and all of them at once.
TEST(CompileDriver, ErrorsNameFileAndLine) {
  Workspace w;
  TCompiler c;
  std::vector<std::string> errors;
  EXPECT_FALSE(
      w.Compile("frobnicate now\n"
                "writeregstr HKLM key\n"
                "file missing\\\n"
                "language install\\klingon\n"
                "language install\\english\n"
                "changelog missing.rtf\n"
                "changelog ..\\outside.rtf\n",
                c, errors));
  ASSERT_EQ(errors.size(), 6u) << Joined(errors);
  EXPECT_EQ(errors[0], "setup.wps:1: unknown command \"frobnicate\"");
  EXPECT_EQ(errors[1], "setup.wps:2: \"writeregstr\" needs at least 4 arguments, 2 given");
  EXPECT_EQ(errors[2].rfind("setup.wps:3: \"file\" source ", 0), 0u) << errors[2];
  EXPECT_EQ(errors[3].rfind("setup.wps:4: language file ", 0), 0u) << errors[3];
  EXPECT_EQ(errors[4], "setup.wps:6: change log " + w.src + "\\missing.rtf not found");
  EXPECT_EQ(errors[5], "setup.wps:7: change log name \"..\\outside.rtf\" would leave its target folder");
}

// The whole road: a built setup reads back as the script says; a failed build
// writes nothing.
TEST(CompileDriver, BuildWritesAReadableSetup) {
  Workspace w;
  w.File("files\\a.txt", std::string(300, 'a'));
  w.File("docs\\changes.rtf", "{\\rtf1 changes}");
  TestMachine::Write(w.src + "\\setup.wps",
                     "name Demo\nlanguage install\\english\npages install\nuninstallpages uninstall\n"
                     ":top\nfile files\\\ngoto top\nchangelog docs\\changes.rtf\nversion 2.0\n");
  TestMachine::Write(w.m.Path("stub.exe"), "MZ stub");
  TBuildOptions o;
  o.Script = w.src + "\\setup.wps";
  o.Output = w.m.Path("Setup.exe");
  o.Stub = w.m.Path("stub.exe");
  o.DataDirs = {w.data};
  std::vector<std::string> errors;
  std::string output;
  TPackStats stats;
  ASSERT_TRUE(BuildSetup(o, errors, output, stats, nullptr)) << Joined(errors);
  TPak pak(output, false, false);
  EXPECT_EQ(pak.Trailer.DataStart, 7u);
  std::vector<std::string> names;
  for (const TPakFile& e : pak.Entries) names.push_back(std::to_string(e.Group) + ":" + e.Name);
  EXPECT_EQ(names, (std::vector<std::string>{
                       "0:SetupInfo", "0:CompiledLines", "0:ProductInfo", "0:Finish.txt", "0:icon.ico", "0:Pages.txt",
                       "0:Welcome.txt", "0:Work.txt", "0:UNINSTALL_Finish.txt", "0:UNINSTALL_ICON.ICO",
                       "0:UNINSTALL_Pages.txt", "0:UNINSTALL_Welcome.txt", "0:UNINSTALL_Work.txt",
                       "0:LANGUAGE-install\\english", "0:docs\\changes.rtf", "1:a.txt", "0:DirectoryDigest"}));
  // The change log under the very name the setup information holds.
  uint32_t size = 0;
  auto changes = pak.FindEntry("docs\\changes.rtf", 0, size);
  ASSERT_TRUE(changes);
  EXPECT_EQ(std::string(changes->begin(), changes->end()), "{\\rtf1 changes}");
  auto product = pak.FindEntry("ProductInfo", 0, size);
  ASSERT_TRUE(product);
  EXPECT_EQ(std::string(product->begin(), product->end()), "DisplayVersion=2.0\r\n");
  uint32_t digest = 0;
  EXPECT_EQ(pak.CheckDirectoryDigest(digest), TDigestCheck::kMatches);
  auto lines = pak.FindEntry("CompiledLines", 0, size);
  ASSERT_TRUE(lines);
  TCompLines compiled;
  compiled.LoadFromBuffer(lines->data(), size);
  ASSERT_EQ(compiled.Lines.size(), 9u);
  EXPECT_EQ(compiled.Lines[6].Params, (std::vector<std::string>{"4"}));
  EXPECT_EQ(compiled.Lines[5].Params, (std::vector<std::string>{"files\\", "1"}));

  TestMachine::Write(w.src + "\\bad.wps", "name Demo\nfile nothing\\\n");
  o.Script = w.src + "\\bad.wps";
  o.Output = w.m.Path("Bad.exe");
  errors.clear();
  EXPECT_FALSE(BuildSetup(o, errors, output, stats, nullptr));
  EXPECT_FALSE(platform::FileExists(w.m.Path("Bad.exe")));
  EXPECT_FALSE(platform::FileExists(w.m.Path("Bad.exe.part")));

  // An empty file in a page set would end the setup's walk of its languages.
  o.Script = w.src + "\\setup.wps";
  TestMachine::Write(w.data + "\\layout\\install\\Notes.txt", "");
  errors.clear();
  EXPECT_FALSE(BuildSetup(o, errors, output, stats, nullptr));
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors[0].find("Notes.txt is empty"), std::string::npos) << Joined(errors);
  EXPECT_FALSE(platform::FileExists(w.m.Path("Bad.exe")));
}

// The finaliser comes from the data folder, else from beside the stub, and
// travels as "UNINSTALL_FINALISE.EXE" with the uninstall page set.
TEST(CompileDriver, FinaliserBesideTheStub) {
  Workspace w;
  platform::CreateDirectory(w.m.Path("bin"));
  TestMachine::Write(w.m.Path("bin\\stub.exe"), "MZ");
  TestMachine::Write(w.m.Path("bin\\finalise.exe"), "MZ finaliser");
  TestMachine::Write(w.src + "\\setup.wps", "uninstallpages uninstall\n");
  TBuildOptions o;
  o.Script = w.src + "\\setup.wps";
  o.Output = w.m.Path("Setup.exe");
  o.Stub = w.m.Path("bin\\stub.exe");
  o.DataDirs = {w.data};
  std::vector<std::string> errors;
  std::string output;
  TPackStats stats;
  ASSERT_TRUE(BuildSetup(o, errors, output, stats, nullptr));
  TPak pak(output, false, false);
  uint32_t size = 0;
  auto finaliser = pak.FindEntry("UNINSTALL_FINALISE.EXE", 0, size);
  ASSERT_TRUE(finaliser);
  EXPECT_EQ(std::string(finaliser->begin(), finaliser->end()), "MZ finaliser");

  // Without a stub (--package-only) the one beside the default stub is taken.
  o.Stub.clear();
  o.PackageOnly = true;
  o.DefaultFinaliser = w.m.Path("bin\\finalise.exe");
  o.Output = w.m.Path("Setup.pak");
  ASSERT_TRUE(BuildSetup(o, errors, output, stats, nullptr));
  TPak alone(output, false, false);
  EXPECT_TRUE(alone.FindEntry("UNINSTALL_FINALISE.EXE", 0, size));
}

// A page-set file or language file beside the script is taken before the
// data folders', and the data folders are searched in the order given: a
// branded setup brings only the files it changes.
TEST(CompileDriver, ScriptFolderThenDataFoldersInOrder) {
  Workspace w;
  w.File("files\\a.txt", "a");
  w.File("layout\\install\\Welcome.txt", "[Brand]\r\nType=TLabel\r\nCaption=Our game\r\n");
  w.File("languages\\install\\english.wri", Workspace::English() + "1\0 \0O\0u\0r\0s\0");
  const std::string second = w.m.Path("data2");
  for (const char* d : {"", "\\layout", "\\layout\\install", "\\layout\\extra", "\\languages"}) {
    platform::CreateDirectory(second + d);
  }
  TestMachine::Write(second + "\\layout\\install\\Finish.txt", "[Other]\r\nType=TLabel\r\n");
  TestMachine::Write(second + "\\layout\\install\\Logo.txt", "[Logo]\r\nType=TLabel\r\n");
  TestMachine::Write(second + "\\layout\\extra\\Pages.txt", "[Pages]\r\nOne.txt\r\n");
  TestMachine::Write(second + "\\layout\\extra\\One.txt", "[One]\r\nType=TLabel\r\n");
  TestMachine::Write(w.m.Path("stub.exe"), "MZ stub");
  TBuildOptions o;
  o.Output = w.m.Path("Setup.exe");
  o.Stub = w.m.Path("stub.exe");
  o.DataDirs = {w.data, second};
  std::vector<std::string> errors;
  std::string output;
  TPackStats stats;
  auto entry = [&](const std::string& name) {
    TPak pak(output, false, false);
    uint32_t size = 0;
    std::optional<TBytes> data = pak.FindEntry(name, 0, size);
    return data ? std::string(data->begin(), data->end()) : std::string("(none)");
  };

  TestMachine::Write(w.src + "\\setup.wps", "name Demo\nlanguage install\\english\npages install\nfile files\\\n");
  o.Script = w.src + "\\setup.wps";
  ASSERT_TRUE(BuildSetup(o, errors, output, stats, nullptr)) << Joined(errors);
  EXPECT_EQ(entry("Welcome.txt"), "[Brand]\r\nType=TLabel\r\nCaption=Our game\r\n");
  EXPECT_EQ(entry("LANGUAGE-install\\english"), TestMachine::Read(w.src + "\\languages\\install\\english.wri"));
  // The first data folder's Finish.txt, the second's file it lacks.
  EXPECT_EQ(entry("Finish.txt"), "[FinishText]\r\nType=TLabel\r\nCaption=Done\r\n");
  EXPECT_EQ(entry("Logo.txt"), "[Logo]\r\nType=TLabel\r\n");

  // A page set only the second data folder has.
  TestMachine::Write(w.src + "\\setup.wps", "name Demo\nlanguage install\\english\npages extra\nfile files\\\n");
  ASSERT_TRUE(BuildSetup(o, errors, output, stats, nullptr)) << Joined(errors);
  EXPECT_EQ(entry("One.txt"), "[One]\r\nType=TLabel\r\n");

  // Nowhere: the message names every folder searched.
  TestMachine::Write(w.src + "\\setup.wps", "name Demo\nlanguage install\\french\npages gone\n");
  EXPECT_FALSE(BuildSetup(o, errors, output, stats, nullptr));
  const std::string searched = w.src + ", " + w.data + ", " + second;
  EXPECT_EQ(errors, (std::vector<std::string>{
                        o.Script + ":2: language file languages\\install\\french.wri not found in " + searched}));
  errors.clear();
  TestMachine::Write(w.src + "\\setup.wps", "name Demo\nlanguage install\\english\npages gone\n");
  EXPECT_FALSE(BuildSetup(o, errors, output, stats, nullptr));
  EXPECT_EQ(errors,
            (std::vector<std::string>{o.Script + ": \"pages\": page set \"layout\\gone\" not found in " + searched}));
}
