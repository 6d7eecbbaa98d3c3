// A consistency check of a VFS container, for tools and tests: the digest,
// every chain, the used-block count and the side file.
#pragma once

#include <string>

// The first problem found, or empty when the container is sound.
std::string CheckVFSContainer(const std::string& FileName);
