// The finaliser program's whole work (Windows only). An uninstaller starts
// the finaliser when it closes: it waits until the uninstaller's file can be
// deleted (its process has ended), deletes it, removes the install folder
// when that is empty, and removes itself. Written against the Windows API
// alone, without exceptions or the C++ library, so that the program stays a
// few kilobytes.
#pragma once

#include <cstdint>

namespace platform {

// The target is the program's argument: the uninstaller's path (surrounding
// quotes allowed), read from the wide command line so that any name comes
// through. Gives up waiting after TimeoutMs. Returns 0 when the uninstaller
// is gone, 1 when it could not be deleted, 2 for a missing or over-long path.
int RunFinaliser(uint32_t TimeoutMs);

}  // namespace platform
