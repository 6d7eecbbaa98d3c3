// The uninstaller a setup leaves in its install directory: a copy of the
// running stub with the uninstall icon and a package of the setup's
// "UNINSTALL_" entries plus a "SetupInfo" flagged as uninstaller.
#pragma once

#include <string>

#include "common/Bytes.h"

struct TScriptState;

// Writes InstallDir\UninstallExeName. False when the uninstaller could not be
// written (the last error says why); a failed write leaves no partial file.
bool BuildUninstaller(TScriptState& State);
// The product's Uninstall key, as Add/Remove Programs reads it, with the
// digest of the saved install log. Written last, only once the log and the
// uninstaller are on the disk; a value not written is a failure of the run.
void RegisterProduct(TScriptState& State);
// Puts the first image of an icon file into icon resource 1 of an executable;
// false when the icon cannot be read or the executable's resources cannot be
// updated.
bool ChangeIcon(const std::string& IconFile, const std::string& Executable);
// The same with the icon file's bytes in memory.
bool ChangeIconFromImage(const TBytes& Icon, const std::string& Executable);
// Writes the package's "FINALISE.EXE" into a new folder of its own in the
// temporary folder and starts it with ProgramPath in double quotes, without
// waiting; nothing when the setup carries none. False, with the failure
// noted and nothing started, when it could not be written as it is or not be
// started.
bool LaunchFinaliser(TScriptState& State, const std::string& ProgramPath);
