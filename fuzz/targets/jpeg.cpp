// The pictures the wizard shows come from the payload: JPEG decoding.
#include "fuzz/FuzzSupport.h"
#include "ui/JpegPicture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TRgbImage image;
  std::string error;
  DecodeJpeg(Data, Size, image, error);
  return 0;
}
