// The CRC-32 of zlib (the checksum of package entries, archive members and
// undo journals), over buffers of any length.
#pragma once

#include <cstddef>
#include <cstdint>

// Continues Start (0 to begin) over Size bytes of Data.
uint32_t Crc32(const uint8_t* Data, size_t Size, uint32_t Start = 0);
