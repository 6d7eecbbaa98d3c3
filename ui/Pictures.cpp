// Pictures of the layouts: JPEG through the platform's decoder, Windows bitmaps and icons
// decoded here (a device-independent bitmap is a few fixed headers; Windows
// itself is not there on the host build), metafiles checked record by record
// here and played by the platform.
#include <algorithm>

#include "common/BufferManager.h"
#include "common/Strings.h"
#include "ui/Metafiles.h"
#include "ui/SE_Parser.h"

namespace {

constexpr uint32_t kMaxSide = 16384;

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// One colour channel of a bit-field pixel: where its mask sits, scaled to 8 bits.
struct TChannel {
  uint32_t Mask = 0;
  uint32_t Shift = 0;
  uint32_t Max = 0;
  explicit TChannel(uint32_t M) : Mask(M) {
    if (!Mask) return;
    while (!((Mask >> Shift) & 1)) ++Shift;
    Max = Mask >> Shift;
  }
  uint32_t Of(uint32_t Pixel) const { return Max ? (((Pixel & Mask) >> Shift) * 255 + Max / 2) / Max : 0; }
};

// Run-length coded pixels (RLE8, or RLE4 with two pixels a byte), the data's
// bottom row first, into Pixels (top row first) through Palette. Runs past a
// row or the picture are cut; pixels the data skips keep the colour of index 0.
void DecodeRle(const uint8_t* Src, size_t Size, uint32_t W, uint32_t H, bool Four, const std::vector<uint32_t>& Palette,
               std::vector<uint32_t>& Pixels) {
  auto colourOf = [&](uint32_t Index) { return Index < Palette.size() ? Palette[Index] : 0; };
  std::fill(Pixels.begin(), Pixels.end(), colourOf(0));
  uint32_t x = 0, y = 0;
  size_t i = 0;
  auto put = [&](uint8_t Index) {
    if (x < W && y < H) Pixels[static_cast<size_t>(H - 1 - y) * W + x] = colourOf(Index);
    ++x;
  };
  while (i + 1 < Size) {
    uint8_t count = Src[i], value = Src[i + 1];
    i += 2;
    if (count > 0) {
      // A run: the byte repeated (RLE4: its two halves in turn).
      for (uint32_t k = 0; k < count; ++k) put(Four ? static_cast<uint8_t>(k % 2 ? value & 15 : value >> 4) : value);
    } else if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      if (i + 1 >= Size) break;
      x += Src[i];
      y += Src[i + 1];
      i += 2;
    } else {
      // Absolute: that many pixels as they stand, padded to a 16-bit boundary.
      size_t bytes = Four ? (value + 1u) / 2 : value;
      if (i + bytes > Size) break;
      for (uint32_t k = 0; k < value; ++k) {
        uint8_t b = Src[i + (Four ? k / 2 : k)];
        put(Four ? static_cast<uint8_t>(k % 2 ? b & 15 : b >> 4) : b);
      }
      i += (bytes + 1) & ~static_cast<size_t>(1);
    }
  }
  // No end-of-bitmap mark: what came is shown, as Windows does.
}

// A device-independent bitmap: header (the 12-byte core header too), palette
// or bit-field masks, pixels (plain, RLE8 or RLE4). IconHeight: the header's
// height covers the picture and its transparency mask.
bool DecodeDib(const uint8_t* Data, size_t Size, size_t PixelOffset, bool IconHeight, platform::Picture& Image,
               std::string& Error) {
  constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;
  if (Size < 12) return Error = "bitmap header is cut short", false;
  const uint32_t headerSize = Le32(Data);
  const bool core = headerSize == 12;
  if ((!core && headerSize < 40) || headerSize > Size) return Error = "unsupported bitmap header", false;
  int64_t width = core ? Le16(Data + 4) : static_cast<int32_t>(Le32(Data + 4));
  int64_t height = core ? Le16(Data + 6) : static_cast<int32_t>(Le32(Data + 8));
  const uint16_t bits = Le16(Data + (core ? 10 : 14));
  const uint32_t compression = core ? kRgb : Le32(Data + 16);
  const uint32_t colours = core ? 0 : Le32(Data + 32);
  const bool topDown = height < 0;
  uint32_t w = static_cast<uint32_t>(std::max<int64_t>(width, 0));
  uint32_t h = static_cast<uint32_t>(topDown ? -height : height);
  if (IconHeight) h /= 2;
  if (width <= 0 || h == 0 || w > kMaxSide || h > kMaxSide) return Error = "bitmap size out of range", false;
  // Run-length data is not bounded by the picture (a move skips 255 rows in
  // four bytes): the picture's size is.
  if (static_cast<uint64_t>(w) * h > platform::kMaxPicturePixels) {
    return Error = platform::PictureTooLarge(w, h), false;
  }
  const bool rle = compression == kRle8 || compression == kRle4;
  const bool fields = compression == kBitFields || compression == kAlphaBitFields;
  if (compression > kBitFields && compression != kAlphaBitFields) {
    return Error = "bitmaps compressed as JPEG or PNG are not supported", false;
  }
  if ((compression == kRle8 && bits != 8) || (compression == kRle4 && bits != 4) ||
      (fields && bits != 16 && bits != 32) || (rle && topDown)) {
    return Error = "bitmap compression does not fit its pixels", false;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return Error = Concat({"bitmaps of ", DecimalText(bits), " bits per pixel are not supported"}), false;
  }
  // The masks: after a 40-byte header, in a longer one, or the defaults.
  size_t after = headerSize;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bits == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  if (fields) {
    const size_t at = headerSize >= 52 ? 40 : headerSize;
    if (at + 12 > Size) return Error = "bitmap colour masks are cut short", false;
    for (int c = 0; c < 3; ++c) masks[c] = Le32(Data + at + 4 * c);
    if (headerSize < 52) after += compression == kAlphaBitFields ? 16 : 12;
  }
  const TChannel red(masks[0]), green(masks[1]), blue(masks[2]);
  std::vector<uint32_t> palette;
  const size_t entry = core ? 3 : 4;
  if (bits <= 8) {
    uint32_t count = colours ? colours : 1u << bits;
    if (count > 256 || after + static_cast<size_t>(count) * entry > Size)
      return Error = "bitmap palette is cut short", false;
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* q = Data + after + i * entry;
      palette.push_back(static_cast<uint32_t>(q[2]) << 16 | q[1] << 8 | q[0]);
    }
    after += count * entry;
  } else if (colours <= 256) {
    after += static_cast<size_t>(colours) * entry;  // a palette for 256-colour screens, not used
  }
  if (PixelOffset == 0) PixelOffset = after;
  if (PixelOffset > Size) return Error = "bitmap pixels are cut short", false;
  auto colourOf = [&](uint32_t Index) { return Index < palette.size() ? palette[Index] : 0; };
  Image.Width = w;
  Image.Height = h;
  Image.Pixels.assign(static_cast<size_t>(w) * h, 0);
  if (rle) {
    DecodeRle(Data + PixelOffset, Size - PixelOffset, w, h, compression == kRle4, palette, Image.Pixels);
    return true;
  }
  size_t stride = ((static_cast<size_t>(w) * bits + 31) / 32) * 4;
  if (stride * h > Size - PixelOffset) return Error = "bitmap pixels are cut short", false;
  for (uint32_t row = 0; row < h; ++row) {
    const uint8_t* src = Data + PixelOffset + stride * (topDown ? row : h - 1 - row);
    uint32_t* dst = Image.Pixels.data() + static_cast<size_t>(row) * w;
    for (uint32_t x = 0; x < w; ++x) {
      if (bits == 24) {
        const uint8_t* q = src + x * 3;
        dst[x] = static_cast<uint32_t>(q[2]) << 16 | q[1] << 8 | q[0];
      } else if (bits >= 16) {
        uint32_t pixel = bits == 16 ? Le16(src + x * 2) : Le32(src + x * 4);
        dst[x] = red.Of(pixel) << 16 | green.Of(pixel) << 8 | blue.Of(pixel);
      } else {
        uint32_t perByte = 8 / bits;
        uint32_t shift = (perByte - 1 - x % perByte) * bits;
        dst[x] = colourOf((src[x / perByte] >> shift) & ((1u << bits) - 1));
      }
    }
  }
  return true;
}

bool DecodeBitmapFile(const uint8_t* Data, size_t Size, platform::Picture& Image, std::string& Error) {
  if (Size < 14 || Data[0] != 'B' || Data[1] != 'M') return Error = "not a Windows bitmap", false;
  uint32_t offset = Le32(Data + 10);
  if (offset < 14 || offset > Size) return Error = "bitmap pixel offset out of range", false;
  return DecodeDib(Data + 14, Size - 14, offset - 14, false, Image, Error);
}

// The largest image of an icon file that is a bitmap (PNG images are not
// decoded).
bool DecodeIcon(const uint8_t* Data, size_t Size, platform::Picture& Image, std::string& Error) {
  if (Size < 6 || Le16(Data) != 0 || Le16(Data + 2) != 1) return Error = "not an icon file", false;
  uint16_t count = Le16(Data + 4);
  if (count == 0 || 6 + static_cast<size_t>(count) * 16 > Size) return Error = "icon directory is cut short", false;
  int best = -1;
  uint32_t bestArea = 0;
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* e = Data + 6 + i * 16;
    uint32_t w = e[0] ? e[0] : 256, h = e[1] ? e[1] : 256;
    uint32_t size = Le32(e + 8), offset = Le32(e + 12);
    if (offset > Size || size > Size - offset || size < 40 || Le32(Data + offset) != 40) continue;
    if (w * h > bestArea) {
      bestArea = w * h;
      best = i;
    }
  }
  if (best < 0) return Error = "the icon holds no bitmap image", false;
  const uint8_t* e = Data + 6 + best * 16;
  return DecodeDib(Data + Le32(e + 12), Le32(e + 8), 0, true, Image, Error);
}

}  // namespace

bool DecodePicture(const std::string& Name, const uint8_t* Data, size_t Size, platform::Picture& Image,
                   std::string& Error) {
  std::string name = LowerAscii(Name);
  std::string ext =
      name.substr(std::min(name.size(), name.rfind('.') == std::string::npos ? name.size() : name.rfind('.')));
  if (ext == ".jpg" || ext == ".jpeg") {
    return platform::DecodeJpeg(Data, Size, Image, Error);
  }
  if (ext == ".bmp") return DecodeBitmapFile(Data, Size, Image, Error);
  if (ext == ".ico") return DecodeIcon(Data, Size, Image, Error);
  if (ext == ".wmf" || ext == ".emf") {
    return CheckMetafile(Data, Size, ext == ".emf", Error) &&
           platform::DecodeMetafile(Data, Size, ext == ".emf", Image, Error);
  }
  return Error = Concat({"unknown picture format \"", ext, "\""}), false;
}
