#include "startup/Startup.h"

#include <exception>
#include <memory>

#include "common/Exceptions.h"
#include "common/FileUtils.h"
#include "common/PathFields.h"
#include "common/Prompt.h"
#include "common/RegistryRoots.h"
#include "common/RunLog.h"
#include "common/Strings.h"
#include "common/ZUI_Global.h"
#include "diagnostics/SErrorLog.h"
#include "package/ZUI_CommandList.h"
#include "package/ZUI_CompLines.h"
#include "package/ZUI_PakFile.h"
#include "package/ZUI_SetupInfo.h"
#include "platform/Widgets.h"
#include "script/RunJournal.h"
#include "script/SE_ScriptState.h"
#include "script/SE_SetupThread.h"
#include "script/SE_Uninstall_List.h"
#include "script/SE_Uninstaller.h"
#include "script/ZUI_Commands.h"
#include "ui/ZUI_Language.h"
#include "ui/ZUI_Program.h"

namespace {

// The fixed texts of start-up.
constexpr char kVerifyCaption[] = "Verifying Contents";
constexpr char kVerifyLabel[] = "Verifying contents please wait...";
constexpr char kLoadingHeader[] = "Loading Header";
constexpr char kInvalidHeader[] = "Invalid Setup Header. No Contents or Corrupted Contents.";
constexpr char kVerificationFailed[] = "Error: Verification Failed. Setup is corrupt.\rID: ";
constexpr char kDigestDiffers[] = " (the package's directory does not match it)";
constexpr char kFilename[] = " Filename: ";
constexpr char kSetupInfoMissing[] = "Error: Setup Information Missing. Setup is corrupt";
constexpr char kLogMissing[] = "Error: install log is missing";
constexpr char kAlreadyRunning[] = "Error: a setup or uninstaller of ";
constexpr char kAlreadyRunningEnd[] = " is running already. Let it finish, then try again.";
constexpr char kLogChanged[] = "install log has been changed: ";
constexpr char kUninstallStage[] = "Uninstall";
constexpr char kCompiledLinesMissing[] = "Error: Compiled Lines Missing. Setup is corrupt";
constexpr char kRenamed[] = "Error: Setup`s filename has been renamed\r\rExpected: \r";
constexpr char kFound[] = "Found: ";
constexpr char kRegistryKeyNotFound[] = "Error: Registry Key Not Found. Please Install Software";
constexpr char kCaptionError[] = "Error";
constexpr char kLogUnwritable[] = "Error: the log file cannot be written: ";
constexpr char kCaptionVerification[] = "Verification Error";
constexpr char kCaptionSetup[] = "Setup Error";
constexpr char kVerificationStage[] = "Verification Stage";
constexpr char kLanguagePrefix[] = "LANGUAGE-";
constexpr char kRolledBack[] = "A run of a setup in ";
constexpr char kRolledBackEnd[] = " did not finish (it was ended, or the computer went off) and was rolled back.\r\r";
constexpr char kCaptionRolledBack[] = "Setup";
constexpr uint32_t kVerifyRepaintMs = 50;

std::string StatusVerified(uint32_t done, uint32_t total) {
  return Concat({"Status: ", DecimalText(done), " out of ", DecimalText(total), " files verifyed"});
}

void Fatal(std::string_view text, std::string_view caption) { ShowMessage(text, caption, platform::kMbOk); }

// Text starts with Prefix, ignoring ASCII case.
bool StartsWithText(const std::string& Text, const char* Prefix) {
  size_t n = std::char_traits<char>::length(Prefix);
  return Text.size() >= n && SameTextAscii(Text.substr(0, n), Prefix);
}

constexpr char kSilentSwitch[] = "/S";
constexpr char kDirSwitch[] = "/D=";
constexpr char kLogSwitch[] = "/LOG=";

bool IsSwitch(const std::string& Arg) {
  return SameTextAscii(Arg, kSilentSwitch) || StartsWithText(Arg, kDirSwitch) || StartsWithText(Arg, kLogSwitch);
}

// Every box is logged with its answer. Unattended, none is shown: the answer
// is the one Enter would give, except that a Retry/Cancel box is cancelled
// (retrying with nobody there to change anything would never end).
class TLoggedPrompt : public TPrompt {
 public:
  TLoggedPrompt(TPrompt& Inner, TProgram& Program)
      : inner_(Inner), program_(Program), unattended_(Program.Unattended) {}
  int Show(const std::string& Text, const std::string& Caption, uint32_t Flags) override {
    program_.CloseVerifyWindow();
    int answer = unattended_ ? DefaultAnswer(Flags) : inner_.Show(Text, Caption, Flags);
    Log(platform::TextToWide(Concat({Caption, ": ", Text})), answer);
    return answer;
  }
  int ShowWide(const WideString& Text, const WideString& Caption, uint32_t Flags) override {
    program_.CloseVerifyWindow();
    int answer = unattended_ ? DefaultAnswer(Flags) : inner_.ShowWide(Text, Caption, Flags);
    Log(Caption + u": " + Text, answer);
    return answer;
  }
  void FatalAppExit(const std::string& Text) override {
    program_.CloseVerifyWindow();
    LogLine("Fatal", Text);
    if (!unattended_) inner_.FatalAppExit(Text);
  }

 private:
  static int DefaultAnswer(uint32_t Flags) {
    switch (Flags & 0x0F) {
      case platform::kMbYesNo:
        return platform::kIdYes;
      case platform::kMbRetryCancel:
        return platform::kIdCancel;
      case platform::kMbOkCancel:
        return platform::kIdOk;
      default:
        return platform::kIdOk;
    }
  }
  void Log(WideString Text, int Answer) const {
    // One line: the box's line breaks become blanks.
    for (char16_t& c : Text) {
      if (c == u'\r' || c == u'\n') c = u' ';
    }
    static const char* const kAnswers[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    const char* answer = Answer > 0 && Answer <= 7 ? kAnswers[Answer] : "closed";
    LogLineWide("Message box", Text + u" -> " + AsciiToWide(answer) + (unattended_ ? u" (unattended)" : u""));
  }
  TPrompt& inner_;
  TProgram& program_;
  bool unattended_;
};

// Passes everything on, logging the status and finish texts.
class TLoggedObserver : public TSetupObserver {
 public:
  explicit TLoggedObserver(TSetupObserver* Inner) : inner_(Inner) {}
  void SetStatusText(const WideString& Text) override {
    LogLineWide("Status", Text);
    if (inner_) inner_->SetStatusText(Text);
  }
  void StepProgress(bool Show) override {
    if (inner_) inner_->StepProgress(Show);
  }
  void SetFinishText(const WideString& Text, bool Refresh) override {
    LogLineWide("Finish", Text);
    if (inner_) inner_->SetFinishText(Text, Refresh);
  }
  void SetProgress(uint32_t Position, uint32_t Maximum) override {
    if (inner_) inner_->SetProgress(Position, Maximum);
  }

 private:
  TSetupObserver* inner_;
};

// The start-up check of the package: every entry checked while the
// "Verifying Contents" window counts. Returns false when an entry failed
// (its message shown).
bool Verify(TProgram& p, platform::ProgressWindow& window, uint64_t& groupedTotal) {
  TPak& pak = *p.SetupPak;
  const uint32_t n = pak.Trailer.Count;
  window.SetStatus(StatusVerified(0, n));
  window.SetProgress(0, n);
  p.VerifyFailed = false;
  uint32_t shownAt = platform::TickCount();
  // Entries are checked ahead on worker threads and reported here in
  // directory order, so the first failing entry is the one named.
  pak.VerifyEntries(n, 0, [&](uint32_t i, bool ok) {
    const TPakFile& e = pak.Entries[i];
    p.VerifyFailed = !ok;
    if (p.VerifyFailed) {
      Fatal(Concat({kVerificationFailed, DecimalText(i), kFilename, e.Name}), kCaptionVerification);
      return false;
    }
    if (e.Group > 0) groupedTotal += e.OrigSize;
    // A repaint costs milliseconds: the window shows the count at most every
    // 50 ms, and the last one always.
    uint32_t now = platform::TickCount();
    if (i + 1 == n || now - shownAt >= kVerifyRepaintMs) {
      window.SetStatus(StatusVerified(i + 1, n));
      window.SetProgress(i + 1, n);
      shownAt = now;
    }
    return true;
  });
  if (p.VerifyFailed) return false;
  // A directory that did not fit the file holds fewer entries than the
  // trailer claims: that is a damaged package too.
  if (pak.Entries.size() < n) {
    p.VerifyFailed = true;
    Fatal(Concat({kVerificationFailed, DecimalText(pak.Entries.size()), kFilename, "(the directory of ", DecimalText(n),
                  " entries does not fit the file)"}),
          kCaptionVerification);
    return false;
  }
  // A changed name, group or trailer field passes the entries' own checks;
  // the directory digest, when the package has one, finds it.
  uint32_t digest = 0;
  if (pak.CheckDirectoryDigest(digest) == TDigestCheck::kDiffers) {
    p.VerifyFailed = true;
    Fatal(Concat({kVerificationFailed, DecimalText(digest), kFilename, pak.Entries[digest].Name, kDigestDiffers}),
          kCaptionVerification);
    return false;
  }
  LogLine("Verified", Concat({DecimalText(n), " entries"}));
  return true;
}

// The road without pages: a setup runs its script as the working page starts
// it; an uninstaller runs the uninstall procedure and starts its finaliser.
int RunRoad(TProgram& p, TSetupObserver* observer) {
  TSetupInfo& info = p.SetupInfoFile.Info;
  // As the wizard's set-up does: the install directory's path fields expanded.
  info.InstallDir = ExpandPathFields(info.InstallDir, p.Fields());
  if (p.Unattended && info.IsUninstaller == 0) {
    // The install-directory and patch pages' checks: a drive that can take
    // the files, with room for them.
    p.FreeSpaceOf(info.InstallDir);
    if (std::string device = DevicePathReason(info.InstallDir); !device.empty()) {
      LogLine("Stopped", Concat({info.InstallDir, " cannot be installed to: it ", device}));
      return kExitDriveUnusable;
    }
    if (!TProgram::DriveAcceptable(info.InstallDir)) {
      LogLine("Stopped", Concat({"the drive of ", info.InstallDir, " cannot be installed to"}));
      return kExitDriveUnusable;
    }
    if (!p.SpaceKnown) {
      LogLine("Stopped", Concat({"the free space of ", info.InstallDir, "'s drive cannot be read"}));
      return kExitDriveUnusable;
    }
    if (!p.SpaceEnough()) {
      LogLine("Stopped", Concat({info.InstallDir, " has ", FormatSize(p.SpaceAvailable), " free, the setup needs ",
                                 FormatSize(p.SpaceRequired)}));
      return kExitDriveUnusable;
    }
  }
  LogLine("Install directory", info.InstallDir);

  TScriptState state(p.CompLines);
  p.PrepareScriptState(state, observer);
  // Nobody to close a program that holds a file the run must change: the
  // road stops before it changes anything.
  if (std::string held = p.FilesHeld(state, false); !held.empty()) {
    LogLine("Stopped", "files in use: nothing was changed");
    WriteErrorLog(Concat({"Files in use: nothing was changed.\r\n", held}),
                  info.IsUninstaller == 1 ? kUninstallationStage : kInstallationStage, p.Report());
    return kExitFilesInUse;
  }

  if (info.IsUninstaller == 1) {
    RunUninstall(state);
    LaunchFinaliser(state, p.Args[0]);
    if (!state.Failures.empty()) {
      WriteErrorLog(state.FailureText(), kUninstallationStage, p.Report());
      return kExitCompletedWithErrors;
    }
    return kExitCompleted;
  }
  std::string threadError;
  TSetupThread thread(state, p.CommandList, [&threadError](const std::string& message) { threadError = message; });
  if (!thread.Start()) RaiseSetupError({"Failed to start the setup thread"});
  bool ok = StartRun(thread, state, nullptr);
  thread.RequestQuit();
  if (!ok) {
    WriteErrorLog(threadError, kSetupThreadStage, p.Report());
    return kExitErrorLog;
  }
  if (!state.Failures.empty()) {
    WriteErrorLog(state.FailureText(), kInstallationStage, p.Report());
    return kExitCompletedWithErrors;
  }
  return state.FailureLine ? kExitFailureLine : kExitCompleted;
}

// The stages of start-up. Each returns kContinue to go on, or the exit
// status the program ends with.

// Opens the package (the program's own payload, or the file named first on
// the command line) and verifies every entry in the "Verifying Contents"
// window; GroupedTotal receives the original bytes of the grouped entries.
int OpenAndVerify(TProgram& p, uint64_t& GroupedTotal) {
  auto window = std::make_unique<platform::ProgressWindow>();
  if (!p.Unattended) window->Show(kVerifyCaption, kVerifyLabel, kLoadingHeader);
  window->SetProgress(0, 100);

  std::string package = p.Args[0];
  if (p.Args.size() >= 2 && !IsSwitch(p.Args[1]) && platform::FileExists(p.Args[1])) {
    package = p.Args[1];
    p.ExternalPak = true;
  }
  LogLine("Package", package);
  p.SetupPak = std::make_unique<TPak>(package, false, false);
  if (!p.SetupPak->Trailer.HasMagic()) {
    Fatal(kInvalidHeader, kCaptionError);
    return kExitFatalMessage;
  }
  try {
    if (!Verify(p, *window, GroupedTotal)) return kExitFatalMessage;
    // The window stays up while the setup loads and the wizard is built
    // behind it; the first page, the road or a message box closes it.
    p.VerifiedAt = platform::TickCount();
    if (!p.Unattended) p.VerifyWindow = std::move(window);
  } catch (const ESetupError& e) {
    WriteErrorLog(e.what(), kVerificationStage, p.Report());
  }
  return kContinue;
}

// A journal that a run ended half-way left in the install directory: the
// run is rolled back before anything else happens there, and the user told.
void RollBackUnfinishedRun(TProgram& p) {
  const TSetupInfo& info = p.SetupInfoFile.Info;
  if (info.InstallDir.empty()) return;
  const std::string dir = ExpandPathFields(info.InstallDir, p.Fields());
  const std::string folder = TRunJournal::FolderOf(dir, info.UninstallPrefix);
  if (!platform::DirectoryExists(folder)) return;
  TRollBackReport report;
  {
    platform::WriteConfinement confine(dir);
    report = TRunJournal::RollBackFolder(folder, SetupRegistry, nullptr);
  }
  if (report.Leftover) {
    LogLine("Cleared", report.Complete() ? folder : Concat({folder, ": ", report.Text()}));
    return;
  }
  std::string text = Concat({kRolledBack, dir, kRolledBackEnd, report.Text()});
  LogLine("Rolled back", text);
  ShowMessage(text, kCaptionRolledBack, platform::kMbOk | platform::kMbIconInformation);
}

// The setup information, then the install log (uninstaller) or the compiled
// script with the space it needs (setup); the renamed-executable check.
int Load(TProgram& p) {
  TSetupInfo& info = p.SetupInfoFile.Info;
  TPak& pak = *p.SetupPak;
  uint32_t size = 0;
  std::optional<TBytes> setupInfo = pak.FindEntry("SetupInfo", 0, size);
  if (!setupInfo) {
    Fatal(kSetupInfoMissing, kCaptionVerification);
    return kExitFatalMessage;
  }
  p.SetupInfoFile.LoadFromBuffer(setupInfo->data(), static_cast<uint32_t>(setupInfo->size()));
  // One run of a product at a time, setup or uninstaller: two would race
  // for its files, its log and its registry key.
  p.InstanceLock = std::make_unique<platform::InstanceLock>(info.SetupShortName);
  if (!p.InstanceLock->Held()) {
    Fatal(Concat({kAlreadyRunning, info.SetupShortName, kAlreadyRunningEnd}), kCaptionSetup);
    return kExitFatalMessage;
  }

  if (info.IsUninstaller == 1) {
    // An uninstaller made when a signed setup was built names no install
    // directory: it is the folder it runs from.
    if (info.InstallDir.empty()) {
      info.InstallDir = ExtractFilePath(p.Args[0]);
      if (info.InstallDir.size() > 3 && info.InstallDir.back() == '\\') info.InstallDir.pop_back();
    }
    RollBackUnfinishedRun(p);
    if (!platform::FileExists(AddBackslash(info.InstallDir) + UninstallLogName(info.UninstallPrefix))) {
      Fatal(kLogMissing, kCaptionSetup);
      return kExitFatalMessage;
    }
    // A log changed after the setup saved it could name any file; it is not
    // believed, and nothing is deleted.
    if (!InstallLogTrusted(*SetupRegistry, info.InstallDir, info.UninstallPrefix, info.SetupShortName)) {
      WriteErrorLog(kLogChanged + AddBackslash(info.InstallDir) + UninstallLogName(info.UninstallPrefix),
                    kUninstallStage, p.Report());
      return kExitErrorLog;
    }
    p.UninstallList.LoadLog(info.InstallDir, info.UninstallPrefix);
    p.SpaceRequired = 0;
  } else {
    std::optional<TBytes> lines = pak.FindEntry("CompiledLines", 0, size);
    if (!lines) {
      Fatal(kCompiledLinesMissing, kCaptionVerification);
      return kExitFatalMessage;
    }
    p.CompLines.LoadFromBuffer(lines->data(), static_cast<uint32_t>(lines->size()));
    RegisterCommands(p.CommandList);
    p.SpaceRequired = SpaceRequiredFor(pak, p.CompLines, p.CommandList);
  }
  p.SpaceRequiredText = FormatSize(p.SpaceRequired);
  for (auto [folder, csidl] : {std::pair{&ProgramFilesDir, platform::kCsidlProgramFiles},
                               {&StartMenuProgramsDir, platform::kCsidlPrograms},
                               {&DesktopDir, platform::kCsidlDesktopDirectory},
                               {&CommonDesktopDir, platform::kCsidlCommonDesktopDirectory},
                               {&CommonProgramsDir, platform::kCsidlCommonPrograms}}) {
    *folder = SpecialFolder(csidl) + "\\";
  }

  if (!p.ExternalPak && info.IsUninstaller == 0) {
    std::string expected = LowerAscii(ExtractFileName(info.SetupExeName));
    std::string found = ExtractFileName(p.Args[0]);
    if (NormaliseExeName(LowerAscii(found)) != expected) {
      Fatal(Concat({kRenamed, info.SetupExeName, "\r\r", kFound, "\r", found}), kCaptionError);
      return kExitFatalMessage;
    }
  }
  return kContinue;
}

// Every "LANGUAGE-" entry, and the first language listing the system's.
void ChooseLanguage(TProgram& p) {
  TPak& pak = *p.SetupPak;
  uint32_t size = 0;
  std::string name;
  for (std::optional<TBytes> data = pak.FindFirst(0, size, true, name); data;
       data = pak.FindNext(0, size, true, name)) {
    if (SameTextAscii(std::string_view(name).substr(0, 9), kLanguagePrefix))
      p.Languages.AddLanguage(data->data(), static_cast<uint32_t>(data->size()));
  }
  int32_t chosen = p.Languages.FindByLangID(p.LangID);
  p.Languages.CurrentIndex = chosen < 0 ? 0 : chosen;
}

// A setup's install directory: from the registry where the setup information
// names a key, and the free space of its drive.
int FindInstallDir(TProgram& p) {
  TSetupInfo& info = p.SetupInfoFile.Info;
  if (info.IsUninstaller != 0) return kContinue;
  const TREGKEY& key = info.InstallDirRegKey;
  if (p.InstallDirGiven) {
    // The command line's directory stands above the setup's and the registry's.
    info.InstallDir = p.InstallDirSwitch;
    p.FreeSpaceOf(info.InstallDir);
  } else if (!key.Key.empty()) {
    // A value missing or empty reads as none, as a missing key does (an
    // uninstall removes the value and leaves its key): a setup with a
    // directory of its own installs there again; a patch, which has none,
    // needs the value.
    std::string found;
    SetupRegistry->SetRoot(RootKeyOf(key.HKEY));
    if (SetupRegistry->OpenKey(key.Path, false)) {
      SetupRegistry->ReadString(key.Key, found);
      SetupRegistry->CloseKey();
    }
    if (!found.empty()) {
      info.InstallDir = found;
      p.FreeSpaceOf(info.InstallDir);
    } else if (info.InstallDir.empty()) {
      Fatal(kRegistryKeyNotFound, kCaptionError);
      return kExitFatalMessage;
    }
  } else {
    if (info.InstallDir.empty()) {
      Fatal(kRegistryKeyNotFound, kCaptionError);
      return kExitFatalMessage;
    }
    p.FreeSpaceOf(info.InstallDir);
  }
  return kContinue;
}

int Run(TProgram& p, TSetupObserver* observer, TWizardRunner wizard) {
  int status = PrepareProgram(p);
  if (status != kContinue) return status;
  if (wizard) return wizard(p, observer);
  p.CloseVerifyWindow();
  return RunRoad(p, observer);
}

}  // namespace

int PrepareProgram(TProgram& p) {
  p.LangID = platform::DefaultLanguageId();
  uint64_t groupedTotal = 0;
  int status = OpenAndVerify(p, groupedTotal);
  if (status != kContinue) return status;
  CDDrive = FirstCDDrive();
  p.SpaceRequired = groupedTotal;
  p.SpaceRequiredText = FormatSize(p.SpaceRequired);
  if ((status = Load(p)) != kContinue) return status;
  ChooseLanguage(p);
  if ((status = FindInstallDir(p)) != kContinue) return status;
  if (p.SetupInfoFile.Info.IsUninstaller == 0 && !p.VerifyFailed) RollBackUnfinishedRun(p);
  return p.VerifyFailed ? kExitFatalMessage : kContinue;
}

uint64_t SpaceRequiredFor(const TPak& Pak, const TCompLines& Lines, const TCommandList& Commands) {
  // Element g tells whether group g is a patch group, counted at stored size.
  std::vector<bool> groupUsesStoredSize(1, false);
  for (const TCompLine& line : Lines.Lines) {
    const TCommandClass* command = Commands.ForNumber(line.Command);
    if (command && command->GroupKind() != kGroupNone)
      groupUsesStoredSize.push_back(command->GroupKind() == kGroupPatch);
  }
  // Summed in 64 bits: a game of several GiB needs every byte counted.
  uint64_t required = 0;
  for (const TPakFile& e : Pak.Entries) {
    if (e.Group == 0 || e.Group >= groupUsesStoredSize.size()) continue;
    required += groupUsesStoredSize[e.Group] ? e.ReadSize() : e.OrigSize;
  }
  return required;
}

std::string NormaliseExeName(const std::string& Found) {
  auto pass = [](const std::string& in, char open, char close) {
    std::string out;
    size_t i = 0;
    while (i < in.size()) {
      size_t start = in.find(open, i);
      if (start == std::string::npos) {
        out += in.substr(i);
        break;
      }
      out += in.substr(i, start - i);
      size_t end = in.find(close, start + 1);
      if (end == std::string::npos) {
        out += in.substr(start);
        break;
      }
      std::string inside = in.substr(start + 1, end - start - 1);
      if (inside.find_first_not_of("123456789") != std::string::npos) out += in.substr(start, end - start + 1);
      i = end + 1;
    }
    return out;
  };
  return pass(pass(Found, '(', ')'), '[', ']');
}

void ReadSwitches(TProgram& Program, const std::string& CommandLine) {
  const std::vector<std::string>& args = Program.Args;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (SameTextAscii(arg, kSilentSwitch)) {
      Program.Unattended = true;
    } else if (StartsWithText(arg, kLogSwitch)) {
      Program.LogPath = arg.substr(sizeof kLogSwitch - 1);
    } else if (StartsWithText(arg, kDirSwitch)) {
      // The last switch: the rest of the command line, blanks and all, as
      // the system gave it when it can tell, else the arguments joined.
      std::string dir;
      size_t at = std::string::npos;
      if (!CommandLine.empty()) {
        // Past the program's name, which may be quoted.
        size_t pos = CommandLine[0] == '"' ? CommandLine.find('"', 1) : CommandLine.find_first_of(" \t");
        std::string upper = UpperAscii(CommandLine);
        for (; pos != std::string::npos; ++pos) {
          pos = upper.find(kDirSwitch, pos);
          if (pos == std::string::npos || upper[pos - 1] == ' ' || upper[pos - 1] == '\t') break;
        }
        at = pos;
      }
      if (at != std::string::npos) {
        dir = CommandLine.substr(at + sizeof kDirSwitch - 1);
      } else {
        dir = arg.substr(sizeof kDirSwitch - 1);
        for (size_t j = i + 1; j < args.size(); ++j) dir += " " + args[j];
      }
      // Blanks around it are the command line's, not the path's.
      size_t begin = dir.find_first_not_of(" \t");
      size_t end = dir.find_last_not_of(" \t");
      Program.InstallDirSwitch = begin == std::string::npos ? std::string() : dir.substr(begin, end - begin + 1);
      Program.InstallDirGiven = !Program.InstallDirSwitch.empty();
      break;
    }
  }
}

int RunProgram(const std::vector<std::string>& Args, TSetupObserver* Observer, TWizardRunner Wizard) {
  TProgram program;
  program.Args = Args.empty() ? std::vector<std::string>{platform::ExecutablePath()} : Args;
  ReadSwitches(program, platform::CommandLine());
  TLoggedPrompt prompt(Prompt(), program);
  TPromptScope promptScope(prompt);
  if (!program.LogPath.empty() && !OpenRunLog(program.LogPath)) {
    Fatal(Concat({kLogUnwritable, program.LogPath, " (", platform::DescribeError(platform::LastError()), ")"}),
          kCaptionError);
    return kExitFatalMessage;
  }
  std::string commandLine = program.Args[0];
  for (size_t i = 1; i < program.Args.size(); ++i) commandLine += " " + program.Args[i];
  LogLine("Start", commandLine);
  TLoggedObserver observer(Observer);
  int status;
  try {
    status = Run(program, &observer, program.Unattended ? nullptr : Wizard);
  } catch (const std::exception& e) {
    status = kExitErrorLog;
    try {
      WriteErrorLog(e.what(), "", program.Report());
    } catch (const std::exception& f) {
      // The log itself could not be written; the exit status still tells.
      LogLine("Error", Concat({e.what(), " (no error log: ", f.what(), ")"}));
    }
  }
  LogLine("End", Concat({"exit code ", DecimalText(static_cast<uint32_t>(status))}));
  CloseRunLog();
  return status;
}
