// The "CompiledLines" record: read, written back and read again.
#include "fuzz/FuzzSupport.h"
#include "package/ZUI_CompLines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  return RoundTripRecord<TCompLines>(Data, Size);
}
