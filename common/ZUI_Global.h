// Program-wide objects and values. They are made by InitialiseGlobals, not by
// static constructors; code that can take them as arguments does, so tests
// build fresh ones.
#pragma once

#include <string>

#include "platform/Platform.h"

// The registry accessor every registry read and write of the program uses.
extern platform::Registry* SetupRegistry;

// Filled by start-up: CSIDL_PROGRAM_FILES and CSIDL_PROGRAMS, each with "\"
// appended (also to an empty result), and the first CD-ROM drive.
extern std::string ProgramFilesDir;
extern std::string StartMenuProgramsDir;
extern std::string CDDrive;
// The same for the user's desktop and every user's desktop and start menu.
extern std::string DesktopDir;
extern std::string CommonDesktopDir;
extern std::string CommonProgramsDir;

// Creates the program-wide objects. Idempotent.
void InitialiseGlobals();
