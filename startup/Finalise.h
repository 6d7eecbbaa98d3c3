// The finaliser an uninstaller starts when it closes: it waits until the
// uninstaller's file can be deleted (its process has ended), deletes it,
// removes the install folder when that is empty, and removes itself.
#pragma once

#include <string>
#include <vector>

// Args[0] the finaliser's own path, Args[1] the uninstaller's path (quotes
// allowed). Gives up waiting after TimeoutMs. Returns 0 when the uninstaller
// was deleted, 1 otherwise, 2 for a missing argument.
int RunFinaliser(const std::vector<std::string>& Args, uint32_t TimeoutMs);
