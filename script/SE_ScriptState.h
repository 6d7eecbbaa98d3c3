// What a running script works on: its lines, the jump and stop state the
// commands change, and the collaborators of the run. Pointers may be null in
// tests that need only part of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Observers.h"
#include "common/PathFields.h"
#include "package/ZUI_CompLines.h"
#include "package/ZUI_PakFile.h"
#include "package/ZUI_SetupInfo.h"
#include "platform/Platform.h"

class TPakSystem;
class TRunJournal;
class TUndoKeeper;
class TInstallRecorder;
class TUninstallList;
class TVFSSession;

struct TScriptState {
  explicit TScriptState(TCompLines& Lines);
  ~TScriptState();  // where the sessions' types are complete
  TScriptState(const TScriptState&) = delete;
  TScriptState& operator=(const TScriptState&) = delete;

  // The path fields with the setup's install directory as it stands now.
  TPathFields Fields() const;
  std::string Expand(const std::string& Text) const { return ExpandPathFields(Text, Fields()); }
  const TCompLine& Line(int32_t Row) const;
  // String Number of the current language ("NOT FOUND " + Number without one).
  WideString String(uint16_t Number) const;
  // String Number, or the built-in English Fallback.
  WideString StringOr(uint16_t Number, const WideString& Fallback) const;
  // The status line, when someone watches.
  void SetStatusText(const WideString& Text) const;
  // The line itself, for commands that write their expanded arguments back.
  TCompLine* MutableLine(int32_t Row);

  TCompLines& CompLines;
  std::atomic<int32_t> CurrentLine{-1};
  std::atomic<bool> StopFlag{false};
  // Set by the script's "failure" line, which stopped the run.
  std::atomic<bool> FailureLine{false};
  // A person is there to be asked to close a program that holds a file the
  // run must change (the wizard); otherwise such a file fails at once.
  bool AskWhenInUse = false;
  // Set when the program is ending (the setup thread's quit request).
  const std::atomic<bool>* Terminating = nullptr;

  TPak* Pak = nullptr;
  TSetupInfoFile* SetupInfo = nullptr;
  TUninstallList* UninstallList = nullptr;
  TSetupObserver* Observer = nullptr;
  const TTextSource* Text = nullptr;
  platform::Registry* Registry = nullptr;
  // The folders the path fields stand for, besides the install directory.
  std::string StartMenuProgramsDir;
  std::string ProgramFilesDir;
  std::string CDDrive;
  std::string DesktopDir;
  std::string CommonDesktopDir;
  std::string CommonProgramsDir;
  // What the run could not do (a file, folder, shortcut or registry value
  // that could not be written, with the reason), one line each; written by
  // the setup thread, read once the run has ended. A run with failures ends
  // with the failure text.
  std::vector<std::string> Failures;
  // The one rule every command and the run's end follow: a failure is a
  // write the script asked for that did not happen (a file not copied,
  // renamed, deleted or extracted, a folder not made or not removed, a
  // registry value or shortcut not written, a program not started). Asking
  // for what is already so (deleting or renaming a file that is not there)
  // is no failure. Each failure is one line "What: Reason".
  void NoteFailure(std::string_view What, std::string_view Reason);
  // The same with the reason the platform's last error gives for What.
  void NoteLastError(const std::string& What);
  // "2 things could not be done:" and the failures, a line each, then what
  // the roll-back did.
  std::string FailureText() const;
  // The journal of a setup's run, while it runs (none in an uninstall and in
  // tests that run commands alone). With it the first failure stops the run,
  // which is then rolled back.
  std::unique_ptr<TRunJournal> Journal;
  // Set once a failed run was rolled back: what the roll-back did.
  std::string RollBackText;
  // Where writes are recorded: the journal (which tells the uninstall list
  // too) while there is one, the uninstall list otherwise.
  TInstallRecorder* Recorder() const;
  TUndoKeeper* UndoKeeper() const;
  // The VFS container a "vfsupdate" left open, made on first use.
  std::unique_ptr<TVFSSession> Vfs;
  // The game archive system of this run's patch commands, made on first use
  // (a test may put one in place first, with its own end handler).
  std::unique_ptr<TPakSystem> Archives;
};
