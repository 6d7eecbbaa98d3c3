#include "script/SE_SetupThread.h"

#include <exception>

#include "common/FileUtils.h"
#include "common/RunLog.h"
#include "common/Strings.h"
#include "script/SE_Uninstall_List.h"
#include "script/SE_Uninstaller.h"
#include "script/SE_VFS.h"

namespace {
constexpr char kStatusStart[] = "Status: 0 of ";
constexpr char kFilesExtracted[] = " files extracted";
constexpr uint16_t kStringFailed = 23;
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
  auto& lines = state_.CompLines.Lines;
  if (!lines.empty()) {
    do {
      int32_t current = ++state_.CurrentLine;
      if (current >= 0 && static_cast<size_t>(current) < lines.size()) {
        const TCompLine& line = lines[static_cast<size_t>(current)];
        // Numbers beyond the registry are lines with nothing to run.
        if (TCommandClass* command = commands_.ForNumber(line.Command)) command->SFXProcess(state_, line.Row);
      }
    } while (state_.CurrentLine < static_cast<int32_t>(lines.size()) && !state_.StopFlag);
  }
  // A container a last "vfsupdate" left open is saved and closed, so no run
  // leaves a stale header or side file behind.
  if (state_.Vfs) state_.Vfs->CloseCurrentVFS(state_);
  const TSetupInfo& info = state_.SetupInfo->Info;
  ForceInstallDirs(info.InstallDir, state_.UninstallList);
  if (info.MakeUninstaller == 1) {
    const bool logSaved = SaveUninstallLog(state_, info.InstallDir, info.UninstallPrefix);
    const std::string uninstaller = info.InstallDir + "\\" + info.UninstallExeName;
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
    } else {
      state_.NoteFailure(std::string("HKLM\\") + kProductUninstallKey + info.SetupShortName,
                         "the product was not registered: its uninstall log or uninstaller could not be written, so "
                         "what the run wrote stays until it is removed by hand");
    }
  }
  // Whatever could not be written, the run did not succeed.
  if (!state_.Failures.empty() && state_.Observer) state_.Observer->SetFinishText(state_.String(kStringFailed), true);
  RunRequested = false;
}

bool StartRun(TSetupThread& Thread, TScriptState& State, const std::function<void()>& Pump) {
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
