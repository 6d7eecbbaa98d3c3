// The error handling both JPEG directions share: libjpeg's errors end in a
// jump back to the caller with the library's message.
#pragma once

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

struct JpegErrorManager {
  jpeg_error_mgr base;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

inline void OnJpegError(j_common_ptr info) {
  auto* err = reinterpret_cast<JpegErrorManager*>(info->err);
  (*info->err->format_message)(info, err->message);
  longjmp(err->jump, 1);
}

inline void OnJpegMessage(j_common_ptr, int) {}
