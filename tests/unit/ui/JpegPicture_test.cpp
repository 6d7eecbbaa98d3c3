#include "ui/JpegPicture.h"

#include <gtest/gtest.h>

#include <cstdlib>

// A picture made here with libjpeg's own encoder decodes to its size and,
// within JPEG's loss, its colours.
TEST(JpegPicture, EncodedPictureDecodes) {
  TRgbImage image;
  image.Width = 32;
  image.Height = 16;
  for (uint32_t y = 0; y < image.Height; ++y) {
    for (uint32_t x = 0; x < image.Width; ++x) {
      image.Pixels.push_back(static_cast<uint8_t>(x * 8));
      image.Pixels.push_back(static_cast<uint8_t>(y * 16));
      image.Pixels.push_back(128);
    }
  }
  TBytes jpeg;
  std::string error;
  ASSERT_TRUE(EncodeJpeg(image, 95, jpeg, error)) << error;
  ASSERT_GT(jpeg.size(), 2u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  TRgbImage back;
  ASSERT_TRUE(DecodeJpeg(jpeg.data(), jpeg.size(), back, error)) << error;
  EXPECT_EQ(back.Width, 32u);
  EXPECT_EQ(back.Height, 16u);
  ASSERT_EQ(back.Pixels.size(), image.Pixels.size());
  int worst = 0;
  for (size_t i = 0; i < image.Pixels.size(); ++i) worst = std::max(worst, std::abs(back.Pixels[i] - image.Pixels[i]));
  EXPECT_LT(worst, 24);
}

// Truncated or foreign data fails with a reason instead of crashing.
TEST(JpegPicture, BadDataIsRefused) {
  TRgbImage image;
  image.Width = image.Height = 8;
  image.Pixels.assign(8 * 8 * 3, 200);
  TBytes jpeg;
  std::string error;
  ASSERT_TRUE(EncodeJpeg(image, 80, jpeg, error));
  TRgbImage back;
  EXPECT_FALSE(DecodeJpeg(jpeg.data(), 20, back, error));
  EXPECT_FALSE(error.empty());
  const uint8_t junk[] = "not a jpeg at all";
  EXPECT_FALSE(DecodeJpeg(junk, sizeof(junk), back, error));
  EXPECT_EQ(error, "not a JPEG file");
  // Any other message by its number.
  const uint8_t noFrame[] = {0xFF, 0xD8, 0xFF, 0xD9};  // a start, then the end
  EXPECT_FALSE(DecodeJpeg(noFrame, sizeof(noFrame), back, error));
  EXPECT_EQ(error.rfind("damaged or unsupported JPEG data, libjpeg message ", 0), 0u) << error;
  EXPECT_GT(error.size(), std::string("damaged or unsupported JPEG data, libjpeg message ").size());
  EXPECT_FALSE(DecodeJpeg(nullptr, 0, back, error));
  EXPECT_EQ(back.Width, 0u);

  // A few hundred bytes may claim a picture of 7031 x 8448: refused before
  // anything that size is allocated.
  TBytes giant = jpeg;
  for (size_t i = 0; i + 9 < giant.size(); ++i) {
    if (giant[i] == 0xFF && giant[i + 1] == 0xC0) {
      giant[i + 5] = 0x21, giant[i + 6] = 0x00, giant[i + 7] = 0x1B, giant[i + 8] = 0x77;
      break;
    }
  }
  EXPECT_FALSE(DecodeJpeg(giant.data(), giant.size(), back, error));
  EXPECT_EQ(error, "picture of 7031x8448 pixels is not supported");
}
