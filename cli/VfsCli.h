// wizpak vfs: make, list, read, add to and check VFS containers.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

int RunVfsCli(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);
