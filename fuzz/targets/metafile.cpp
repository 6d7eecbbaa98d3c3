// The pictures a layout names may be metafiles: the record check that stands
// before the system's player. The first byte chooses the kind ('E' an
// enhanced metafile, anything else a Windows one).
#include "fuzz/FuzzSupport.h"
#include "ui/Metafiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  std::string error;
  CheckMetafile(Data + 1, Size - 1, Data[0] == 'E', error);
  return 0;
}
