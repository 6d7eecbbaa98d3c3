// The builder's compression: zlib streams made by libdeflate, which the
// setup's zlib inflates like its own, at less than half of zlib's time for a
// smaller output. The setup itself keeps zlib for what it writes.
#pragma once

#include <cstdint>

#include "package/ZUI_PakFile.h"

constexpr int kDefaultLevel = 9;
constexpr int kMinLevel = 1;
constexpr int kMaxLevel = 12;  // the smallest setups, at about three times the time of 9

// The memory one compressor of Level takes (libdeflate 1.14: 0.2 MB at level
// 1, 0.7 MB at 9, 9 MB from 10 on, where it searches for the best parse).
uint64_t CompressorBytes(int Level);

// A zlib stream of Data at Level (kMinLevel to kMaxLevel) made by libdeflate,
// for MakeStoredForm: the same bytes on every platform and thread. Raises
// ESetupError when the compressor cannot be made (memory).
bool CompressWithLibdeflate(const uint8_t* Data, uint32_t Size, int Level, TBytes& Out);

// The compressor and its version ("libdeflate 1.14"): part of what decides
// the bytes it makes.
const char* CompressorName();
// The Adler-32 of Size bytes of Data (libdeflate's).
uint32_t Adler32(const uint8_t* Data, size_t Size);

// The stored form of Data with the builder's compression at Level.
inline TStoredForm MakeStoredFormAtLevel(const uint8_t* Data, uint32_t Size, int Level) {
  return MakeStoredForm(Data, Size, CompressWithLibdeflate, Level);
}
