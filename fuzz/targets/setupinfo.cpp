// The "SetupInfo" record: read, written back and read again.
#include "fuzz/FuzzSupport.h"
#include "package/ZUI_SetupInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  return RoundTripRecord<TSetupInfoFile>(Data, Size);
}
