// JPEG pictures of the layouts, decoded with libjpeg into 24-bit RGB.
#pragma once

#include <cstdint>
#include <string>

#include "common/Bytes.h"

// A wizard page is 578 x 375: 16 megapixels (64 MB decoded) is far beyond any
// picture it shows, and keeps a few hundred bytes claiming a giant picture
// (a JPEG, a run-length bitmap) from taking hundreds of megabytes.
constexpr uint64_t kMaxPicturePixels = 16ull * 1024 * 1024;

struct TRgbImage {
  uint32_t Width = 0;
  uint32_t Height = 0;
  TBytes Pixels;  // Width * Height * 3 bytes, rows top to bottom, R G B
};

// Decodes a JPEG held in memory. False, with Error naming the reason, when the
// data is not a JPEG libjpeg can decode; never reads outside Data.
bool DecodeJpeg(const uint8_t* Data, size_t Size, TRgbImage& Image, std::string& Error);
// Encodes an image as a baseline JPEG of the given quality (1-100).
bool EncodeJpeg(const TRgbImage& Image, int Quality, TBytes& Out, std::string& Error);
