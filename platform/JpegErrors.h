// The error handling both JPEG directions share: libjpeg's errors end in a
// jump back to the caller with a message. libjpeg's own error manager
// (jpeg_std_error) carries the text of every message the library has, 4.7 KB
// in each setup; this one names the few a picture meets and numbers the rest.
#pragma once

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
// After jpeglib.h: the message codes.
#include <jerror.h>

struct JpegErrorManager {
  jpeg_error_mgr base;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

inline void FormatJpegMessage(j_common_ptr info, char* buffer) {
  const char* text;
  switch (info->err->msg_code) {
    case JERR_NO_SOI:
      text = "not a JPEG file";
      break;
    case JERR_INPUT_EOF:
    case JWRN_JPEG_EOF:
      text = "the JPEG data ends early";
      break;
    case JERR_OUT_OF_MEMORY:
      text = "not enough memory for the picture";
      break;
    case JERR_IMAGE_TOO_BIG:
      text = "the picture is too large";
      break;
    default:
      text = "damaged or unsupported JPEG data, libjpeg message ";
      break;
  }
  size_t n = 0;
  while (text[n] && n + 12 < JMSG_LENGTH_MAX) buffer[n] = text[n], ++n;
  if (text[n - 1] == ' ') {
    // The message's number, in decimal.
    char digits[12];
    size_t d = 0;
    for (unsigned code = static_cast<unsigned>(info->err->msg_code); d == 0 || code; code /= 10) {
      digits[d++] = static_cast<char>('0' + code % 10);
    }
    while (d) buffer[n++] = digits[--d];
  }
  buffer[n] = 0;
}

inline void OnJpegNothing(j_common_ptr) {}

inline void OnJpegReset(j_common_ptr info) {
  info->err->num_warnings = 0;
  info->err->msg_code = 0;
}

inline void OnJpegError(j_common_ptr info) {
  auto* err = reinterpret_cast<JpegErrorManager*>(info->err);
  (*info->err->format_message)(info, err->message);
  longjmp(err->jump, 1);
}

inline void OnJpegMessage(j_common_ptr, int) {}

// The error manager for one decoding or encoding: errors jump back to the
// setjmp of Err.jump.
inline jpeg_error_mgr* JpegErrors(JpegErrorManager& Err) {
  Err.base = jpeg_error_mgr{};
  Err.base.error_exit = OnJpegError;
  Err.base.emit_message = OnJpegMessage;
  Err.base.output_message = OnJpegNothing;
  Err.base.format_message = FormatJpegMessage;
  Err.base.reset_error_mgr = OnJpegReset;
  return &Err.base;
}
