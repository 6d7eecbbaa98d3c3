// JPEG pictures written by the tools and tests, encoded with libjpeg from
// 24-bit RGB (a setup decodes them through the platform's DecodeJpeg).
#pragma once

#include <cstdint>
#include <string>

#include "common/Bytes.h"

struct TRgbImage {
  uint32_t Width = 0;
  uint32_t Height = 0;
  TBytes Pixels;  // Width * Height * 3 bytes, rows top to bottom, R G B
};

// Encodes an image as a JPEG of the given quality (1-100), baseline or
// progressive.
bool EncodeJpeg(const TRgbImage& Image, int Quality, TBytes& Out, std::string& Error, bool Progressive = false);
