// The builder's compression: zlib streams made by libdeflate, which the
// setup's zlib inflates like its own, at less than half of zlib's time for a
// smaller output. The setup itself keeps zlib for what it writes.
#pragma once

#include <cstdint>

#include "package/ZUI_PakFile.h"

constexpr int kDefaultLevel = 9;
constexpr int kMinLevel = 1;
constexpr int kMaxLevel = 12;  // the smallest setups, at about three times the time of 9

// As MakeStoredForm, at Level (kMinLevel to kMaxLevel): the compressed form
// when it is not longer than the data and the entry is not large, else the
// data. The same bytes on every platform and thread. Raises ESetupError when
// the compressor cannot be made (memory).
TStoredForm MakeStoredFormAtLevel(const uint8_t* Data, uint32_t Size, int Level);
