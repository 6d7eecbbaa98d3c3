// The program's state: the program-wide objects start-up fills and the
// wizard and the road without pages read, made in the documented order with
// the template fields registered by reference.
#pragma once

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "common/PathFields.h"
#include "common/Strings.h"
#include "common/ZUI_Global.h"
#include "diagnostics/SErrorLog.h"
#include "package/ZUI_CommandList.h"
#include "package/ZUI_CompLines.h"
#include "package/ZUI_PakFile.h"
#include "package/ZUI_SetupInfo.h"
#include "platform/Widgets.h"
#include "script/SE_ScriptState.h"
#include "script/SE_Uninstall_List.h"
#include "ui/ZUI_Language.h"

// The program's exit status.
constexpr int kExitCompleted = 0;
constexpr int kExitFatalMessage = 1;
constexpr int kExitErrorLog = 2;
constexpr int kExitCancelled = 3;
// The script's "failure" line stopped the run.
constexpr int kExitFailureLine = 4;
// Unattended: the install directory's drive cannot be installed to, or has
// too little free space; nothing was written.
constexpr int kExitDriveUnusable = 5;
// The run went to its end, but something could not be done (a file that
// could not be written): the error log lists what.
constexpr int kExitCompletedWithErrors = 6;
// Unattended: files the run must change are held by other programs; nothing
// was changed (the log and the error log name them).
constexpr int kExitFilesInUse = 7;

// The stages the error log names, on either road (wizard or not).
constexpr char kSetupThreadStage[] = "Setup Thread";
constexpr char kInstallationStage[] = "Installation";
constexpr char kUninstallationStage[] = "Uninstallation";

struct TProgram {
  TProgram();
  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  // Held while this run of the product goes on (see platform::InstanceLock).
  std::unique_ptr<platform::InstanceLock> InstanceLock;
  std::vector<std::string> Args;
  // The switches of the command line (ReadSwitches).
  bool Unattended = false;       // "/S"
  bool InstallDirGiven = false;  // "/D=PATH": the install directory
  std::string InstallDirSwitch;
  std::string LogPath;  // "/LOG=FILE": the install log
  TSetupInfoFile SetupInfoFile;
  TCompLines CompLines;
  TCommandList CommandList;
  TLanguages Languages;
  TLanguageStrings LanguageStrings;
  TUninstallList UninstallList{[this] { return Fields(); }};
  std::unique_ptr<TPak> SetupPak;
  uint16_t LangID = 0;
  bool ExternalPak = false;
  bool VerifyFailed = false;
  // The "Verifying Contents" window, kept up after a passed check while the
  // setup loads and the wizard is built behind it; VerifiedAt is when the
  // check ended (platform::TickCount).
  std::unique_ptr<platform::ProgressWindow> VerifyWindow;
  uint32_t VerifiedAt = 0;
  uint64_t SpaceRequired = 0;
  std::string SpaceRequiredText;
  uint64_t SpaceAvailable = 0;
  // False when the drive's free space could not be read (SpaceAvailable is
  // 0 then, its text string 38, "unknown").
  bool SpaceKnown = true;
  std::string SpaceAvailableText;
  std::string RefusedDeviceName;  // "<%DEVICENAME%>": the device InstallDirRefusal names

  // Closes the verification window once it has been shown for 500 ms after
  // the check: before the first page, the road or any message box.
  void CloseVerifyWindow();
  // The path fields with the install directory as it stands now.
  TPathFields Fields() const;
  // What the error log reports of the program.
  TErrorReport Report() const;
  // SpaceAvailable and its text from the drive of Dir, when Dir starts with
  // a drive letter and the drive answers.
  void FreeSpaceOf(const std::string& Dir);
  // The free space is known and takes what the setup needs.
  bool SpaceEnough() const;
  // True when Path's drive (its first three characters) is one a setup can
  // install to (removable, fixed or on the network) and no name in Path opens
  // as a device (C:\CON, C:\LPT1.txt\x), which no program could open as a folder.
  static bool DriveAcceptable(const std::string& Path);
  // Why Path cannot be installed to, in the current language (empty when
  // DriveAcceptable): a name that opens as a device, or a drive that cannot
  // take the files.
  WideString InstallDirRefusal(const std::string& Path);
  // The state a run of the script works on, its collaborators set.
  void PrepareScriptState(TScriptState& State, TSetupObserver* Observer);
  // The files a setup's run or an uninstall will change that another
  // program holds now, checked as State stands (Ask: the Retry/Cancel box
  // until none is held or the person cancels). Empty when none is; else
  // the files and their programs, also told to the run's log.
  std::string FilesHeld(TScriptState& State, bool Ask);
};
