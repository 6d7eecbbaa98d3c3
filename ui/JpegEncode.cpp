// JPEG encoding, in an object of its own: the tools and the tests write
// pictures, a setup only reads them.
#include "platform/JpegErrors.h"
#include "ui/JpegPicture.h"

bool EncodeJpeg(const TRgbImage& Image, int Quality, TBytes& Out, std::string& Error, bool Progressive) {
  Out.clear();
  if (Image.Width == 0 || Image.Height == 0 ||
      Image.Pixels.size() != static_cast<size_t>(Image.Width) * Image.Height * 3) {
    Error = "image size does not match its pixels";
    return false;
  }
  jpeg_compress_struct info;
  JpegErrorManager err;
  info.err = JpegErrors(err);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(err.jump)) {
    Error = err.message;
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = Image.Width;
  info.image_height = Image.Height;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, Quality, TRUE);
  if (Progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row =
        const_cast<JSAMPROW>(Image.Pixels.data() + static_cast<size_t>(info.next_scanline) * Image.Width * 3);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  Out.assign(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return true;
}
