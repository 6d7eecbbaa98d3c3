// The script commands (35), registered in the order that gives each its
// number. A command that cannot do what its line asks notes it through
// TScriptState::NoteFailure (the rule is written there) and the script goes on;
// only "failure" and the patch commands' errors stop a run.
#pragma once

#include <string>

#include "package/ZUI_CommandList.h"

// The fixed 244-digit key that scrambles the password argument of "zupupdate"
// and "zupofficial" in the compiled lines; the compile step and the run time
// share it.
extern const char* const kPasswordKey;

// Path with "$CDDRIVE" replaced by the root of the first CD-ROM drive that
// holds the file; unchanged when none does or the path has no such field.
std::string FindOnCDDrives(const std::string& Path);

// Creates one object of each command class and adds them to List in
// registration order (1 "goto" .. 32 "execute", then "version", "publisher", "url").
void RegisterCommands(TCommandList& List);
