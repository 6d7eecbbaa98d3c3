// Program-wide objects and values. They are made by InitialiseGlobals in a
// fixed order, not by static constructors; code that can take them as
// arguments does, so tests build fresh ones.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/Observers.h"
#include "common/PathFields.h"
#include "platform/Platform.h"

// The registry accessor every registry read and write of the program uses.
extern platform::Registry* SetupRegistry;

// Filled by start-up: CSIDL_PROGRAM_FILES and CSIDL_PROGRAMS, each with "\"
// appended (also to an empty result), and the first CD-ROM drive.
extern std::string ProgramFilesDir;
extern std::string StartMenuProgramsDir;
extern std::string CDDrive;

// Who watches the setup (null: nothing is shown) and who records what it
// creates (null: nothing is recorded).
extern TSetupObserver* SetupObserver;
extern TInstallRecorder* InstallRecorder;

// The install directory comes from the setup information once it is loaded;
// its owner registers where to read it.
void SetInstallDirSource(std::function<std::string()> Source);
// The path fields as they stand now.
TPathFields CurrentPathFields();

// Creates the program-wide objects in their documented order. Idempotent.
void InitialiseGlobals();
// Fills ProgramFilesDir, StartMenuProgramsDir and CDDrive from the system.
void ReadSystemFolders();
