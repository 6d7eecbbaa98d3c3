// Helpers both implementations of the seam share; not for the layers above.
#pragma once

#include <string>
#include <vector>

#include "platform/Files.h"

namespace platform::shared {

// "A\\B\\", "\A\B" and "A\B" name the same registry key: doubled, leading and
// trailing backslashes go.
std::string NormaliseKeyPath(const std::string& Path);

// The children of a folder-tree node, as folder paths ending in "\": the
// logical drives for "My Computer" (Drives), else the subfolders of Path in
// name order without regard to ASCII case.
std::vector<std::string> FolderTreeChildren(const std::string& Path, bool Drives);

// The roots of the WriteConfinement objects alive now, as given.
std::vector<std::string> ConfinementRoots();

// Fills in the programs that hold each of Busy's files, where the system can
// tell (the Restart Manager; the emulated machine's table).
void NameHolders(std::vector<platform::FileInUse>& Busy);

}  // namespace platform::shared
