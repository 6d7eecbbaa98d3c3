// What the fuzz targets share: a scratch folder of the process (also the
// emulated machine's root on the host), inputs written to files there, and
// the round trip of a record type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "common/Bytes.h"
#include "common/Exceptions.h"
#include "common/Prompt.h"

// The scratch folder, a native path ending without "/", made on first use.
const std::string& FuzzDir();
// Writes Size bytes to FuzzDir()/Name and returns its path.
std::string WriteInput(const std::string& Name, const uint8_t* Data, size_t Size);
// Writes a package FuzzDir()/File whose group-0 entries Names all hold the
// input, and returns its path (for targets that read entries by name).
std::string PackInput(const std::string& File, std::initializer_list<const char*> Names, const uint8_t* Data,
                      size_t Size);

// Message boxes shown to nobody: OK or Cancel as the first button answers,
// the fatal box returns.
struct TSilentPrompt : TPrompt {
  int Show(const std::string&, const std::string&, uint32_t Flags) override { return (Flags & 0x0F) == 5 ? 2 : 1; }
  int ShowWide(const WideString&, const WideString&, uint32_t Flags) override { return (Flags & 0x0F) == 5 ? 2 : 1; }
  void FatalAppExit(const std::string&) override {}
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);

// A record type with LoadFromBuffer and SaveToBytes: what reads without an
// error must be written back and read again to the same bytes.
template <class TRecord>
int RoundTripRecord(const uint8_t* Data, size_t Size) {
  TRecord first;
  try {
    first.LoadFromBuffer(Data, static_cast<uint32_t>(Size));
  } catch (const ESetupError&) {
    return 0;
  }
  TBytes again = first.SaveToBytes();
  TRecord second;
  second.LoadFromBuffer(again.data(), static_cast<uint32_t>(again.size()));
  if (second.SaveToBytes() != again) __builtin_trap();
  return 0;
}
