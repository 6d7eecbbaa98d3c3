// The pictures the wizard shows come from the payload: JPEG decoding.
#include "fuzz/FuzzSupport.h"
#include "platform/Widgets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  platform::Picture image;
  std::string error;
  platform::DecodeJpeg(Data, Size, image, error);
  return 0;
}
