// JPEG pictures decoded by the system (OLE's picture object), so a setup
// carries no JPEG decoder of its own.
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstring>

#include "platform/Shell.h"
#include "platform/Widgets.h"
#include "platform/win32/Win32Common.h"

namespace platform {

namespace {

// IPicture, defined here so that the program does not link the whole table
// of system GUIDs.
const GUID kIidPicture = {0x7BF80980, 0xBF32, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}};

// The frame's size from the first start-of-frame marker, read before the
// system decodes anything: the markers from the start of the image up to the
// frame follow each other directly, each with its length.
bool JpegFrameSize(const uint8_t* Data, size_t Size, uint32_t& Width, uint32_t& Height) {
  if (Size < 4 || Data[0] != 0xFF || Data[1] != 0xD8) return false;
  size_t at = 2;
  while (at + 4 <= Size) {
    if (Data[at] != 0xFF) return false;
    uint8_t marker = Data[at + 1];
    if (marker == 0xFF) {  // a fill byte
      ++at;
      continue;
    }
    at += 2;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;    // no length
    if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA) return false;  // no frame before the scan
    size_t length = static_cast<size_t>(Data[at] << 8 | Data[at + 1]);
    if (length < 2 || length > Size - at) return false;
    bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (length < 7) return false;
      Height = static_cast<uint32_t>(Data[at + 3] << 8 | Data[at + 4]);
      Width = static_cast<uint32_t>(Data[at + 5] << 8 | Data[at + 6]);
      return Width != 0 && Height != 0;
    }
    at += length;
  }
  return false;
}

// The picture object's bitmap as 32-bit pixels, rows top to bottom.
bool ReadBitmap(IPicture& Loaded, Picture& Image) {
  SHORT type = 0;
  OLE_HANDLE handle = 0;
  BITMAP bitmap;
  if (FAILED(Loaded.get_Type(&type)) || type != PICTYPE_BITMAP || FAILED(Loaded.get_Handle(&handle))) return false;
  HBITMAP source = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
  if (!::GetObjectW(source, sizeof(bitmap), &bitmap) || bitmap.bmWidth <= 0 || bitmap.bmHeight <= 0 ||
      static_cast<uint64_t>(bitmap.bmWidth) * static_cast<uint64_t>(bitmap.bmHeight) > kMaxPicturePixels) {
    return false;
  }
  BITMAPINFO info = win32::TopDownBitmapInfo(bitmap.bmWidth, bitmap.bmHeight);
  Image.Width = static_cast<uint32_t>(bitmap.bmWidth);
  Image.Height = static_cast<uint32_t>(bitmap.bmHeight);
  Image.Pixels.resize(static_cast<size_t>(Image.Width) * Image.Height);
  HDC screen = ::GetDC(nullptr);
  int rows = ::GetDIBits(screen, source, 0, Image.Height, Image.Pixels.data(), &info, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, screen);
  if (rows != bitmap.bmHeight) return false;
  // Blue, green, red and a spare byte in memory: 0x00RRGGBB once the spare is cleared.
  for (uint32_t& pixel : Image.Pixels) pixel &= 0xFFFFFF;
  return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* Data, size_t Size, Picture& Image, std::string& Error) {
  Image = Picture{};
  uint32_t width = 0, height = 0;
  if (!Data || Size == 0 || Size > 0x7FFFFFFF) return Error = "no JPEG data", false;
  if (!JpegFrameSize(Data, Size, width, height))
    return Error = "not a JPEG file, or its frame header is damaged", false;
  if (static_cast<uint64_t>(width) * height > kMaxPicturePixels) {
    return Error = PictureTooLarge(width, height), false;
  }
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, Size);
  void* copy = memory ? ::GlobalLock(memory) : nullptr;
  if (!copy) {
    if (memory) ::GlobalFree(memory);
    return Error = "not enough memory for the picture", false;
  }
  std::memcpy(copy, Data, Size);
  ::GlobalUnlock(memory);
  // The system's decoder may be a COM object: COM is entered for the call
  // and left again (a thread already in COM only counts up and down).
  ComScope com;
  IStream* stream = nullptr;
  IPicture* loaded = nullptr;
  bool ok = false;
  if (SUCCEEDED(::CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    memory = nullptr;  // the stream owns it now
    if (SUCCEEDED(
            ::OleLoadPicture(stream, static_cast<LONG>(Size), FALSE, kIidPicture, reinterpret_cast<void**>(&loaded))) &&
        loaded) {
      ok = ReadBitmap(*loaded, Image);
      loaded->Release();
    }
    stream->Release();
  }
  if (memory) ::GlobalFree(memory);
  if (!ok) {
    Image = Picture{};
    return Error = "damaged or unsupported JPEG data: the system cannot decode it", false;
  }
  return true;
}

}  // namespace platform
