// The seam between the engine and an operating system. Everything above this
// folder calls only what is declared here; each target links exactly one
// implementation (win32/ on Windows, host/ on Linux, an emulated Windows machine).
//
// Paths are Windows paths ("C:\Games\X\data.pak") in UTF-8, as all text inside
// the program is (platform/Text.h). The host layer maps a path with a drive
// letter into its emulated machine and treats any other path as a native one.
#pragma once

// One header per service; this one brings them all.
#include "platform/Crypto.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/System.h"
#include "platform/Text.h"
