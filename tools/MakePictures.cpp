// Draws the default page sets' pictures: Side.jpg (the 200 x 375 picture down
// the left of every page) and icon.ico (32 x 32, 32-bit). Usage:
//   wizpak-make-pictures FOLDER...   writes both into every FOLDER
#include <cmath>
#include <cstdio>
#include <string>

#include "common/BufferManager.h"
#include "ui/JpegPicture.h"

namespace {

// Deep blue at the top to near black at the bottom, with a soft diagonal
// band of light and a row of small squares near the foot.
TRgbImage SidePicture() {
  TRgbImage img;
  img.Width = 200;
  img.Height = 375;
  for (uint32_t y = 0; y < img.Height; ++y) {
    for (uint32_t x = 0; x < img.Width; ++x) {
      double t = static_cast<double>(y) / img.Height;
      double band = std::exp(-std::pow((static_cast<double>(x) + y * 0.6 - 230.0) / 40.0, 2));
      double r = 10 + 30 * (1 - t) + 90 * band;
      double g = 30 + 70 * (1 - t) + 110 * band;
      double b = 60 + 150 * (1 - t) + 120 * band;
      bool square = y >= 330 && y < 342 && x >= 20 && x < 180 && (x - 20) % 24 < 12;
      if (square) r = g = b = 230;
      img.Pixels.push_back(static_cast<uint8_t>(std::min(255.0, r)));
      img.Pixels.push_back(static_cast<uint8_t>(std::min(255.0, g)));
      img.Pixels.push_back(static_cast<uint8_t>(std::min(255.0, b)));
    }
  }
  return img;
}

// A 32 x 32 icon: a blue disc with a white down arrow, transparent corners.
TBytes Icon() {
  const int n = 32;
  TBytes pixels;  // BGRA, bottom row first
  for (int row = n - 1; row >= 0; --row) {
    for (int x = 0; x < n; ++x) {
      double dx = x - 15.5, dy = row - 15.5;
      bool disc = dx * dx + dy * dy <= 15.0 * 15.0;
      bool arrow = (std::abs(dx) < 3 && row > 6 && row < 20) || (row >= 18 && row < 26 && std::abs(dx) < 26 - row);
      uint8_t b = arrow ? 255 : 200, g = arrow ? 255 : 110, r = arrow ? 255 : 30, a = disc ? 255 : 0;
      pixels.insert(pixels.end(), {b, g, r, a});
    }
  }
  TBytes mask(n * 4, 0);  // AND mask: all opaque, the alpha channel decides
  TBytes image;
  WriteU32(image, 40);
  WriteU32(image, n);
  WriteU32(image, n * 2);
  WriteU16(image, 1);
  WriteU16(image, 32);
  for (int i = 0; i < 6; ++i) WriteU32(image, 0);
  image.insert(image.end(), pixels.begin(), pixels.end());
  image.insert(image.end(), mask.begin(), mask.end());

  TBytes ico;
  WriteU16(ico, 0);
  WriteU16(ico, 1);  // icon
  WriteU16(ico, 1);  // one image
  ico.push_back(n);
  ico.push_back(n);
  ico.push_back(0);
  ico.push_back(0);
  WriteU16(ico, 1);
  WriteU16(ico, 32);
  WriteU32(ico, static_cast<uint32_t>(image.size()));
  WriteU32(ico, 22);
  ico.insert(ico.end(), image.begin(), image.end());
  return ico;
}

bool WriteFile(const std::string& path, const TBytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: wizpak-make-pictures FOLDER...\n");
    return 2;
  }
  TBytes jpeg;
  std::string error;
  if (!EncodeJpeg(SidePicture(), 90, jpeg, error)) {
    std::fprintf(stderr, "wizpak-make-pictures: %s\n", error.c_str());
    return 1;
  }
  TBytes ico = Icon();
  for (int i = 1; i < argc; ++i) {
    std::string dir = argv[i];
    if (!WriteFile(dir + "/Side.jpg", jpeg) || !WriteFile(dir + "/icon.ico", ico)) {
      std::fprintf(stderr, "wizpak-make-pictures: cannot write into %s\n", dir.c_str());
      return 1;
    }
  }
  return 0;
}
