#include "common/ZUI_Global.h"

platform::Registry* SetupRegistry = nullptr;
std::string ProgramFilesDir;
std::string StartMenuProgramsDir;
std::string CDDrive;

void InitialiseGlobals() {
  if (!SetupRegistry) {
    static platform::Registry registry;
    SetupRegistry = &registry;
  }
}
