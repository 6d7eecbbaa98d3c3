#include "ui/ZUI_Program.h"

#include "common/FileUtils.h"
#include "common/RunLog.h"
#include "platform/System.h"
#include "script/FilesInUse.h"

namespace {
constexpr uint16_t kStringSpaceUnknown = 38;
}  // namespace

TProgram::TProgram() {
  InitialiseGlobals();
  LanguageStrings.AddField("<%SETUPTITLE%>", &SetupInfoFile.Info.SetupName);
  LanguageStrings.AddField("<%SETUPSHORTTITLE%>", &SetupInfoFile.Info.SetupShortName);
  LanguageStrings.AddField("<%CHANGELOG%>", &SetupInfoFile.Info.Changelog);
  LanguageStrings.AddField("<%SPACEREQ%>", &SpaceRequiredText);
  LanguageStrings.AddField("<%SPACEAVA%>", &SpaceAvailableText);
  LanguageStrings.AddField("<%DEVICENAME%>", &RefusedDeviceName);
}

void TProgram::CloseVerifyWindow() {
  if (!VerifyWindow) return;
  // Shown long enough to be read: 500 ms from the end of the check, of
  // which loading the setup and building the wizard have taken their part.
  constexpr uint32_t kMinimumVerifyDisplayMs = 500;
  while (platform::TickCount() - VerifiedAt < kMinimumVerifyDisplayMs) platform::Sleep(10);
  VerifyWindow->Close();
  VerifyWindow.reset();
}

TPathFields TProgram::Fields() const {
  TPathFields f;
  f.InstallDir = SetupInfoFile.Info.InstallDir;
  f.StartMenuProgramsDir = StartMenuProgramsDir;
  f.ProgramFilesDir = ProgramFilesDir;
  f.CDDrive = CDDrive;
  f.DesktopDir = DesktopDir;
  f.CommonDesktopDir = CommonDesktopDir;
  f.CommonProgramsDir = CommonProgramsDir;
  return f;
}

TErrorReport TProgram::Report() const {
  TErrorReport r;
  r.SetupInfo = &SetupInfoFile;
  r.Trailer = SetupPak ? &SetupPak->Trailer : nullptr;
  if (!Args.empty()) r.Arguments = std::span<const std::string>(Args).subspan(1);
  r.Registry = SetupRegistry;
  r.Unattended = Unattended;
  return r;
}

void TProgram::FreeSpaceOf(const std::string& Dir) {
  if (Dir.empty()) return;
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(Dir[0])));
  if (letter < 'A' || letter > 'Z') return;
  uint64_t free = 0;
  SpaceKnown = platform::FreeBytes(std::string(1, letter) + ":\\", free);
  // A drive that cannot tell (a removable drive without its medium) shows
  // that, and counts as too small.
  SpaceAvailable = SpaceKnown ? free : 0;
  SpaceAvailableText =
      SpaceKnown ? FormatSize(free) : platform::WideToUtf8(Languages.GetStringOr(kStringSpaceUnknown, u"unknown"));
}

bool TProgram::SpaceEnough() const { return SpaceKnown && SpaceAvailable >= SpaceRequired; }

bool TProgram::DriveAcceptable(const std::string& Path) {
  platform::DriveType type = platform::GetDriveType(Path.substr(0, 3));
  return (type == platform::DriveType::kRemovable || type == platform::DriveType::kFixed ||
          type == platform::DriveType::kRemote) &&
         DevicePathReason(Path).empty();
}

WideString TProgram::InstallDirRefusal(const std::string& Path) {
  constexpr uint16_t kStringDeviceName = 31;
  constexpr uint16_t kStringDriveRefused = 32;
  RefusedDeviceName = DeviceNameIn(Path);
  if (!RefusedDeviceName.empty()) {
    return LanguageStrings.ExpandFields(Languages.GetStringOr(
        kStringDeviceName, u"Windows opens the name <%DEVICENAME%> as a device: choose another folder."));
  }
  if (DriveAcceptable(Path)) return {};
  return Languages.GetStringOr(
      kStringDriveRefused, u"Setup cannot install to this drive: choose a hard disk, a removable or a network drive.");
}

std::string TProgram::FilesHeld(TScriptState& State, bool Ask) {
  const bool uninstall = SetupInfoFile.Info.IsUninstaller == 1;
  std::vector<std::string> paths = uninstall ? FilesTheUninstallChanges(State) : FilesTheRunChanges(State, CommandList);
  std::vector<platform::FileInUse> busy;
  if (WaitForFilesInUse(State, paths, Ask, busy)) return {};
  std::string held = FilesInUseText(busy);
  LogLine("Files in use", held);
  return held;
}

void TProgram::PrepareScriptState(TScriptState& State, TSetupObserver* Observer) {
  State.Pak = SetupPak.get();
  State.SetupInfo = &SetupInfoFile;
  State.UninstallList = &UninstallList;
  State.Observer = Observer;
  State.Text = &Languages;
  State.Registry = SetupRegistry;
  State.StartMenuProgramsDir = StartMenuProgramsDir;
  State.ProgramFilesDir = ProgramFilesDir;
  State.CDDrive = CDDrive;
  State.DesktopDir = DesktopDir;
  State.CommonDesktopDir = CommonDesktopDir;
  State.CommonProgramsDir = CommonProgramsDir;
}
