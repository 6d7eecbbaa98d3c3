#include "script/ZUI_Commands.h"

#include "common/DigitKey.h"
#include "common/Exceptions.h"
#include "common/FileUtils.h"
#include "common/PathFields.h"
#include "common/Prompt.h"
#include "common/RegistryRoots.h"
#include "common/Strings.h"
#include "gamedata/GameData.h"
#include "gamedata/ZU_PakSystem.h"
#include "package/ZUI_CompilerThread.h"
#include "script/FilesInUse.h"
#include "script/RunJournal.h"
#include "script/SE_ScriptState.h"
#include "script/SE_Uninstall_List.h"
#include "script/SE_VFS.h"

const char* const kPasswordKey =
    "7302958164829301746583920174658392017465839201746583920174658392"
    "0174658391827364509182736450918273645091827364509182736450918273"
    "6450918273645092837465019283746501928374650192837465019283746501"
    "9283746501928374650192837465019283746501928374650192";

namespace {

constexpr char kParamCountInvalid[] = "TFileCommand.SFXProcess - Param Count Invalid!!!";
constexpr char kErrorCaption[] = "Error";
constexpr char16_t kFileNameToken[] = u"<%FILENAME%>";
constexpr uint16_t kStringCopying = 17;
constexpr uint16_t kStringExtracting = 18;
constexpr uint16_t kStringFailed = 23;

// Extraction of a group into Target, reporting as the setup thread does.
void Extract(TScriptState& s, const std::string& target, uint16_t group) {
  if (!s.Pak) return;
  TExtractSink sink{s.Observer, s.Recorder(), s.Text ? s.String(kStringExtracting) : WideString(kFileNameToken),
                    [&s](const std::string& Target, const std::string& Reason) { s.NoteFailure(Target, Reason); },
                    &s.StopFlag};
  s.Pak->ExtractGroup(target, group, sink);
}

// Writes one string value under the registry's current root, opening and
// closing Key; a value not written is a failure of the run, named with its
// root's name as the script gives it.
void WriteValue(TScriptState& s, platform::Registry& reg, const std::string& rootName, const std::string& key,
                const std::string& name, const std::string& value) {
  bool written =
      (!s.Journal || s.Journal->BeforeValue(key, name)) && reg.OpenKey(key, true) && reg.WriteString(name, value);
  reg.CloseKey();
  if (!written)
    s.NoteFailure(Concat({rootName, "\\", key, " \"", name, "\""}), "the registry value could not be written");
}

TCompLine& LineOf(TCompiler& c, int32_t row) { return c.Lines.Lines[static_cast<size_t>(row)]; }

bool HasArgs(TCompiler& c, int32_t row, int32_t min) {
  return row >= 0 && static_cast<size_t>(row) < c.Lines.Lines.size() &&
         static_cast<int32_t>(LineOf(c, row).Params.size()) >= min;
}

void AppendParam(TCompLine& line, const std::string& value) {
  line.Params.push_back(value);
  line.ParamCount = static_cast<int32_t>(line.Params.size());
}

// The group number a group command's compile step appended to its line.
uint16_t GroupOf(const TCompLine& line, std::string_view keyword) {
  int32_t group = line.Params.empty() ? -1 : IntOrMinusOne(line.Params.back());
  if (group < 0 || group > 0xFFFF) {
    RaiseSetupError(
        {keyword, ": group number \"", (line.Params.empty() ? "" : line.Params.back()), "\" is not a number"});
  }
  return static_cast<uint16_t>(group);
}

// A password or access code as the line keeps it: the game's Windows-1252
// bytes, scrambled, carried as the text those bytes read as (what the
// package reader makes of any stored byte), so the run gets them back whole.
void ScrambleGameText(std::string& Param) {
  Param = platform::Cp1252ToUtf8(AddDigitKey(kPasswordKey, GameText(Param)));
}

// A package group as the members of an archive update.
class TPakGroupMembers : public TArchiveMembers {
 public:
  TPakGroupMembers(TPak& pak, uint16_t group) : pak_(pak), group_(group) {}
  uint32_t Count() override { return pak_.CountInGroup(group_); }
  void ForEach(TFunctionRef<void(uint32_t)> callback) override { pak_.ForEachInGroup(group_, callback); }
  std::string Name(uint32_t index) override { return GameText(pak_.Entries[index].Name); }
  uint32_t OrigSize(uint32_t index) override { return pak_.Entries[index].OrigSize; }
  std::optional<TBytes> Read(uint32_t index) override { return pak_.ReadEntry(index); }

 private:
  TPak& pak_;
  uint16_t group_;
};

// Before a container or archive is changed in place: while another program
// holds it, the person is asked to close that program (when someone is there).
void WaitWhileInUse(const TScriptState& s, const std::string& path) {
  while (!platform::FilesInUse({path}).empty() && RetryFileInUse(s, path)) {
  }
}

// The path of a game archive a patch line names: in the install directory.
std::string ArchivePath(const TScriptState& s, const std::string& name) {
  return TPakSystem::ArchivePathIn(s.SetupInfo ? s.SetupInfo->Info.InstallDir : std::string(), name);
}

// The run's archive system, told where the setup installs and who watches.
TPakSystem& ArchivesFor(TScriptState& s) {
  if (!s.Archives) s.Archives = std::make_unique<TPakSystem>();
  TPakSystem& archives = *s.Archives;
  archives.InstallDir = s.SetupInfo ? s.SetupInfo->Info.InstallDir : std::string();
  archives.Observer = s.Observer;
  archives.Text = s.Text;
  archives.Keeper = s.UndoKeeper();
  return archives;
}

// A group command: appends the next group number and adds its source to it.
// The group name is taken by value: it may be one of the line's own arguments.
void CompileGroup(TCompiler& c, int32_t row, std::string groupName) {
  TCompLine& line = LineOf(c, row);
  TCompilerFileList& files = c.Files();
  uint16_t group = ++files.GroupCounter;
  AppendParam(line, DecimalText(group));
  files.AddPath(line.Params[0], group, false, groupName, row);
}

// A registry root a line names: one the run does not know would be written
// under HKLM without a word, so the build refuses it.
void CompileRoot(TCompiler& c, int32_t row, size_t index) {
  const std::string& root = LineOf(c, row).Params[index];
  if (!IsRootName(root)) {
    RaiseSetupError({"unknown registry root \"", root, "\" (known: ", RootNameList(), ")"});
  }
}

// A jump argument: "0" means no jump, anything else names a label.
void CompileJump(TCompiler& c, int32_t row, size_t index) {
  std::string& arg = LineOf(c, row).Params[index];
  arg = arg == "0" ? "-1" : c.ResolveLabel(arg, row);
}

}  // namespace

class TGotoCommand : public TCommandClass {
 public:
  constexpr TGotoCommand() : TCommandClass("goto", false, 1) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (!HasArgs(c, row, 1) || LineOf(c, row).Command != 1) return;
    std::string& target = LineOf(c, row).Params[0];
    target = c.ResolveLabel(target, row);
  }
  void SFXProcess(TScriptState& s, int32_t row) override {
    if (row < 0 || static_cast<size_t>(row) >= s.CompLines.Lines.size()) return;
    int32_t target = IntOrMinusOne(LineArg(s.CompLines.Lines[static_cast<size_t>(row)], 0));
    if (target >= 0) s.CurrentLine = target;
  }
};

class TNameCommand : public TCommandClass {
 public:
  constexpr TNameCommand() : TCommandClass("name", true, 1) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (!HasArgs(c, row, 1)) return;
    c.SetupInfo.Info.SetupName = c.SetupInfo.Info.SetupShortName = LineOf(c, row).Params[0];
  }
};

class TOutFileCommand : public TCommandClass {
 public:
  constexpr TOutFileCommand() : TCommandClass("outfile", true, 1) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (HasArgs(c, row, 1)) c.SetupInfo.Info.SetupExeName = LineOf(c, row).Params[0];
  }
};

class TInstallDirCommand : public TCommandClass {
 public:
  constexpr TInstallDirCommand() : TCommandClass("installdir", true, 1, 0b1) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (HasArgs(c, row, 1)) c.SetupInfo.Info.InstallDir = LineOf(c, row).Params[0];
  }
};

class TInstallDirRegKeyCommand : public TCommandClass {
 public:
  constexpr TInstallDirRegKeyCommand() : TCommandClass("installdirregkey", true, 3) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (!HasArgs(c, row, 3)) return;
    CompileRoot(c, row, 0);
    const TCompLine& line = LineOf(c, row);
    TREGKEY& key = c.SetupInfo.Info.InstallDirRegKey;
    key.HKEY = static_cast<uint8_t>(RootNumberOf(line.Params[0]));
    key.Path = line.Params[1];
    key.Key = line.Params[2];
  }
};

class TIfFileExistsCommand : public TCommandClass {
 public:
  constexpr TIfFileExistsCommand() : TCommandClass("iffileexists", false, 3, 0b1) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.size() < 3) return;
    int32_t yes = IntOrMinusOne(line.Params[1]);
    int32_t no = IntOrMinusOne(line.Params[2]);
    std::string path = s.Expand(FindOnCDDrives(line.Params[0]));
    if (platform::FileExists(path)) {
      if (yes >= 0) s.CurrentLine = yes;
    } else if (no >= 0) {
      s.CurrentLine = no;
    }
  }
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (!HasArgs(c, row, 3)) return;
    CompileJump(c, row, 1);
    CompileJump(c, row, 2);
  }
};

class TFileCommand : public TCommandClass {
 public:
  constexpr TFileCommand() : TCommandClass("file", false, 1) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (!HasArgs(c, row, 1)) return;
    // The registry condition's root, before the group number joins the line.
    if (LineOf(c, row).Params.size() == 7) CompileRoot(c, row, 2);
    CompileGroup(c, row, "");
  }
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    const size_t n = line.Params.size();
    if (n == 0) return;
    uint16_t group = GroupOf(line, Keyword);
    if (n != 1 && n != 2 && n != 3 && n != 8) {
      ShowMessage(kParamCountInvalid, kErrorCaption, platform::kMbOk);
      return;
    }
    if (Applies(s, line)) Extract(s, Target(s, line), group);
  }
  void ChangedFiles(TScriptState& s, int32_t row, std::vector<std::string>& paths) const override {
    const TCompLine& line = s.Line(row);
    const size_t n = line.Params.size();
    if (!s.Pak || (n != 1 && n != 2 && n != 3 && n != 8) || !Applies(s, line)) return;
    std::vector<std::string> targets = s.Pak->GroupTargets(Target(s, line), GroupOf(line, Keyword));
    paths.insert(paths.end(), targets.begin(), targets.end());
  }
  uint8_t GroupKind() const override { return kGroupFiles; }

 private:
  // The install directory, or the sub-folder the line names in it.
  static std::string Target(const TScriptState& s, const TCompLine& line) {
    const std::string& installDir = s.SetupInfo->Info.InstallDir;
    return line.Params.size() >= 3 ? AddBackslash(installDir) + AddBackslash(line.Params[1]) : installDir;
  }
  // The eight-argument form extracts only when a registry value is (or is
  // not) the one it names.
  static bool Applies(TScriptState& s, const TCompLine& line) {
    if (line.Params.size() != 8) return true;
    bool test = false;
    if (s.Registry) {
      s.Registry->SetRoot(RootNumberOf(line.Params[2]));
      if (s.Registry->OpenKey(line.Params[3], true)) {
        std::string value;
        s.Registry->ReadString(line.Params[4], value);
        test = value == line.Params[5];
        s.Registry->CloseKey();
      }
    }
    std::string sense = LowerAscii(line.Params[6]);
    if (sense == "0" || sense == "false" || sense == "f") test = !test;
    return test;
  }
};

class TDeleteCommand : public TCommandClass {
 public:
  constexpr TDeleteCommand() : TCommandClass("delete", false, 1, 0b1) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    TCompLine* line = s.MutableLine(row);
    if (!line || line->Params.empty()) return;
    line->Params[0] = s.Expand(line->Params[0]);
    // A file that is not there is already as the script wants it.
    const std::string& path = line->Params[0];
    if (platform::FileExists(path) && !(s.Journal ? s.Journal->RemoveFile(path) : platform::DeleteFile(path))) {
      s.NoteLastError(path);
    }
  }
  void ChangedFiles(TScriptState& s, int32_t row, std::vector<std::string>& paths) const override {
    if (!s.Line(row).Params.empty()) paths.push_back(s.Expand(s.Line(row).Params[0]));
  }
};

class TWriteRegStrCommand : public TCommandClass {
 public:
  constexpr TWriteRegStrCommand() : TCommandClass("writeregstr", false, 4) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (HasArgs(c, row, 4)) CompileRoot(c, row, 0);
  }
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.size() < 4) return;
    if (s.Registry) {
      s.Registry->SetRoot(RootNumberOf(line.Params[0]));
      WriteValue(s, *s.Registry, line.Params[0], line.Params[1], line.Params[2], s.Expand(line.Params[3]));
    }
    if (s.UninstallList) {
      s.UninstallList->AddRegistryRecord(
          MakeRegistryRecord(line.Params[0], line.Params[1], line.Params[2], line.Params[3]));
    }
  }
};

class TChangelogCommand : public TCommandClass {
 public:
  constexpr TChangelogCommand() : TCommandClass("changelog", true, 1) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (!HasArgs(c, row, 1)) return;
    // The name as the script gives it is the entry's name, which a rich-text
    // box finds through "<%CHANGELOG%>"; the file comes from the script's folder.
    const std::string& name = LineOf(c, row).Params[0];
    c.SetupInfo.Info.Changelog = name;
    c.Files().AddFile(c.FromSourceDir(name), name, 0, row);
  }
};

// "license": the licence text a licence page shows, packed as the entry its
// rich-text box names ("File=License"); rich text or plain text.
class TLicenseCommand : public TCommandClass {
 public:
  constexpr TLicenseCommand() : TCommandClass("license", true, 1) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (HasArgs(c, row, 1)) c.Files().AddFile(c.FromSourceDir(LineOf(c, row).Params[0]), kLicenseEntry, 0, row);
  }
};

// "version", "publisher" and "url": a value of the product's Uninstall key,
// kept in the package's "ProductInfo" entry as a "Name=Value" line.
class TProductValueCommand : public TCommandClass {
 public:
  constexpr TProductValueCommand(const char* keyword, const char* valueName)
      : TCommandClass(keyword, true, 1), valueName_(valueName) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (HasArgs(c, row, 1)) c.ProductInfo += Concat({valueName_, "=", LineOf(c, row).Params[0], "\r\n"});
  }

 private:
  const char* const valueName_;
};

class TZUPUpdateCommand : public TCommandClass {
 public:
  constexpr TZUPUpdateCommand() : TCommandClass("zupupdate", false, 3) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.size() < 3) return;
    // The line keeps the scrambled text, so every run of it gives the same password.
    std::string password = SubDigitKey(kPasswordKey, GameText(line.Params[1]));
    uint16_t group = GroupOf(line, Keyword);
    if (!s.Pak) return;
    TPakGroupMembers members(*s.Pak, group);
    WaitWhileInUse(s, ArchivePath(s, line.Params[2]));
    ArchivesFor(s).UpdateArchive(members, line.Params[2], password);
  }
  void ChangedFiles(TScriptState& s, int32_t row, std::vector<std::string>& paths) const override {
    if (s.Line(row).Params.size() >= 3) paths.push_back(ArchivePath(s, s.Line(row).Params[2]));
  }
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (!HasArgs(c, row, 3)) return;
    CompileGroup(c, row, LineOf(c, row).Params[2]);
    ScrambleGameText(LineOf(c, row).Params[1]);
  }
  uint8_t GroupKind() const override { return kGroupPatch; }
};

class TRMDirCommand : public TCommandClass {
 public:
  constexpr TRMDirCommand() : TCommandClass("rmdir", false, 2, 0b1) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.empty()) return;
    std::string dir = s.Expand(line.Params[0]);
    // A folder that is not there is already removed.
    if (!platform::DirectoryExists(dir)) return;
    if (s.Journal) {
      if (!s.Journal->RemoveFolder(dir)) s.NoteLastError(dir);
    } else if (!RemoveTree(dir)) {
      s.NoteFailure(dir, "the folder could not be removed completely");
    }
  }
};

class TCreateDirectoryCommand : public TCommandClass {
 public:
  constexpr TCreateDirectoryCommand() : TCommandClass("createdirectory", false, 1, 0b1) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.empty()) return;
    std::string path = s.Expand(line.Params[0]);
    ForceInstallDirs(path, s.Recorder());
    if (!platform::DirectoryExists(path)) s.NoteFailure(path, "the folder could not be created");
    if (s.UninstallList) s.UninstallList->AddDirectory(path);
  }
};

class TCreateShortCutCommand : public TCommandClass {
 public:
  constexpr TCreateShortCutCommand() : TCommandClass("createshortcut", false, 3, 0b1011) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.size() < 3) return;
    std::string link = s.Expand(line.Params[0]);
    std::string target = s.Expand(line.Params[1]);
    std::string parameters = s.Expand(line.Params[2]);
    std::string icon = line.Params.size() >= 4 ? s.Expand(line.Params[3]) : target;
    std::string workDir =
        target.substr(0, target.find_last_of('\\') == std::string::npos ? 0 : target.find_last_of('\\'));
    if (!CreateShellLink(link, target, parameters, 0, icon, 1, workDir, s.Recorder())) s.NoteLastError(link);
    if (s.UninstallList) s.UninstallList->AddInstalledFile(link);
  }
  void ChangedFiles(TScriptState& s, int32_t row, std::vector<std::string>& paths) const override {
    if (s.Line(row).Params.size() >= 3) paths.push_back(s.Expand(s.Line(row).Params[0]));
  }
};

class TMessageCommand : public TCommandClass {
 public:
  constexpr TMessageCommand() : TCommandClass("message", false, 1) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.empty()) return;
    WideString text = platform::TextToWide(line.Params[0]);
    s.SetStatusText(s.Text ? s.Text->ExpandLangTokens(text) : text);
  }
};

class TMessageBoxCommand : public TCommandClass {
 public:
  constexpr TMessageBoxCommand() : TCommandClass("messagebox", false, 4) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.size() < 4) return;
    int32_t ok = IntOrMinusOne(line.Params[2]);
    int32_t cancel = IntOrMinusOne(line.Params[3]);
    int answer = ShowMessage(s.Expand(line.Params[0]), s.Expand(line.Params[1]),
                             platform::kMbOkCancel | platform::kMbIconQuestion);
    // The label line itself runs next, which runs nothing.
    if (answer == platform::kIdOk) {
      if (ok > 0) s.CurrentLine = ok - 1;
    } else if (cancel > 0) {
      s.CurrentLine = cancel - 1;
    }
  }
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (!HasArgs(c, row, 4)) return;
    CompileJump(c, row, 2);
    CompileJump(c, row, 3);
  }
};

class TCopyFileCommand : public TCommandClass {
 public:
  constexpr TCopyFileCommand() : TCommandClass("copyfile", false, 2, 0b11) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.size() < 2) return;
    std::string source = s.Expand(FindOnCDDrives(line.Params[0]));
    std::string destination = s.Expand(line.Params[1]);
    ForceInstallDirs(ExtractFilePath(destination), s.Recorder());
    s.SetStatusText(
        ReplaceText(s.String(kStringCopying), kFileNameToken, platform::TextToWide(ExtractFileName(source))));
    if ((s.Journal && !s.Journal->BeforeFile(destination)) || !platform::CopyFile(source, destination, false))
      s.NoteLastError(destination);
    if (s.UninstallList) s.UninstallList->AddInstalledFile(destination);
  }
  void ChangedFiles(TScriptState& s, int32_t row, std::vector<std::string>& paths) const override {
    if (s.Line(row).Params.size() >= 2) paths.push_back(s.Expand(s.Line(row).Params[1]));
  }
};

// Packs a language file of the data folder under Prefix + L in group 0.
class TLanguageFileCommand : public TCommandClass {
 public:
  constexpr TLanguageFileCommand(const char* keyword, const char* entryPrefix)
      : TCommandClass(keyword, false, 1), entryPrefix_(entryPrefix) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (!HasArgs(c, row, 1)) return;
    const std::string& language = LineOf(c, row).Params[0];
    // Not found: the builder names the folders searched.
    std::string file = c.FindData(Concat({"languages\\", language, ".wri"}));
    if (!file.empty()) c.Files().AddFile(file, entryPrefix_ + language, 0, row);
  }

 private:
  const char* const entryPrefix_;
};

class TLanguageCommand : public TLanguageFileCommand {
 public:
  constexpr TLanguageCommand() : TLanguageFileCommand("language", "LANGUAGE-") {}
};

class TFailureCommand : public TCommandClass {
 public:
  constexpr TFailureCommand() : TCommandClass("failure", false, 0) {}
  void SFXProcess(TScriptState& s, int32_t) override {
    if (s.Observer) s.Observer->SetFinishText(s.String(kStringFailed), true);
    s.FailureLine = true;
    s.StopFlag = true;
  }
};

class TPagesCommand : public TCommandClass {
 public:
  constexpr TPagesCommand() : TCommandClass("pages", true, 1) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (HasArgs(c, row, 1)) c.SetupInfo.Info.InstallPages = LineOf(c, row).Params[0];
  }
};

class TShortNameCommand : public TCommandClass {
 public:
  constexpr TShortNameCommand() : TCommandClass("shortname", true, 1) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (HasArgs(c, row, 1)) c.SetupInfo.Info.SetupShortName = LineOf(c, row).Params[0];
  }
};

class TUninstallPagesCommand : public TCommandClass {
 public:
  constexpr TUninstallPagesCommand() : TCommandClass("uninstallpages", true, 1) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (!HasArgs(c, row, 1)) return;
    c.SetupInfo.Info.UninstallPages = LineOf(c, row).Params[0];
    c.SetupInfo.Info.MakeUninstaller = 1;
  }
};

class TUninstallLanguageCommand : public TLanguageFileCommand {
 public:
  constexpr TUninstallLanguageCommand() : TLanguageFileCommand("uninstalllanguage", "UNINSTALL_LANGUAGE-") {}
};

class TUninstallPrefixCommand : public TCommandClass {
 public:
  constexpr TUninstallPrefixCommand() : TCommandClass("prefix", true, 1) {}
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (!HasArgs(c, row, 1)) return;
    const std::string& prefix = LineOf(c, row).Params[0];
    c.SetupInfo.Info.UninstallPrefix = prefix + "_";
    c.SetupInfo.Info.UninstallExeName = prefix + "_Uninstall.exe";
  }
};

// "uninstalllogload" and "uninstalllogsave": argument 0 the folder (path
// fields expanded), argument 1 the optional prefix.
class TUninstallLogLoadCommand : public TCommandClass {
 public:
  constexpr TUninstallLogLoadCommand() : TCommandClass("uninstalllogload", false, 1, 0b1) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.empty() || !s.UninstallList) return;
    s.UninstallList->LoadLog(s.Expand(line.Params[0]), line.Params.size() >= 2 ? line.Params[1] : "");
  }
};

class TUninstallLogSaveCommand : public TCommandClass {
 public:
  constexpr TUninstallLogSaveCommand() : TCommandClass("uninstalllogsave", false, 1, 0b1) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.empty() || !s.UninstallList) return;
    SaveUninstallLog(s, s.Expand(line.Params[0]), line.Params.size() >= 2 ? line.Params[1] : "");
  }
};

class TZUPOfficialCommand : public TCommandClass {
 public:
  constexpr TZUPOfficialCommand() : TCommandClass("zupofficial", false, 3) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.size() < 3) return;
    WaitWhileInUse(s, ArchivePath(s, line.Params[0]));
    ArchivesFor(s).SetOfficial(line.Params[0], SubDigitKey(kPasswordKey, GameText(line.Params[1])), line.Params[2]);
  }
  void ChangedFiles(TScriptState& s, int32_t row, std::vector<std::string>& paths) const override {
    if (s.Line(row).Params.size() >= 3) paths.push_back(ArchivePath(s, s.Line(row).Params[0]));
  }
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (!HasArgs(c, row, 3)) return;
    ScrambleGameText(LineOf(c, row).Params[1]);
  }
};

class TDuplicateEntryCommand : public TCommandClass {
 public:
  constexpr TDuplicateEntryCommand() : TCommandClass("duplicateentry", false, 3) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.size() < 3) return;
    WaitWhileInUse(s, ArchivePath(s, line.Params[0]));
    ArchivesFor(s).DuplicateEntry(line.Params[0], GameText(line.Params[1]), GameText(line.Params[2]));
  }
  void ChangedFiles(TScriptState& s, int32_t row, std::vector<std::string>& paths) const override {
    if (s.Line(row).Params.size() >= 3) paths.push_back(ArchivePath(s, s.Line(row).Params[0]));
  }
};

namespace {
// The values a URL protocol's keys get, in the order they are written: the
// protocol's name, the marker, the icon, the command.
struct TUrlValue {
  const char* SubKey;
  const char* Name;
};
constexpr TUrlValue kUrlValues[] = {
    {"", ""}, {"", "URL Protocol"}, {"\\DefaultIcon\\", ""}, {"\\shell\\open\\command\\", ""}};
}  // namespace

class TWriteRegStr_URLCommand : public TCommandClass {
 public:
  constexpr TWriteRegStr_URLCommand() : TCommandClass("writeregstr_url", false, 3, 0b110) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.size() < 3) return;
    const std::string& key = line.Params[0];
    if (platform::Registry* reg = s.Registry) {
      // Built by appending: GCC 12 at -O3 misreads "x" + s + "y" here (-Wrestrict).
      std::string command(1, '"');
      command.append(s.Expand(line.Params[2])).push_back('"');
      for (size_t i = 3; i < line.Params.size(); ++i) command.append(" \"").append(line.Params[i]).push_back('"');
      reg->SetRoot(platform::kRootClassesRoot);
      const std::string values[] = {Concat({"URL:", key, " Protocol"}), "", s.Expand(line.Params[1]), command};
      for (size_t i = 0; i < std::size(kUrlValues); ++i) {
        WriteValue(s, *reg, "HKCR", key + kUrlValues[i].SubKey, kUrlValues[i].Name, values[i]);
      }
    }
    if (s.UninstallList) {
      for (const TUrlValue& v : kUrlValues) {
        s.UninstallList->AddRegistryRecord(MakeRegistryRecord("HKCR", key + v.SubKey, v.Name, ""));
      }
    }
  }
};

class TVFSUpdateCommand : public TCommandClass {
 public:
  constexpr TVFSUpdateCommand() : TCommandClass("vfsupdate", false, 2) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    const TCompLine& line = s.Line(row);
    if (line.Params.size() < 3) return;
    uint16_t group = GroupOf(line, Keyword);
    bool closeAfter = line.Params.size() >= 4 ? line.Params[2] == "1" : true;
    if (!s.Vfs) s.Vfs = std::make_unique<TVFSSession>();
    if (!s.Vfs->IsOpen() || s.Vfs->CurrentVFSName != line.Params[1]) {
      WaitWhileInUse(s, TVFSSession::ContainerPath(s, line.Params[1]));
    }
    s.Vfs->VFSUpdate(s, group, line.Params[1], closeAfter);
  }
  void ChangedFiles(TScriptState& s, int32_t row, std::vector<std::string>& paths) const override {
    if (s.Line(row).Params.size() >= 3) paths.push_back(TVFSSession::ContainerPath(s, s.Line(row).Params[1]));
  }
  void CompileProcess(TCompiler& c, int32_t row) override {
    if (HasArgs(c, row, 2)) CompileGroup(c, row, LineOf(c, row).Params[1]);
  }
  uint8_t GroupKind() const override { return kGroupPatch; }
};

class TRenameCommand : public TCommandClass {
 public:
  constexpr TRenameCommand() : TCommandClass("rename", false, 2, 0b11) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    TCompLine* line = s.MutableLine(row);
    if (!line || line->Params.size() < 2) return;
    line->Params[0] = s.Expand(line->Params[0]);
    line->Params[1] = s.Expand(line->Params[1]);
    // A file that is not there has nothing to rename.
    if (platform::FileExists(line->Params[0]) &&
        ((s.Journal && !s.Journal->BeforeRename(line->Params[0], line->Params[1])) ||
         !platform::MoveFile(line->Params[0], line->Params[1], false))) {
      s.NoteLastError(line->Params[1]);
    }
  }
  void ChangedFiles(TScriptState& s, int32_t row, std::vector<std::string>& paths) const override {
    if (s.Line(row).Params.size() >= 2) paths.push_back(s.Expand(s.Line(row).Params[0]));
  }
};

class TExecuteCommand : public TCommandClass {
 public:
  constexpr TExecuteCommand() : TCommandClass("execute", false, 1, 0b1) {}
  void SFXProcess(TScriptState& s, int32_t row) override {
    TCompLine* line = s.MutableLine(row);
    if (!line || line->Params.empty()) return;
    line->Params[0] = s.Expand(line->Params[0]);
    std::string parameters = line->Params.size() > 1 ? line->Params[1] : "";
    if (s.Journal) s.Journal->NoteStarted(line->Params[0]);
    if (!platform::ShellExecute(line->Params[0], parameters, 1, true,
                                [&s] { return !s.StopFlag && !(s.Terminating && s.Terminating->load()); })) {
      s.NoteLastError(line->Params[0]);
    }
  }
};

std::string FindOnCDDrives(const std::string& Path) {
  if (UpperAscii(Path).find("$CDDRIVE") == std::string::npos) return Path;
  std::string strings;
  uint32_t n = platform::LogicalDriveStrings(129, strings);
  if (n == 0 || strings.empty()) return Path;
  for (size_t pos = 0; pos < strings.size() && strings[pos] != '\0';) {
    size_t end = strings.find('\0', pos);
    std::string root = strings.substr(pos, end - pos);
    if (platform::GetDriveType(root) == platform::DriveType::kCdRom) {
      std::string candidate = ReplaceText(Path, "$CDDRIVE", root);
      if (platform::FileExists(candidate)) return candidate;
    }
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return Path;
}

namespace {
// One object of each command for the whole program, built by the compiler.
struct TRegisteredCommands {
  TGotoCommand Goto;
  TNameCommand Name;
  TOutFileCommand OutFile;
  TInstallDirCommand InstallDir;
  TInstallDirRegKeyCommand InstallDirRegKey;
  TIfFileExistsCommand IfFileExists;
  TFileCommand File;
  TDeleteCommand Delete;
  TWriteRegStrCommand WriteRegStr;
  TChangelogCommand Changelog;
  TZUPUpdateCommand ZUPUpdate;
  TRMDirCommand RMDir;
  TCreateDirectoryCommand CreateDirectory;
  TCreateShortCutCommand CreateShortCut;
  TMessageCommand Message;
  TMessageBoxCommand MessageBox;
  TCopyFileCommand CopyFile;
  TLanguageCommand Language;
  TFailureCommand Failure;
  TPagesCommand Pages;
  TShortNameCommand ShortName;
  TUninstallPagesCommand UninstallPages;
  TUninstallLanguageCommand UninstallLanguage;
  TUninstallPrefixCommand UninstallPrefix;
  TUninstallLogLoadCommand UninstallLogLoad;
  TUninstallLogSaveCommand UninstallLogSave;
  TZUPOfficialCommand ZUPOfficial;
  TDuplicateEntryCommand DuplicateEntry;
  TWriteRegStr_URLCommand WriteRegStr_URL;
  TVFSUpdateCommand VFSUpdate;
  TRenameCommand Rename;
  TExecuteCommand Execute;
  TProductValueCommand Version{"version", "DisplayVersion"};
  TProductValueCommand Publisher{"publisher", "Publisher"};
  TProductValueCommand Url{"url", "URLInfoAbout"};
  TLicenseCommand License;
};
constinit TRegisteredCommands g_commands;

// In registration order: a command's number is its position.
TCommandClass* const kRegistrationOrder[] = {&g_commands.Goto,
                                             &g_commands.Name,
                                             &g_commands.OutFile,
                                             &g_commands.InstallDir,
                                             &g_commands.InstallDirRegKey,
                                             &g_commands.IfFileExists,
                                             &g_commands.File,
                                             &g_commands.Delete,
                                             &g_commands.WriteRegStr,
                                             &g_commands.Changelog,
                                             &g_commands.ZUPUpdate,
                                             &g_commands.RMDir,
                                             &g_commands.CreateDirectory,
                                             &g_commands.CreateShortCut,
                                             &g_commands.Message,
                                             &g_commands.MessageBox,
                                             &g_commands.CopyFile,
                                             &g_commands.Language,
                                             &g_commands.Failure,
                                             &g_commands.Pages,
                                             &g_commands.ShortName,
                                             &g_commands.UninstallPages,
                                             &g_commands.UninstallLanguage,
                                             &g_commands.UninstallPrefix,
                                             &g_commands.UninstallLogLoad,
                                             &g_commands.UninstallLogSave,
                                             &g_commands.ZUPOfficial,
                                             &g_commands.DuplicateEntry,
                                             &g_commands.WriteRegStr_URL,
                                             &g_commands.VFSUpdate,
                                             &g_commands.Rename,
                                             &g_commands.Execute,
                                             &g_commands.Version,
                                             &g_commands.Publisher,
                                             &g_commands.Url,
                                             &g_commands.License};
}  // namespace

void RegisterCommands(TCommandList& List) {
  for (TCommandClass* command : kRegistrationOrder) List.Add(*command);
}
