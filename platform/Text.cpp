#include "platform/Text.h"

#include <cstdint>

namespace platform {

std::string Concat(std::initializer_list<std::string_view> Pieces) {
  size_t size = 0;
  for (std::string_view piece : Pieces) size += piece.size();
  std::string out;
  out.reserve(size);
  for (std::string_view piece : Pieces) out.append(piece.data(), piece.size());
  return out;
}

namespace {

// Windows-1252 in 0x80..0x9F; every other byte is the code point of its value.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t Cp1252Char(uint8_t b) { return (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : b; }

// The Windows-1252 byte of a code point, or -1 when it has none.
int Cp1252Byte(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int k = 0; k < 32; ++k) {
    if (kCp1252High[k] == cp) return 0x80 + k;
  }
  return -1;
}

// The code point of the UTF-8 sequence at Text[i] and its length, or 0 for
// a length when the bytes there are not UTF-8 (overlong forms and surrogates
// included).
uint32_t Decode(const std::string& Text, size_t i, size_t& Length) {
  auto c = static_cast<uint8_t>(Text[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  Length = 0;
  if (n == 0 || i + n > Text.size()) return 0;
  uint32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
  for (size_t k = 1; k < n; ++k) {
    auto t = static_cast<uint8_t>(Text[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (t & 0x3F);
  }
  constexpr uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return 0;
  Length = n;
  return cp;
}

void AppendUtf8(std::string& Out, uint32_t cp) {
  if (cp < 0x80) {
    Out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    Out += static_cast<char>(0xC0 | (cp >> 6));
    Out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    Out += static_cast<char>(0xE0 | (cp >> 12));
    Out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (cp >> 18));
    Out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendWide(WideString& Out, uint32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    Out += static_cast<char16_t>(0xD800 + (cp >> 10));
    Out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    Out += static_cast<char16_t>(cp);
  }
}

bool IsAscii(const std::string& Text) {
  for (char c : Text) {
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

bool Utf8ToWide(const std::string& Text, WideString& Wide) {
  Wide.clear();
  for (size_t i = 0, n = 0; i < Text.size(); i += n) {
    uint32_t cp = Decode(Text, i, n);
    if (n == 0) return false;
    AppendWide(Wide, cp);
  }
  return true;
}

WideString TextToWide(const std::string& Text) {
  WideString wide;
  wide.reserve(Text.size());
  for (size_t i = 0, n = 0; i < Text.size(); i += n) {
    uint32_t cp = Decode(Text, i, n);
    if (n == 0) {
      cp = Cp1252Char(static_cast<uint8_t>(Text[i]));
      n = 1;
    }
    AppendWide(wide, cp);
  }
  return wide;
}

std::string WideToUtf8(const WideString& Text) {
  std::string out;
  out.reserve(Text.size());
  for (size_t i = 0; i < Text.size(); ++i) {
    uint32_t cp = Text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < Text.size() && Text[i + 1] >= 0xDC00 && Text[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (Text[++i] - 0xDC00);
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::string Cp1252ToUtf8(const std::string& Bytes) {
  if (IsAscii(Bytes)) return Bytes;
  std::string out;
  out.reserve(Bytes.size() + Bytes.size() / 2);
  for (char c : Bytes) AppendUtf8(out, Cp1252Char(static_cast<uint8_t>(c)));
  return out;
}

bool Utf8ToCp1252(const std::string& Text, std::string& Bytes, std::string* BadChar) {
  Bytes.clear();
  if (IsAscii(Text)) {
    Bytes = Text;
    return true;
  }
  Bytes.reserve(Text.size());
  for (size_t i = 0, n = 0; i < Text.size(); i += n) {
    uint32_t cp = Decode(Text, i, n);
    int byte = n == 0 ? -1 : Cp1252Byte(cp);
    if (byte < 0) {
      if (BadChar) *BadChar = n == 0 ? Text.substr(i, 1) : Text.substr(i, n);
      return false;
    }
    Bytes += static_cast<char>(byte);
  }
  return true;
}

WideString Cp1252Only(const WideString& Text) {
  WideString out = Text;
  for (char16_t& c : out) {
    if (Cp1252Byte(c) < 0) c = u'?';
  }
  return out;
}

std::string ToStoredText(const std::string& Text) {
  std::string bytes;
  if (Utf8ToCp1252(Text, bytes) && bytes.rfind(kUtf8Mark, 0) != 0) return bytes;
  return kUtf8Mark + Text;
}

std::string FromStoredText(const std::string& Stored) {
  if (Stored.rfind(kUtf8Mark, 0) == 0) return Stored.substr(3);
  return Cp1252ToUtf8(Stored);
}

}  // namespace platform
