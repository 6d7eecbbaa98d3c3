// Pictures of the layouts: JPEG through libjpeg, Windows bitmaps and icons
// decoded here (a device-independent bitmap is a few fixed headers; Windows
// itself is not there on the host build), metafiles checked record by record
// here and played by the platform.
#include <algorithm>

#include "common/BufferManager.h"
#include "common/Strings.h"
#include "ui/JpegPicture.h"
#include "ui/Metafiles.h"
#include "ui/SE_Parser.h"

namespace {

constexpr uint32_t kMaxSide = 16384;

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// A device-independent bitmap: header, palette, pixels. IconHeight: the
// header's height covers the picture and its transparency mask.
bool DecodeDib(const uint8_t* Data, size_t Size, size_t PixelOffset, bool IconHeight, platform::Picture& Image,
               std::string& Error) {
  if (Size < 40) return Error = "bitmap header is cut short", false;
  uint32_t headerSize = Le32(Data);
  if (headerSize < 40 || headerSize > Size) return Error = "unsupported bitmap header", false;
  auto width = static_cast<int32_t>(Le32(Data + 4));
  auto height = static_cast<int32_t>(Le32(Data + 8));
  uint16_t bits = Le16(Data + 14);
  uint32_t compression = Le32(Data + 16);
  uint32_t colours = Le32(Data + 32);
  bool topDown = height < 0;
  uint32_t w = static_cast<uint32_t>(width),
           h = static_cast<uint32_t>(topDown ? -static_cast<int64_t>(height) : height);
  if (IconHeight) h /= 2;
  if (width <= 0 || h == 0 || w > kMaxSide || h > kMaxSide) return Error = "bitmap size out of range", false;
  if (compression != 0 && !(compression == 3 && (bits == 16 || bits == 32))) {
    return Error = "compressed bitmaps are not supported", false;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
    return Error = "bitmaps of " + DecimalText(bits) + " bits per pixel are not supported", false;
  }
  std::vector<uint32_t> palette;
  if (bits <= 8) {
    uint32_t count = colours ? colours : 1u << bits;
    if (count > 256 || headerSize + static_cast<size_t>(count) * 4 > Size)
      return Error = "bitmap palette is cut short", false;
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* q = Data + headerSize + i * 4;
      palette.push_back(static_cast<uint32_t>(q[2]) << 16 | q[1] << 8 | q[0]);
    }
    if (PixelOffset == 0) PixelOffset = headerSize + count * 4;
  } else if (PixelOffset == 0) {
    PixelOffset = headerSize + (compression == 3 && headerSize == 40 ? 12 : 0);
  }
  size_t stride = ((static_cast<size_t>(w) * bits + 31) / 32) * 4;
  if (PixelOffset > Size || stride * h > Size - PixelOffset) return Error = "bitmap pixels are cut short", false;
  Image.Width = w;
  Image.Height = h;
  Image.Pixels.assign(static_cast<size_t>(w) * h, 0);
  for (uint32_t row = 0; row < h; ++row) {
    const uint8_t* src = Data + PixelOffset + stride * (topDown ? row : h - 1 - row);
    uint32_t* dst = Image.Pixels.data() + static_cast<size_t>(row) * w;
    for (uint32_t x = 0; x < w; ++x) {
      if (bits >= 24) {
        const uint8_t* q = src + x * (bits / 8);
        dst[x] = static_cast<uint32_t>(q[2]) << 16 | q[1] << 8 | q[0];
      } else {
        uint32_t perByte = 8 / bits;
        uint32_t shift = (perByte - 1 - x % perByte) * bits;
        uint32_t index = (src[x / perByte] >> shift) & ((1u << bits) - 1);
        dst[x] = index < palette.size() ? palette[index] : 0;
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
    TRgbImage rgb;
    if (!DecodeJpeg(Data, Size, rgb, Error)) return false;
    Image.Width = rgb.Width;
    Image.Height = rgb.Height;
    Image.Pixels.resize(static_cast<size_t>(rgb.Width) * rgb.Height);
    for (size_t i = 0; i < Image.Pixels.size(); ++i) {
      const uint8_t* p = rgb.Pixels.data() + i * 3;
      Image.Pixels[i] = static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
    }
    return true;
  }
  if (ext == ".bmp") return DecodeBitmapFile(Data, Size, Image, Error);
  if (ext == ".ico") return DecodeIcon(Data, Size, Image, Error);
  if (ext == ".wmf" || ext == ".emf") {
    return CheckMetafile(Data, Size, ext == ".emf", Error) &&
           platform::DecodeMetafile(Data, Size, ext == ".emf", Image, Error);
  }
  return Error = "unknown picture format \"" + ext + "\"", false;
}
