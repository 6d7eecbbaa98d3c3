#include "script/SE_VFS.h"

#include "common/Prompt.h"
#include "common/ScopeExit.h"
#include "common/Strings.h"
#include "gamedata/GameData.h"
#include "gamedata/VFS_Check.h"
#include "script/SE_ScriptState.h"

namespace {
constexpr uint16_t kStringProgress = 19;
constexpr uint16_t kStringHeader = 20;
constexpr uint16_t kStringFailed = 23;
constexpr uint16_t kStringLoading = 29;
constexpr char16_t kNameToken[] = u"<%ZUPNAME%>";
constexpr char kMissingText[] = "Error: Unable to find <";
constexpr char kMissingCaption[] = "VFS Error";
constexpr char kDamagedText[] = "Error: <";
constexpr char kDamagedReason[] = "> is damaged, nothing was changed: ";

}  // namespace

std::string TVFSSession::ContainerPath(const TScriptState& State, const std::string& Name) {
  return AddBackslash(State.SetupInfo->Info.InstallDir) + Name;
}

WideString TVFSSession::VFSProgressText(const TScriptState& State, const std::string& Name, uint32_t Done,
                                        uint32_t Total) const {
  return FillProgressText(State.String(kStringProgress), platform::TextToWide(Name), Done, Total);
}

void TVFSSession::OpenVFS(TScriptState& State, const std::string& Name) {
  CloseCurrentVFS(State);
  State.SetStatusText(ReplaceText(State.String(kStringLoading), kNameToken, platform::TextToWide(Name)));
  auto vfs = std::make_unique<TVFSFile>();
  vfs->Keeper = State.UndoKeeper();
  vfs->Open(ContainerPath(State, Name), true);
  CurrentVFS = std::move(vfs);
  CurrentVFSName = Name;
}

void TVFSSession::SaveCurrentVFS(TScriptState& State) {
  if (!CurrentVFS) return;
  State.SetStatusText(ReplaceText(State.String(kStringHeader), kNameToken, platform::TextToWide(CurrentVFSName)));
  CurrentVFS->Save(false);
}

void TVFSSession::CloseCurrentVFS(TScriptState& State) {
  if (!CurrentVFS) return;
  // Freed (and so closed) even when saving fails: closing undoes an update
  // that was not saved whole.
  TScopeExit close([this] { CurrentVFS.reset(); });
  SaveCurrentVFS(State);
}

void TVFSSession::AddVFSMember(TScriptState& State, uint32_t Index) {
  uint32_t percent = VFSTotal ? VFSDone * 100 / VFSTotal : 0;
  bool changed = percent > VFSLastPercent;
  if (changed) VFSLastPercent = percent;
  State.SetStatusText(VFSProgressText(State, CurrentVFSName, VFSDone, VFSTotal));
  const TPakFile& e = State.Pak->Entries[Index];
  std::optional<TBytes> data = State.Pak->ReadEntry(Index);
  CurrentVFS->Tree.AddFile(GameText(e.Name), data ? data->data() : nullptr,
                           data ? static_cast<uint32_t>(data->size()) : 0);
  if (State.Observer) State.Observer->StepProgress(changed);
  ++VFSDone;
}

void TVFSSession::VFSUpdate(TScriptState& State, uint16_t Group, const std::string& Name, bool CloseAfter) {
  VFSTotal = State.Pak ? State.Pak->CountInGroup(Group) : 0;
  if (VFSTotal == 0) return;
  if (!platform::FileExists(ContainerPath(State, Name))) {
    ShowMessage(Concat({kMissingText, Name, ">"}), kMissingCaption, platform::kMbOk);
    if (State.Observer) State.Observer->SetFinishText(State.String(kStringFailed), false);
    State.StopFlag = true;
    return;
  }
  // Nothing is added to a damaged container (another file's blocks would be
  // taken): the run stops as for a missing one. A container left open by the
  // previous line is saved first, so the check sees it whole.
  CloseCurrentVFS(State);
  std::string problem = CheckVFSContainer(ContainerPath(State, Name));
  if (!problem.empty()) {
    ShowMessage(kDamagedText + Name + kDamagedReason + problem, kMissingCaption, platform::kMbOk);
    if (State.Observer) State.Observer->SetFinishText(State.String(kStringFailed), false);
    State.StopFlag = true;
    return;
  }
  OpenVFS(State, Name);
  VFSDone = 0;
  VFSLastPercent = 0;
  State.SetStatusText(VFSProgressText(State, Name, 0, VFSTotal));
  {
    // Interrupted, what was added is kept when the save goes through (a full
    // container ends the update that way); the first error is the one
    // reported, so the save's own is dropped.
    TScopeExit saveOnError([&] {
      if (!CloseAfter) return;
      try {
        CloseCurrentVFS(State);
      } catch (...) {
      }
    });
    State.Pak->ForEachInGroup(Group, [&](uint32_t index) { AddVFSMember(State, index); });
    saveOnError.Release();
  }
  if (CloseAfter) CloseCurrentVFS(State);
}
