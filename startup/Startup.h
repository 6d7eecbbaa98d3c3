// The program body of the setup, patch and uninstall runtime, shared by the
// Windows stub and the host runner. Returns the process exit status.
#pragma once

#include <string>
#include <vector>

// Args are the command-line arguments after the program name; an optional
// first argument names a package file to use instead of the executable's own.
int RunProgram(const std::vector<std::string>& Args);
