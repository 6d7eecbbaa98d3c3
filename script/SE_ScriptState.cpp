#include "script/SE_ScriptState.h"

#include "common/FileUtils.h"
#include "common/Strings.h"
#include "gamedata/ZU_PakSystem.h"
#include "script/RunJournal.h"
#include "script/SE_Uninstall_List.h"
#include "script/SE_VFS.h"

TScriptState::TScriptState(TCompLines& Lines) : CompLines(Lines) {}
TScriptState::~TScriptState() = default;

TPathFields TScriptState::Fields() const {
  TPathFields f;
  f.InstallDir = SetupInfo ? SetupInfo->Info.InstallDir : std::string();
  f.StartMenuProgramsDir = StartMenuProgramsDir;
  f.ProgramFilesDir = ProgramFilesDir;
  f.CDDrive = CDDrive;
  f.DesktopDir = DesktopDir;
  f.CommonDesktopDir = CommonDesktopDir;
  f.CommonProgramsDir = CommonProgramsDir;
  return f;
}

WideString TScriptState::String(uint16_t Number) const {
  if (Text) return Text->GetString(Number);
  std::string fallback = "NOT FOUND " + DecimalText(Number);
  return WideString(fallback.begin(), fallback.end());
}

WideString TScriptState::StringOr(uint16_t Number, const WideString& Fallback) const {
  return Text ? Text->GetStringOr(Number, Fallback) : Fallback;
}

void TScriptState::SetStatusText(const WideString& Text) const {
  if (Observer) Observer->SetStatusText(Text);
}

namespace {
const TCompLine kNoLine;
}  // namespace

const TCompLine& TScriptState::Line(int32_t Row) const {
  return Row >= 0 && static_cast<size_t>(Row) < CompLines.Lines.size() ? CompLines.Lines[static_cast<size_t>(Row)]
                                                                       : kNoLine;
}

TCompLine* TScriptState::MutableLine(int32_t Row) {
  return Row >= 0 && static_cast<size_t>(Row) < CompLines.Lines.size() ? &CompLines.Lines[static_cast<size_t>(Row)]
                                                                       : nullptr;
}

void TScriptState::NoteFailure(std::string_view What, std::string_view Reason) {
  Failures.push_back(Concat({What, ": ", Reason}));
  // Going on is pointless: what the run did is undone.
  if (Journal) StopFlag = true;
}

TInstallRecorder* TScriptState::Recorder() const {
  if (Journal) return Journal.get();
  return UninstallList;
}

TUndoKeeper* TScriptState::UndoKeeper() const { return Journal.get(); }

void TScriptState::NoteLastError(const std::string& What) {
  NoteFailure(What, DescribeFileError(What, platform::LastError()));
}

std::string TScriptState::FailureText() const {
  std::string text =
      Concat({DecimalText(Failures.size()), (Failures.size() == 1 ? " thing" : " things"), " could not be done:"});
  for (const std::string& f : Failures) text += "\r\n" + f;
  if (!RollBackText.empty()) text += "\r\n" + RollBackText;
  return text;
}
