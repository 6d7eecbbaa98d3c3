// A consistency check of a VFS container, for tools and tests: the digest,
// every chain, the used-block count and the side file.
#pragma once

#include <string>

// The first problem found, or empty when the container is sound. Opening it
// first puts back what an interrupted update left; Restored tells.
std::string CheckVFSContainer(const std::string& FileName, bool* Restored = nullptr);
