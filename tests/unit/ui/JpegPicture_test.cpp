// JPEG pictures: written with libjpeg's encoder, read back through the
// platform's decoder (libjpeg on the emulated machine, the system's own under
// Wine), which must hold to the same bounds.
#include "ui/JpegPicture.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/Widgets.h"

namespace {

TRgbImage Gradient(uint32_t Width, uint32_t Height) {
  TRgbImage image;
  image.Width = Width;
  image.Height = Height;
  for (uint32_t y = 0; y < Height; ++y) {
    for (uint32_t x = 0; x < Width; ++x) {
      image.Pixels.push_back(static_cast<uint8_t>(x * 8));
      image.Pixels.push_back(static_cast<uint8_t>(y * 16));
      image.Pixels.push_back(128);
    }
  }
  return image;
}

// Where the first start-of-frame marker's segment begins.
size_t FrameAt(const TBytes& Jpeg) {
  for (size_t i = 0; i + 9 < Jpeg.size(); ++i) {
    if (Jpeg[i] == 0xFF && (Jpeg[i + 1] == 0xC0 || Jpeg[i + 1] == 0xC2)) return i;
  }
  return 0;
}

}  // namespace

// Baseline and progressive pictures decode to their size and, within JPEG's
// loss, their colours, whatever comes before the frame (segments of any
// length, fill bytes).
TEST(JpegPicture, EncodedPictureDecodes) {
  const TRgbImage image = Gradient(32, 16);
  for (bool progressive : {false, true}) {
    SCOPED_TRACE(progressive ? "progressive" : "baseline");
    TBytes jpeg;
    std::string error;
    ASSERT_TRUE(EncodeJpeg(image, 95, jpeg, error, progressive)) << error;
    ASSERT_GT(jpeg.size(), 2u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    EXPECT_EQ(jpeg[FrameAt(jpeg) + 1], progressive ? 0xC2 : 0xC0);
    // A long comment and two fill bytes after the start of the image.
    TBytes padded = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xFE, 0x01, 0x02};
    padded.resize(padded.size() + 0x100, 'c');
    padded.reserve(padded.size() + jpeg.size() - 2);
    for (size_t i = 2; i < jpeg.size(); ++i) padded.push_back(jpeg[i]);
    for (const TBytes* data : {&jpeg, &padded}) {
      platform::Picture back;
      ASSERT_TRUE(platform::DecodeJpeg(data->data(), data->size(), back, error)) << error;
      EXPECT_EQ(back.Width, 32u);
      EXPECT_EQ(back.Height, 16u);
      ASSERT_EQ(back.Pixels.size(), 32u * 16u);
      int worst = 0;
      for (size_t i = 0; i < back.Pixels.size(); ++i) {
        EXPECT_EQ(back.Pixels[i] >> 24, 0u);
        for (int channel = 0; channel < 3; ++channel) {
          int got = static_cast<int>(back.Pixels[i] >> (16 - 8 * channel) & 0xFF);
          worst = std::max(worst, std::abs(got - image.Pixels[i * 3 + channel]));
        }
      }
      EXPECT_LT(worst, 24);
    }
  }
}

// Truncated or foreign data fails with a reason instead of crashing, and a
// picture too large to show is refused by its frame's claim.
TEST(JpegPicture, BadDataIsRefused) {
  TRgbImage image;
  image.Width = image.Height = 8;
  image.Pixels.assign(8 * 8 * 3, 200);
  TBytes jpeg;
  std::string error;
  ASSERT_TRUE(EncodeJpeg(image, 80, jpeg, error));
  platform::Picture back;
  const uint8_t junk[] = "not a jpeg at all";
  const uint8_t noFrame[] = {0xFF, 0xD8, 0xFF, 0xD9};  // a start, then the end
  TBytes longSegment(jpeg.begin(), jpeg.begin() + 6);
  longSegment[4] = 0xFF;  // the first segment claims more than there is
  struct Case {
    const char* what;
    const uint8_t* data;
    size_t size;
  } cases[] = {{"cut in the header", jpeg.data(), 20},
               {"foreign", junk, sizeof(junk)},
               {"no frame", noFrame, sizeof(noFrame)},
               {"a segment past the end", longSegment.data(), longSegment.size()},
               {"nothing", nullptr, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    error.clear();
    back.Width = 1;
    EXPECT_FALSE(platform::DecodeJpeg(c.data, c.size, back, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(back.Empty());
  }

#ifndef _WIN32
  // libjpeg's messages: the few a picture meets in words, any other by its number.
  EXPECT_FALSE(platform::DecodeJpeg(junk, sizeof(junk), back, error));
  EXPECT_EQ(error, "not a JPEG file");
  const std::string numbered = "damaged or unsupported JPEG data, libjpeg message ";
  EXPECT_FALSE(platform::DecodeJpeg(noFrame, sizeof(noFrame), back, error));
  EXPECT_EQ(error.rfind(numbered, 0), 0u) << error;
  EXPECT_GT(error.size(), numbered.size());
#endif

  // A few hundred bytes may claim a picture of 7031 x 8448: refused before
  // anything that size is allocated.
  TBytes giant = jpeg;
  size_t frame = FrameAt(giant);
  ASSERT_NE(frame, 0u);
  giant[frame + 5] = 0x21, giant[frame + 6] = 0x00, giant[frame + 7] = 0x1B, giant[frame + 8] = 0x77;
  EXPECT_FALSE(platform::DecodeJpeg(giant.data(), giant.size(), back, error));
  EXPECT_EQ(error, "picture of 7031x8448 pixels is not supported");
}
