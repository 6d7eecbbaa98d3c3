#include "common/ZUI_Global.h"

#include "common/Strings.h"

platform::Registry* SetupRegistry = nullptr;
std::string ProgramFilesDir;
std::string StartMenuProgramsDir;
std::string CDDrive;
TSetupObserver* SetupObserver = nullptr;
TInstallRecorder* InstallRecorder = nullptr;

namespace {
std::function<std::string()>& InstallDirSource() {
  static std::function<std::string()> source;
  return source;
}
}  // namespace

void SetInstallDirSource(std::function<std::string()> Source) { InstallDirSource() = std::move(Source); }

TPathFields CurrentPathFields() {
  TPathFields f;
  if (InstallDirSource()) f.InstallDir = InstallDirSource()();
  f.StartMenuProgramsDir = StartMenuProgramsDir;
  f.ProgramFilesDir = ProgramFilesDir;
  f.CDDrive = CDDrive;
  return f;
}

void InitialiseGlobals() {
  SetupObserver = nullptr;
  if (!SetupRegistry) {
    static platform::Registry registry;
    SetupRegistry = &registry;
  }
}

void ReadSystemFolders() {
  ProgramFilesDir = SpecialFolder(platform::kCsidlProgramFiles) + "\\";
  StartMenuProgramsDir = SpecialFolder(platform::kCsidlPrograms) + "\\";
  CDDrive = FirstCDDrive();
}
