// The "SetupInfo" record: read, written back and read again.
#include "common/Exceptions.h"
#include "fuzz/FuzzSupport.h"
#include "package/ZUI_SetupInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TSetupInfoFile info;
  try {
    info.LoadFromBuffer(Data, static_cast<uint32_t>(Size));
  } catch (const ESetupError&) {
    return 0;
  }
  TBytes again = info.SaveToBytes();
  TSetupInfoFile second;
  second.LoadFromBuffer(again.data(), static_cast<uint32_t>(again.size()));
  if (second.SaveToBytes() != again) __builtin_trap();  // what was read must survive a round trip
  return 0;
}
