// The pictures the wizard shows come from the payload: Windows bitmap files.
#include "fuzz/FuzzSupport.h"
#include "ui/SE_Parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  platform::Picture image;
  std::string error;
  DecodePicture("side.bmp", Data, Size, image, error);
  return 0;
}
