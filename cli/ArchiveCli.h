// wizpak archive: make, list, read and update the game's data archives.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

int RunArchiveCli(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);
