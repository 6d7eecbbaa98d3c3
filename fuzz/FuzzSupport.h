// What the fuzz targets share: a scratch folder of the process (also the
// emulated machine's root on the host) and inputs written to files there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The scratch folder, a native path ending without "/", made on first use.
const std::string& FuzzDir();
// Writes Size bytes to FuzzDir()/Name and returns its path.
std::string WriteInput(const std::string& Name, const uint8_t* Data, size_t Size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);
