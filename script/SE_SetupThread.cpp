#include "script/SE_SetupThread.h"

#include <exception>

#include "common/Exceptions.h"
#include "common/FileUtils.h"
#include "common/RunLog.h"
#include "common/Strings.h"
#include "script/FilesInUse.h"
#include "script/RunJournal.h"
#include "script/SE_Uninstall_List.h"
#include "script/SE_Uninstaller.h"
#include "script/SE_VFS.h"

namespace {
constexpr char kStatusStart[] = "Status: 0 of ";
constexpr char kFilesExtracted[] = " files extracted";
constexpr uint16_t kStringFailed = 23;
constexpr uint16_t kStringRestoring = 33;
constexpr char16_t kRestoringDefault[] = u"Restoring <%FNUM%> of <%FTOTAL%>";

std::string WithoutBackslash(std::string Path) {
  while (Path.size() > 3 && Path.back() == '\\') Path.pop_back();
  return Path;
}

// A journal a run left (killed, power lost) is rolled back before a new run
// starts there.
void RollBackLeftover(const std::string& Folder, platform::Registry* Registry) {
  TRollBackReport report = TRunJournal::RollBackFolder(Folder, Registry, nullptr);
  LogLine(report.Leftover ? "Cleared" : "Rolled back",
          report.Leftover ? Folder : "an unfinished run: " + report.Text());
  if (platform::DirectoryExists(Folder)) {
    RaiseSetupError({"The journal of an unfinished run, ", Folder, ", could not be cleared:\r\n", report.Text(),
                     "\r\nNothing was changed by this run."});
  }
}

// Keeps the folders made for the journal, for the uninstall log at the end
// of the run (where they were recorded before there was a journal).
struct TMadeFolders : TInstallRecorder {
  std::vector<std::string> Paths;
  void AddInstalledFile(const std::string&) override {}
  void AddDirectory(const std::string& Path) override { Paths.push_back(Path); }
};

// The journal of a setup's run, in its install directory. The folders the
// run makes for it (the install directory and its parents) are its first
// records; Made receives them as the uninstall log takes them. False, with
// the failure noted, when the journal cannot be made: nothing is changed then.
bool StartJournal(TScriptState& State, std::vector<std::string>& Made) {
  const TSetupInfo& info = State.SetupInfo->Info;
  const std::string dir = WithoutBackslash(info.InstallDir);
  std::vector<std::string> made;
  for (std::string d = dir; d.size() > 3 && !platform::DirectoryExists(d); d = WithoutBackslash(ExtractFilePath(d))) {
    made.insert(made.begin(), d);
  }
  TMadeFolders folders;
  ForceInstallDirs(info.InstallDir, &folders);
  Made = folders.Paths;
  const std::string folder = TRunJournal::FolderOf(dir, info.UninstallPrefix);
  if (platform::DirectoryExists(folder)) RollBackLeftover(folder, State.Registry);
  auto journal = std::make_unique<TRunJournal>(folder, State.UninstallList, State.Registry);
  journal->RetryInUse = [&State](const std::string& Path) { return RetryFileInUse(State, Path); };
  if (!journal->Start() || !journal->RecordDirectoriesMade(made)) {
    const std::string reason = platform::DescribeError(platform::LastError());
    journal->RollBack(nullptr);
    for (auto it = made.rbegin(); it != made.rend(); ++it) platform::RemoveDirectory(*it);
    State.NoteFailure(folder, Concat({"the run's journal could not be made (", reason, "), so nothing was changed"}));
    return false;
  }
  State.Journal = std::move(journal);
  return true;
}

// Undoes the run, telling the status line and the bar as it goes.
void RollBackRun(TScriptState& State) {
  // A container still open is closed unsaved: closing puts it back.
  if (State.Vfs) State.Vfs->CurrentVFS.reset();
  auto progress = [&State](uint32_t Done, uint32_t Total) {
    State.SetStatusText(FillProgressText(State.StringOr(kStringRestoring, kRestoringDefault), u"", Done, Total));
    if (State.Observer) State.Observer->SetProgress(Done, Total);
  };
  TRollBackReport report = State.Journal->RollBack(progress);
  State.Journal.reset();
  State.RollBackText = report.Text();
  LogLine("Rolled back", State.RollBackText);
}
}  // namespace

TSetupThread::TSetupThread(TScriptState& State, const TCommandList& Commands,
                           std::function<void(const std::string&)> OnError)
    : state_(State), commands_(Commands), onError_(std::move(OnError)) {
  state_.Terminating = &QuitRequested;
}

TSetupThread::~TSetupThread() {
  RequestQuit();
  thread_.Join();
}

bool TSetupThread::Start() {
  return thread_.Start([this] { Execute(); });
}

void TSetupThread::Execute() {
  // No exception leaves the thread: it ends the run and is reported.
  try {
    while (!QuitRequested) {
      if (RunRequested) RunScript();
      platform::Sleep(1);
    }
  } catch (const std::exception& e) {
    // Reported before Failed is set: whoever waits for Failed then sees the
    // report complete.
    if (onError_) onError_(e.what());
    Failed = true;
  }
}

void TSetupThread::RunScript() {
  platform::ComScope com;
  // A link or reparse point inside the install folder never leads a write or
  // a delete of the run out of it.
  platform::WriteConfinement confine(state_.SetupInfo ? state_.SetupInfo->Info.InstallDir : std::string());
  // A setup's run is all or nothing; an uninstall goes on past what it cannot remove.
  if (state_.SetupInfo && state_.SetupInfo->Info.IsUninstaller == 0 && !StartJournal(state_, madeFolders_)) {
    if (state_.Observer) state_.Observer->SetFinishText(state_.String(kStringFailed), true);
    RunRequested = false;
    return;
  }
  try {
    RunLines();
    FinishRun();
  } catch (const std::exception& e) {
    if (!state_.Journal) throw;
    RollBackRun(state_);
    RaiseSetupError({e.what(), "\r\n", state_.RollBackText});
  }
  if (state_.Journal) {
    std::string problem;
    if (state_.Failures.empty() && !state_.Journal->Commit(problem)) state_.NoteFailure("the run", problem);
    if (!state_.Failures.empty()) {
      RollBackRun(state_);
    } else {
      if (!problem.empty()) LogLine("Left behind", problem);
      state_.Journal.reset();
    }
  }
  // Whatever could not be written, the run did not succeed.
  if (!state_.Failures.empty() && state_.Observer) state_.Observer->SetFinishText(state_.String(kStringFailed), true);
  RunRequested = false;
}

void TSetupThread::RunLines() {
  auto& lines = state_.CompLines.Lines;
  if (lines.empty()) return;
  do {
    int32_t current = ++state_.CurrentLine;
    if (current >= 0 && static_cast<size_t>(current) < lines.size()) {
      const TCompLine& line = lines[static_cast<size_t>(current)];
      // Numbers beyond the registry are lines with nothing to run.
      if (TCommandClass* command = commands_.ForNumber(line.Command)) command->SFXProcess(state_, line.Row);
    }
  } while (state_.CurrentLine < static_cast<int32_t>(lines.size()) && !state_.StopFlag);
}

void TSetupThread::FinishRun() {
  // A container a last "vfsupdate" left open is saved and closed, so no run
  // leaves a stale header or side file behind.
  if (state_.Vfs) state_.Vfs->CloseCurrentVFS(state_);
  const TSetupInfo& info = state_.SetupInfo->Info;
  // A run that is rolled back writes no log, uninstaller or key.
  if (state_.Journal && !state_.Failures.empty()) return;
  if (state_.UninstallList) {
    for (const std::string& dir : madeFolders_) state_.UninstallList->AddDirectory(dir);
  }
  ForceInstallDirs(info.InstallDir, state_.Recorder());
  if (info.MakeUninstaller == 1) {
    const bool logSaved = SaveUninstallLog(state_, info.InstallDir, info.UninstallPrefix);
    const std::string uninstaller = AddBackslash(info.InstallDir) + info.UninstallExeName;
    const bool built = BuildUninstaller(state_);
    if (!built) {
      state_.NoteLastError(uninstaller);
    } else {
      LogLine("File", uninstaller);
    }
    // Registered last: a product whose log or uninstaller is missing could
    // not be removed, so it does not appear in Add/Remove Programs.
    if (logSaved && built) {
      RegisterProduct(state_);
    } else if (!state_.Journal) {
      state_.NoteFailure(Concat({"HKLM\\", kProductUninstallKey, info.SetupShortName}),
                         "the product was not registered: its uninstall log or uninstaller could not be written, so "
                         "what the run wrote stays until it is removed by hand");
    }
  }
}

bool StartRun(TSetupThread& Thread, TScriptState& State, TFunctionRef<void()> Pump) {
  uint32_t total = State.Pak ? State.Pak->GroupedCount() : 0;
  if (State.Observer) {
    State.Observer->SetStatusText(AsciiToWide(kStatusStart + DecimalText(total) + kFilesExtracted));
    State.Observer->SetProgress(0, total);
  }
  if (State.UninstallList && State.SetupInfo) State.UninstallList->AddDirectory(State.SetupInfo->Info.InstallDir);
  State.CurrentLine = -1;
  Thread.RunRequested = true;
  while (Thread.RunRequested && !Thread.Failed) {
    if (Pump) Pump();
    platform::Sleep(1);
  }
  return !Thread.Failed;
}
