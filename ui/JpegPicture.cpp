#include "ui/JpegPicture.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "common/Strings.h"

namespace {

constexpr uint64_t kMaxPixels = 64ull * 1024 * 1024;

struct ErrorManager {
  jpeg_error_mgr base;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr info) {
  auto* err = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, err->message);
  longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr, int) {}

}  // namespace

bool DecodeJpeg(const uint8_t* Data, size_t Size, TRgbImage& Image, std::string& Error) {
  Image = TRgbImage{};
  if (!Data || Size == 0 || Size > 0xFFFFFFFFu) {
    Error = "no JPEG data";
    return false;
  }
  jpeg_decompress_struct info;
  ErrorManager err;
  info.err = jpeg_std_error(&err.base);
  err.base.error_exit = OnError;
  err.base.emit_message = OnMessage;
  // Everything touched after setjmp and read after longjmp lives in Image.
  if (setjmp(err.jump)) {
    Error = err.message;
    jpeg_destroy_decompress(&info);
    Image = TRgbImage{};
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, const_cast<unsigned char*>(Data), static_cast<unsigned long>(Size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  if (static_cast<uint64_t>(info.output_width) * info.output_height > kMaxPixels || info.output_components != 3) {
    Error = "picture of " + DecimalText(info.output_width) + "x" + DecimalText(info.output_height) +
            " pixels is not supported";
    jpeg_destroy_decompress(&info);
    return false;
  }
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

bool EncodeJpeg(const TRgbImage& Image, int Quality, TBytes& Out, std::string& Error) {
  Out.clear();
  if (Image.Width == 0 || Image.Height == 0 ||
      Image.Pixels.size() != static_cast<size_t>(Image.Width) * Image.Height * 3) {
    Error = "image size does not match its pixels";
    return false;
  }
  jpeg_compress_struct info;
  ErrorManager err;
  info.err = jpeg_std_error(&err.base);
  err.base.error_exit = OnError;
  err.base.emit_message = OnMessage;
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
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(Image.Pixels.data() + static_cast<size_t>(info.next_scanline) * Image.Width * 3);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  Out.assign(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return true;
}
