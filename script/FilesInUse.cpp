#include "script/FilesInUse.h"

#include <set>

#include "common/Prompt.h"
#include "common/Strings.h"
#include "package/ZUI_CommandList.h"
#include "script/SE_ScriptState.h"
#include "script/SE_Uninstall_List.h"

namespace {

constexpr uint16_t kStringProgramsInUse = 34;
constexpr uint16_t kStringFilesInUse = 35;
constexpr uint16_t kStringCloseThem = 36;
constexpr uint16_t kStringInUseCaption = 37;
constexpr char16_t kProgramsInUseSetup[] = u"Setup must change files that these programs are using:";
constexpr char16_t kProgramsInUseUninstall[] = u"Uninstall must remove files that these programs are using:";
constexpr char16_t kFilesInUseSetup[] = u"Setup must change these files, which another program is using:";
constexpr char16_t kFilesInUseUninstall[] = u"Uninstall must remove these files, which another program is using:";
constexpr char16_t kCloseThem[] = u"Close them, then choose Retry. Cancel leaves everything as it was.";
constexpr char16_t kInUseCaption[] = u"Files in use";
// A box lists this many names at most, then how many more there are.
constexpr size_t kMaxListed = 10;

bool IsUninstall(const TScriptState& State) { return State.SetupInfo && State.SetupInfo->Info.IsUninstaller == 1; }

// A folder ending in a backslash joined to a name with another
// ("C:\Game\\data.bin") names the same file; it is shown and compared
// with one.
std::string SingleBackslashes(const std::string& Path) {
  std::string out;
  for (size_t i = 0; i < Path.size(); ++i) {
    // A network path keeps its leading pair.
    if (Path[i] == '\\' && i > 1 && Path[i - 1] == '\\') continue;
    out += Path[i];
  }
  return out;
}

// The paths that exist, each once whatever its letter case.
std::vector<std::string> Existing(const std::vector<std::string>& Paths) {
  std::vector<std::string> out;
  std::set<std::string> seen;
  for (const std::string& given : Paths) {
    const std::string path = SingleBackslashes(given);
    if (path.empty() || !seen.insert(LowerAscii(path)).second) continue;
    if (platform::FileExists(path)) out.push_back(path);
  }
  return out;
}

// The Retry/Cancel box for Busy; true for Retry.
bool AskRetry(const TScriptState& State, const std::vector<platform::FileInUse>& Busy) {
  return ShowMessageWide(FilesInUseMessage(State, Busy), FilesInUseCaption(State),
                         platform::kMbRetryCancel | platform::kMbIconWarning) == platform::kIdRetry;
}

}  // namespace

std::vector<std::string> FilesTheRunChanges(TScriptState& State, const TCommandList& Commands) {
  std::vector<std::string> paths;
  for (const TCompLine& line : State.CompLines.Lines) {
    if (const TCommandClass* command = Commands.ForNumber(line.Command)) command->ChangedFiles(State, line.Row, paths);
  }
  return Existing(paths);
}

std::vector<std::string> FilesTheUninstallChanges(TScriptState& State) {
  std::vector<std::string> paths;
  if (State.UninstallList) {
    for (const std::string& file : State.UninstallList->Files()) paths.push_back(State.Expand(file));
  }
  return Existing(paths);
}

WideString FilesInUseMessage(const TScriptState& State, const std::vector<platform::FileInUse>& Busy) {
  // The programs, each once; the files where none is named.
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (const platform::FileInUse& file : Busy) {
    for (const std::string& program : file.Programs) {
      if (seen.insert(LowerAscii(program)).second) names.push_back(program);
    }
  }
  const bool programs = !names.empty();
  if (!programs) {
    for (const platform::FileInUse& file : Busy) names.push_back(file.Path);
  }
  const bool uninstall = IsUninstall(State);
  WideString text =
      programs ? State.StringOr(kStringProgramsInUse, uninstall ? kProgramsInUseUninstall : kProgramsInUseSetup)
               : State.StringOr(kStringFilesInUse, uninstall ? kFilesInUseUninstall : kFilesInUseSetup);
  text += u"\r";
  for (size_t i = 0; i < names.size() && i < kMaxListed; ++i) text += u"\r" + platform::TextToWide(names[i]);
  if (names.size() > kMaxListed) text += u"\r(+" + AsciiToWide(DecimalText(names.size() - kMaxListed)) + u")";
  return text + u"\r\r" + State.StringOr(kStringCloseThem, kCloseThem);
}

WideString FilesInUseCaption(const TScriptState& State) { return State.StringOr(kStringInUseCaption, kInUseCaption); }

std::string FilesInUseText(const std::vector<platform::FileInUse>& Busy) {
  std::string text;
  for (const platform::FileInUse& file : Busy) {
    if (!text.empty()) text += "; ";
    text += file.Path;
    if (file.Programs.empty()) continue;
    text += " (held by ";
    for (size_t i = 0; i < file.Programs.size(); ++i) text += (i ? ", " : "") + file.Programs[i];
    text += ")";
  }
  return text;
}

bool WaitForFilesInUse(const TScriptState& State, const std::vector<std::string>& Paths, bool Ask,
                       std::vector<platform::FileInUse>& Busy) {
  for (;;) {
    Busy = platform::FilesInUse(Paths);
    if (Busy.empty()) return true;
    if (!Ask || !AskRetry(State, Busy)) return false;
  }
}

bool RetryFileInUse(const TScriptState& State, const std::string& Path) {
  if (!State.AskWhenInUse) return false;
  const std::string path = SingleBackslashes(Path);
  std::vector<platform::FileInUse> busy = platform::FilesInUse({path});
  // Free again by now: the box still names it, and Retry tries once more.
  if (busy.empty()) busy.push_back({path, {}});
  return AskRetry(State, busy);
}
