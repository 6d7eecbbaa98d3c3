#include "common/ZUI_Global.h"

platform::Registry* SetupRegistry = nullptr;
std::string ProgramFilesDir;
std::string StartMenuProgramsDir;
std::string CDDrive;
std::string DesktopDir;
std::string CommonDesktopDir;
std::string CommonProgramsDir;

namespace {
platform::Registry g_setupRegistry;
}  // namespace

void InitialiseGlobals() {
  if (!SetupRegistry) SetupRegistry = &g_setupRegistry;
}
