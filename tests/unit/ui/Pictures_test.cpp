// Windows bitmaps in every form Windows reads, against what an independent
// writer (ImageMagick) says each holds.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ui/SE_Parser.h"

namespace {

std::string DataFile(const std::string& Name) {
  std::ifstream in(std::string(WIZPAK_TEST_DATA_DIR) + "/bitmaps/" + Name, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool Decode(const std::string& Bytes, platform::Picture& Image, std::string& Error) {
  return DecodePicture("picture.bmp", reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size(), Image, Error);
}

}  // namespace

// RLE8, the 12-byte core header at 4, 8 and 24 bits, 16-bit bit fields (5-6-5
// and 5-5-5, masks in a long header and after a short one) and 32-bit ones:
// each pixel as ImageMagick's own reading of the file, written as a plain
// 24-bit bitmap, has it.
TEST(Pictures, BitmapsAsAnIndependentWriterWroteThem) {
  for (const char* name :
       {"rle8", "core4", "core8", "core24", "bitfields565", "bitfields555", "bitfields565-v3", "bitfields8888"}) {
    SCOPED_TRACE(name);
    std::string bytes = DataFile(std::string(name) + ".bmp");
    ASSERT_GT(bytes.size(), 14u);
    platform::Picture image, truth;
    std::string error;
    ASSERT_TRUE(Decode(bytes, image, error)) << error;
    ASSERT_TRUE(Decode(DataFile(std::string(name) + ".truth"), truth, error)) << error;
    ASSERT_EQ(image.Width, 19u);
    ASSERT_EQ(image.Height, 9u);
    ASSERT_EQ(image.Pixels.size(), truth.Pixels.size());
    int off = 0;
    for (size_t i = 0; i < image.Pixels.size(); ++i) {
      for (int shift : {0, 8, 16}) {
        int a = static_cast<int>(image.Pixels[i] >> shift & 0xFF),
            b = static_cast<int>(truth.Pixels[i] >> shift & 0xFF);
        if (std::abs(a - b) > 1) ++off;
      }
    }
    EXPECT_EQ(off, 0);
  }
}

// RLE4 by hand: a run of alternating indexes, an absolute run of three
// (padded to a 16-bit boundary), the end of a line, a move, the end of the picture; pixels
// the data skips keep index 0. A run past the row is cut, never written out
// of the picture.
TEST(Pictures, Rle4AndItsEscapes) {
  std::string palette;
  for (int i = 0; i < 16; ++i) palette += std::string{static_cast<char>(i), static_cast<char>(i * 2), '\0', '\0'};
  const std::string data("\x03\x12\x00\x03\x34\x50\x00\x00\x00\x02\x02\x00\x02\x55\x20\x77\x00\x01", 18);
  std::string info("\x28\0\0\0\x06\0\0\0\x02\0\0\0\x01\0\x04\0\x02\0\0\0", 20);
  info += std::string(12, '\0') + std::string("\x10\0\0\0", 4) + std::string(4, '\0');
  std::string file = "BM" + std::string(8, '\0') + std::string("\x76\0\0\0", 4) + info + palette + data;
  platform::Picture image;
  std::string error;
  ASSERT_TRUE(Decode(file, image, error)) << error;
  ASSERT_EQ(image.Width, 6u);
  ASSERT_EQ(image.Height, 2u);
  auto index = [](uint32_t pixel) { return static_cast<int>(pixel & 0xFF); };  // blue = index
  std::vector<int> top, bottom;
  for (int x = 0; x < 6; ++x) top.push_back(index(image.Pixels[x])), bottom.push_back(index(image.Pixels[6 + x]));
  EXPECT_EQ(bottom, (std::vector<int>{1, 2, 1, 3, 4, 5}));
  EXPECT_EQ(top, (std::vector<int>{0, 0, 5, 5, 7, 7}));

  // Compression that does not fit the pixels, and JPEG inside a bitmap.
  std::string wrong = file;
  wrong[14 + 14] = 8;  // RLE4 data said to be 8 bits a pixel
  EXPECT_FALSE(Decode(wrong, image, error));
  std::string jpeg = file;
  jpeg[14 + 16] = 4;
  EXPECT_FALSE(Decode(jpeg, image, error));
  EXPECT_NE(error.find("JPEG or PNG"), std::string::npos) << error;

  // A few bytes of runs may claim a picture of 8979 x 2304: refused before
  // anything that size is made (found by fuzzing).
  std::string giant = file;
  giant[14 + 4] = '\x13', giant[14 + 5] = '\x23', giant[14 + 8] = 0, giant[14 + 9] = 9;
  EXPECT_FALSE(Decode(giant, image, error));
  EXPECT_EQ(error, "picture of 8979x2304 pixels is not supported");
}
