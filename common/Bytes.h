#pragma once

#include <cstdint>
#include <vector>

#include "platform/Platform.h"

// A block of bytes owned by whoever holds it.
using TBytes = std::vector<uint8_t>;
using platform::WideString;

// Little-endian fields in a byte buffer.
inline uint16_t GetU16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
inline uint32_t GetU32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) | (static_cast<uint32_t>(P[2]) << 16) |
         (static_cast<uint32_t>(P[3]) << 24);
}
inline void PutU16(uint8_t* P, uint16_t Value) {
  P[0] = static_cast<uint8_t>(Value);
  P[1] = static_cast<uint8_t>(Value >> 8);
}
inline void PutU32(uint8_t* P, uint32_t Value) {
  for (int i = 0; i < 4; ++i) P[i] = static_cast<uint8_t>(Value >> (8 * i));
}
inline uint64_t GetU64(const uint8_t* P) { return GetU32(P) | (static_cast<uint64_t>(GetU32(P + 4)) << 32); }
inline void PutU64(uint8_t* P, uint64_t Value) {
  PutU32(P, static_cast<uint32_t>(Value));
  PutU32(P + 4, static_cast<uint32_t>(Value >> 32));
}
