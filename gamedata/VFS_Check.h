// VFS work for tools and tests, not for the setup: a consistency check (the
// digest, every chain, the used-block count and the side file), an empty
// container, and an entry's bytes read back.
#pragma once

#include <string>

#include "gamedata/VFS_Unit.h"

// The first problem found, or empty when the container is sound. Opening it
// first puts back what an interrupted update left; Restored tells.
std::string CheckVFSContainer(const std::string& FileName, bool* Restored = nullptr);

// An entry's original bytes from its stored ones: the chunks inflated when
// the entry is compressed. Raises ESetupError for chunks that do not inflate
// to the entry's original size.
TBytes UnpackStoredData(const TVFSEntry& Entry, const TBytes& Stored);
// Writes an empty container: BlockCount free blocks, RootCount free slots.
void CreateEmptyContainer(const std::string& FileName, int32_t BlockSize, int32_t BlockCount, uint32_t RootCount,
                          const std::string& Signature);
