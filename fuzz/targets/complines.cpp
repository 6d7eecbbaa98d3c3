// The "CompiledLines" record: read, written back and read again.
#include "common/Exceptions.h"
#include "fuzz/FuzzSupport.h"
#include "package/ZUI_CompLines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TCompLines lines;
  try {
    lines.LoadFromBuffer(Data, static_cast<uint32_t>(Size));
  } catch (const ESetupError&) {
    return 0;
  }
  TBytes again = lines.SaveToBytes();
  TCompLines second;
  second.LoadFromBuffer(again.data(), static_cast<uint32_t>(again.size()));
  if (second.SaveToBytes() != again) __builtin_trap();
  return 0;
}
