#pragma once

#include <cstdint>
#include <vector>

#include "platform/Platform.h"

// A block of bytes owned by whoever holds it.
using TBytes = std::vector<uint8_t>;
using platform::WideString;
