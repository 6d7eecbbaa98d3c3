#include "ui/JpegPicture.h"

#include "common/Strings.h"
#include "ui/JpegErrors.h"

namespace {

constexpr long kMaxDecoderMemory = 256L * 1024 * 1024;

}  // namespace

bool DecodeJpeg(const uint8_t* Data, size_t Size, TRgbImage& Image, std::string& Error) {
  Image = TRgbImage{};
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
    Image = TRgbImage{};
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, const_cast<unsigned char*>(Data), static_cast<unsigned long>(Size));
  auto refuse = [&](uint32_t Width, uint32_t Height) {
    Error = "picture of " + DecimalText(Width) + "x" + DecimalText(Height) + " pixels is not supported";
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
  Image.Pixels.resize(static_cast<size_t>(Image.Width) * Image.Height * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = Image.Pixels.data() + static_cast<size_t>(info.output_scanline) * Image.Width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}
