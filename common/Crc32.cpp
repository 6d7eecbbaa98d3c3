#include "common/Crc32.h"

#include <zlib.h>

uint32_t Crc32(const uint8_t* Data, size_t Size, uint32_t Start) {
  uLong crc = Start;
  // zlib takes at most a uInt per call.
  while (Size > 0) {
    uInt n = Size > 0x40000000 ? 0x40000000 : static_cast<uInt>(Size);
    crc = crc32(crc, Data, n);
    Data += n;
    Size -= n;
  }
  return static_cast<uint32_t>(crc);
}
