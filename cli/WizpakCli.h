// The wizpak command line: verbs that inspect, check, unpack and pack setup
// packages. Returns the process exit status: 0 done, 1 failed, 2 bad usage.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

int RunWizpakCli(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);
