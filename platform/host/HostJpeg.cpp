// JPEG pictures on the emulated machine, decoded with libjpeg.
#include "platform/JpegErrors.h"
#include "platform/Widgets.h"

#include <string>

namespace platform {

namespace {

constexpr long kMaxDecoderMemory = 256L * 1024 * 1024;

}  // namespace

bool DecodeJpeg(const uint8_t* Data, size_t Size, Picture& Image, std::string& Error) {
  Image = Picture{};
  if (!Data || Size == 0 || Size > 0xFFFFFFFFu) {
    Error = "no JPEG data";
    return false;
  }
  jpeg_decompress_struct info;
  JpegErrorManager err;
  info.err = JpegErrors(err);
  // Everything touched after setjmp and read after longjmp lives in Image.
  if (setjmp(err.jump)) {
    Error = err.message;
    jpeg_destroy_decompress(&info);
    Image = Picture{};
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, const_cast<unsigned char*>(Data), static_cast<unsigned long>(Size));
  auto refuse = [&](uint32_t Width, uint32_t Height) {
    Error = PictureTooLarge(Width, Height);
    jpeg_destroy_decompress(&info);
    return false;
  };
  jpeg_read_header(&info, TRUE);
  // The size is refused before the decoder starts: a progressive picture
  // makes it hold every coefficient of the whole picture at once.
  if (static_cast<uint64_t>(info.image_width) * info.image_height > kMaxPicturePixels) {
    return refuse(info.image_width, info.image_height);
  }
  // And the decoder's own buffers are bounded: past this it fails instead.
  info.mem->max_memory_to_use = kMaxDecoderMemory;
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  if (info.output_components != 3) return refuse(info.output_width, info.output_height);
  Image.Width = info.output_width;
  Image.Height = info.output_height;
  Image.Pixels.resize(static_cast<size_t>(Image.Width) * Image.Height);
  // Each row is read as R G B bytes into the front of its own pixels and
  // widened in place from the back: no buffer outlives a jump.
  while (info.output_scanline < info.output_height) {
    uint32_t* out = Image.Pixels.data() + static_cast<size_t>(info.output_scanline) * Image.Width;
    JSAMPROW row = reinterpret_cast<JSAMPROW>(out);
    jpeg_read_scanlines(&info, &row, 1);
    for (uint32_t x = Image.Width; x-- > 0;) {
      const JSAMPLE* p = row + x * 3;
      out[x] = static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace platform
