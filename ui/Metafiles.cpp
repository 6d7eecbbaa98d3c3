#include "ui/Metafiles.h"

#include "common/Bytes.h"
#include "common/Strings.h"

namespace {

constexpr uint32_t kMaxSide = 16384;

uint32_t Le32(const uint8_t* P) { return GetU32(P); }
uint16_t Le16(const uint8_t* P) { return GetU16(P); }

// A device-independent bitmap inside a record: its header and palette in
// [Info, Info + InfoSize), its pixels in [Bits, Bits + BitsSize), both
// already known to lie inside the record. Uncompressed bitmaps only: the
// pixels must cover every row the header claims.
const char* CheckDib(const uint8_t* Info, uint64_t InfoSize, uint64_t BitsSize) {
  if (InfoSize < 40) return "its bitmap header is cut short";
  uint32_t headerSize = Le32(Info);
  if (headerSize < 40 || headerSize > InfoSize) return "its bitmap header is cut short";
  auto width = static_cast<int32_t>(Le32(Info + 4));
  auto height = static_cast<int32_t>(Le32(Info + 8));
  uint16_t planes = Le16(Info + 12), bits = Le16(Info + 14);
  uint32_t compression = Le32(Info + 16), used = Le32(Info + 32);
  uint64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
  if (width <= 0 || rows == 0 || static_cast<uint32_t>(width) > kMaxSide || rows > kMaxSide || planes != 1) {
    return "its bitmap's size is out of range";
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return "its bitmap has an unknown depth";
  }
  uint64_t table = 0;
  if (compression == 3 && (bits == 16 || bits == 32)) {
    table = headerSize == 40 ? 12 : 0;
  } else if (compression != 0) {
    return "its bitmap is compressed";
  }
  if (bits <= 8) {
    if (used > (1u << bits)) return "its bitmap's palette is too long";
    table = 4ull * (used ? used : 1u << bits);
  } else {
    table += 4ull * used;
  }
  if (headerSize + table > InfoSize) return "its bitmap's palette is cut short";
  uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
  if (stride * rows > BitsSize) return "its bitmap's pixels are cut short";
  return nullptr;
}

// ---- Enhanced metafiles: each record a 32-bit type and size, then its body.

enum class EmfShape {
  kFixed,       // fields only
  kCreate,      // makes or deletes object number [8]
  kSelect,      // uses object number [8], or a stock object
  kPoly32,      // a count [24] of 32-bit points from 28
  kPoly16,      // a count [24] of 16-bit points from 28
  kPolyPoly32,  // [24] polygons, [28] points, counts from 32, then the points
  kPolyPoly16,
  kText8,         // a text record with 8-bit characters
  kText16,        // ... with UTF-16 characters
  kBlt,           // an optional source bitmap: offsets at 84..96
  kDibits,        // a source bitmap: offsets at 48..60
  kPatternBrush,  // makes object [8] from the bitmap at 16..28
  kPen,           // makes object [8]; style entries [48]; optional bitmap at 12..24
  kPalette,       // makes object [8]; [14] entries from 16
  kComment,       // [8] bytes of data from 12
  kClipRegion,    // [8] bytes of region data from 16
  kEnd,
};

struct EmfRecordKind {
  uint32_t Type;
  uint32_t MinSize;
  EmfShape Shape;
};

// The drawing records a picture may hold; any other type is refused.
constexpr EmfRecordKind kEmfKinds[] = {
    {2, 28, EmfShape::kPoly32},        {3, 28, EmfShape::kPoly32},        {4, 28, EmfShape::kPoly32},
    {5, 28, EmfShape::kPoly32},        {6, 28, EmfShape::kPoly32},        {7, 32, EmfShape::kPolyPoly32},
    {8, 32, EmfShape::kPolyPoly32},    {9, 16, EmfShape::kFixed},         {10, 16, EmfShape::kFixed},
    {11, 16, EmfShape::kFixed},        {12, 16, EmfShape::kFixed},        {13, 16, EmfShape::kFixed},
    {14, 20, EmfShape::kEnd},          {15, 20, EmfShape::kFixed},        {16, 12, EmfShape::kFixed},
    {17, 12, EmfShape::kFixed},        {18, 12, EmfShape::kFixed},        {19, 12, EmfShape::kFixed},
    {20, 12, EmfShape::kFixed},        {21, 12, EmfShape::kFixed},        {22, 12, EmfShape::kFixed},
    {24, 12, EmfShape::kFixed},        {25, 12, EmfShape::kFixed},        {26, 16, EmfShape::kFixed},
    {27, 16, EmfShape::kFixed},        {28, 8, EmfShape::kFixed},         {29, 24, EmfShape::kFixed},
    {30, 24, EmfShape::kFixed},        {31, 24, EmfShape::kFixed},        {32, 24, EmfShape::kFixed},
    {33, 8, EmfShape::kFixed},         {34, 12, EmfShape::kFixed},        {35, 32, EmfShape::kFixed},
    {36, 36, EmfShape::kFixed},        {37, 12, EmfShape::kSelect},       {38, 28, EmfShape::kCreate},
    {39, 24, EmfShape::kCreate},       {40, 12, EmfShape::kCreate},       {41, 28, EmfShape::kFixed},
    {42, 24, EmfShape::kFixed},        {43, 24, EmfShape::kFixed},        {44, 32, EmfShape::kFixed},
    {45, 40, EmfShape::kFixed},        {46, 40, EmfShape::kFixed},        {47, 40, EmfShape::kFixed},
    {48, 12, EmfShape::kSelect},       {49, 16, EmfShape::kPalette},      {52, 8, EmfShape::kFixed},
    {54, 16, EmfShape::kFixed},        {55, 40, EmfShape::kFixed},        {57, 12, EmfShape::kFixed},
    {58, 12, EmfShape::kFixed},        {59, 8, EmfShape::kFixed},         {60, 8, EmfShape::kFixed},
    {61, 8, EmfShape::kFixed},         {62, 24, EmfShape::kFixed},        {63, 24, EmfShape::kFixed},
    {64, 24, EmfShape::kFixed},        {65, 8, EmfShape::kFixed},         {66, 8, EmfShape::kFixed},
    {67, 12, EmfShape::kFixed},        {68, 8, EmfShape::kFixed},         {70, 12, EmfShape::kComment},
    {75, 16, EmfShape::kClipRegion},   {76, 100, EmfShape::kBlt},         {77, 108, EmfShape::kBlt},
    {80, 76, EmfShape::kDibits},       {81, 80, EmfShape::kDibits},       {82, 104, EmfShape::kCreate},
    {83, 76, EmfShape::kText8},        {84, 76, EmfShape::kText16},       {85, 28, EmfShape::kPoly16},
    {86, 28, EmfShape::kPoly16},       {87, 28, EmfShape::kPoly16},       {88, 28, EmfShape::kPoly16},
    {89, 28, EmfShape::kPoly16},       {90, 32, EmfShape::kPolyPoly16},   {91, 32, EmfShape::kPolyPoly16},
    {93, 32, EmfShape::kPatternBrush}, {94, 32, EmfShape::kPatternBrush}, {95, 52, EmfShape::kPen},
    {98, 12, EmfShape::kFixed},        {115, 12, EmfShape::kFixed},
};

const EmfRecordKind* FindEmfKind(uint32_t Type) {
  for (const EmfRecordKind& kind : kEmfKinds) {
    if (kind.Type == Type) return &kind;
  }
  return nullptr;
}

// A bitmap a record names by offsets and sizes (fields at the given places);
// Optional: a record whose four fields are all zero has none. (A player
// takes a non-zero offset as a bitmap whatever the size says.)
const char* CheckEmfDib(const uint8_t* R, uint32_t Size, uint32_t OffInfo, uint32_t OffBits, bool Optional) {
  uint64_t infoAt = Le32(R + OffInfo), infoSize = Le32(R + OffInfo + 4);
  uint64_t bitsAt = Le32(R + OffBits), bitsSize = Le32(R + OffBits + 4);
  if (Optional && (infoAt | infoSize | bitsAt | bitsSize) == 0) return nullptr;
  if (infoAt + infoSize > Size || bitsAt + bitsSize > Size) return "its bitmap lies outside it";
  return CheckDib(R + infoAt, infoSize, bitsSize);
}

const char* CheckEmfRecord(const uint8_t* R, uint32_t Size, const EmfRecordKind& Kind, uint32_t Handles) {
  if (Size < Kind.MinSize) return "it is cut short";
  auto object = [&](bool StockToo) -> const char* {
    uint32_t index = Le32(R + 8);
    if (StockToo && (index & 0x80000000u)) return nullptr;
    return index == 0 || index >= Handles ? "it names an object outside the metafile's table" : nullptr;
  };
  auto points = [&](uint64_t Fixed, uint64_t Count, uint64_t Each) -> const char* {
    return Fixed + Count * Each > Size ? "its points run past it" : nullptr;
  };
  switch (Kind.Shape) {
    case EmfShape::kFixed:
      return nullptr;
    case EmfShape::kEnd: {
      uint64_t entries = Le32(R + 8), at = Le32(R + 12);
      return entries && (at < 20 || at + 4 * entries > Size) ? "its palette runs past it" : nullptr;
    }
    case EmfShape::kCreate:
      return object(false);
    case EmfShape::kSelect:
      return object(true);
    case EmfShape::kPoly32:
    case EmfShape::kPoly16:
      return points(28, Le32(R + 24), Kind.Shape == EmfShape::kPoly32 ? 8 : 4);
    case EmfShape::kPolyPoly32:
    case EmfShape::kPolyPoly16: {
      uint64_t polys = Le32(R + 24), count = Le32(R + 28);
      if (32 + polys * 4 > Size) return "its polygon counts run past it";
      uint64_t sum = 0;
      for (uint64_t i = 0; i < polys; ++i) sum += Le32(R + 32 + i * 4);
      if (sum != count) return "its polygon counts do not add up to its points";
      return points(32 + polys * 4, count, Kind.Shape == EmfShape::kPolyPoly32 ? 8 : 4);
    }
    case EmfShape::kText8:
    case EmfShape::kText16: {
      uint64_t chars = Le32(R + 44), at = Le32(R + 48), options = Le32(R + 52), dx = Le32(R + 72);
      uint64_t width = Kind.Shape == EmfShape::kText16 ? 2 : 1;
      if (chars > Size) return "its text runs past it";
      if (chars && (at < 76 || at + chars * width > Size)) return "its text runs past it";
      uint64_t spacing = chars * 4 * ((options & 0x2000) ? 2 : 1);  // ETO_PDY: x and y for each
      if (chars && (dx < 76 || dx + spacing > Size)) return "its character spacing runs past it";
      return nullptr;
    }
    case EmfShape::kBlt:
      return CheckEmfDib(R, Size, 84, 92, true);
    case EmfShape::kDibits:
      return CheckEmfDib(R, Size, 48, 56, false);
    case EmfShape::kPatternBrush:
      if (const char* e = object(false)) return e;
      return CheckEmfDib(R, Size, 16, 24, false);
    case EmfShape::kPen: {
      if (const char* e = object(false)) return e;
      if (52 + 4ull * Le32(R + 48) > Size) return "its pen style runs past it";
      return CheckEmfDib(R, Size, 12, 20, true);
    }
    case EmfShape::kPalette:
      if (const char* e = object(false)) return e;
      return 16 + 4ull * Le16(R + 14) > Size ? "its palette runs past it" : nullptr;
    case EmfShape::kComment:
      return 12ull + Le32(R + 8) > Size ? "its data runs past it" : nullptr;
    case EmfShape::kClipRegion: {
      uint64_t bytes = Le32(R + 8);
      if (bytes == 0) return nullptr;
      if (16 + bytes > Size || bytes < 32) return "its region runs past it";
      if (Le32(R + 16) != 32 || 32 + 16ull * Le32(R + 24) > bytes) return "its region is damaged";
      return nullptr;
    }
  }
  return "it is of an unknown shape";
}

bool CheckEnhanced(const uint8_t* Data, size_t Size, std::string& Error) {
  constexpr uint32_t kSignature = 0x464D4520;  // " EMF"
  if (Size < 88 || Le32(Data) != 1) return Error = "the metafile has no header", false;
  uint32_t headerSize = Le32(Data + 4), bytes = Le32(Data + 48), records = Le32(Data + 52);
  uint32_t handles = Le16(Data + 56);
  if (Le32(Data + 40) != kSignature || headerSize < 88 || headerSize % 4 || headerSize > Size || bytes != Size) {
    return Error = "the metafile's header is damaged", false;
  }
  uint64_t descriptionChars = Le32(Data + 60), descriptionAt = Le32(Data + 64);
  if (descriptionChars && (descriptionAt < 88 || descriptionAt + 2 * descriptionChars > headerSize)) {
    return Error = "the metafile's description runs past its header", false;
  }
  if (headerSize >= 100) {
    uint64_t formatSize = Le32(Data + 88), formatAt = Le32(Data + 92);
    if (formatSize && (formatAt < 100 || formatAt + formatSize > headerSize)) {
      return Error = "the metafile's pixel format runs past its header", false;
    }
  }
  uint32_t count = 1;
  for (size_t at = headerSize; at < Size; ++count) {
    const std::string where = "the metafile's record " + DecimalText(count + 1);
    if (Size - at < 8) return Error = where + " is cut short", false;
    uint32_t type = Le32(Data + at), size = Le32(Data + at + 4);
    if (size < 8 || size % 4 || size > Size - at) return Error = where + " has a damaged size", false;
    const EmfRecordKind* kind = FindEmfKind(type);
    if (!kind) return Error = Concat({where, " is of type ", DecimalText(type), ", which pictures do not use"}), false;
    if (const char* why = CheckEmfRecord(Data + at, size, *kind, handles))
      return Error = Concat({where, ": ", why}), false;
    at += size;
    if (kind->Shape == EmfShape::kEnd) {
      if (at != Size) return Error = "the metafile goes on after its end record", false;
      if (count + 1 != records) return Error = "the metafile's record count is damaged", false;
      return true;
    }
  }
  return Error = "the metafile has no end record", false;
}

// ---- Windows metafiles: each record a 32-bit size in 16-bit words, a
// 16-bit function, then its parameters (words).

enum class WmfShape {
  kFixed,     // parameters only
  kObject,    // uses object number [0]
  kText,      // TextOut: count, string, y, x
  kExtText,   // ExtTextOut: y, x, count, options, [rectangle], string, [spacing]
  kPoly,      // a count, then the points
  kPolyPoly,  // polygons, their counts, then the points
  kFont,      // a whole 16-bit LOGFONT
  kPalette,   // version, entries, then the entries
  kBlt,       // a bitmap after Fixed words, or none (the short form)
  kDib,       // a bitmap after Fixed words
  kEnd,
};

struct WmfRecordKind {
  uint16_t Function;
  uint32_t Fixed;  // parameter words before anything of variable length
  WmfShape Shape;
};

constexpr WmfRecordKind kWmfKinds[] = {
    {0x0000, 0, WmfShape::kEnd},      {0x001E, 0, WmfShape::kFixed},  {0x0035, 0, WmfShape::kFixed},
    {0x0102, 1, WmfShape::kFixed},    {0x0103, 1, WmfShape::kFixed},  {0x0104, 1, WmfShape::kFixed},
    {0x0105, 1, WmfShape::kFixed},    {0x0106, 1, WmfShape::kFixed},  {0x0107, 1, WmfShape::kFixed},
    {0x0108, 1, WmfShape::kFixed},    {0x0127, 1, WmfShape::kFixed},  {0x012E, 1, WmfShape::kFixed},
    {0x012D, 1, WmfShape::kObject},   {0x01F0, 1, WmfShape::kObject}, {0x0234, 1, WmfShape::kObject},
    {0x0201, 2, WmfShape::kFixed},    {0x0209, 2, WmfShape::kFixed},  {0x020A, 2, WmfShape::kFixed},
    {0x020B, 2, WmfShape::kFixed},    {0x020C, 2, WmfShape::kFixed},  {0x020D, 2, WmfShape::kFixed},
    {0x020E, 2, WmfShape::kFixed},    {0x020F, 2, WmfShape::kFixed},  {0x0211, 2, WmfShape::kFixed},
    {0x0213, 2, WmfShape::kFixed},    {0x0214, 2, WmfShape::kFixed},  {0x0220, 2, WmfShape::kFixed},
    {0x0410, 4, WmfShape::kFixed},    {0x0412, 4, WmfShape::kFixed},  {0x0415, 4, WmfShape::kFixed},
    {0x0416, 4, WmfShape::kFixed},    {0x0418, 4, WmfShape::kFixed},  {0x041B, 4, WmfShape::kFixed},
    {0x041F, 4, WmfShape::kFixed},    {0x02FC, 4, WmfShape::kFixed},  {0x02FA, 5, WmfShape::kFixed},
    {0x061C, 6, WmfShape::kFixed},    {0x061D, 6, WmfShape::kFixed},  {0x0817, 8, WmfShape::kFixed},
    {0x081A, 8, WmfShape::kFixed},    {0x0830, 8, WmfShape::kFixed},  {0x0521, 1, WmfShape::kText},
    {0x0A32, 4, WmfShape::kExtText},  {0x0324, 1, WmfShape::kPoly},   {0x0325, 1, WmfShape::kPoly},
    {0x0538, 1, WmfShape::kPolyPoly}, {0x02FB, 25, WmfShape::kFont},  {0x00F7, 2, WmfShape::kPalette},
    {0x0940, 8, WmfShape::kBlt},      {0x0B41, 10, WmfShape::kBlt},   {0x0F43, 11, WmfShape::kDib},
    {0x0142, 2, WmfShape::kDib},
};

const WmfRecordKind* FindWmfKind(uint16_t Function) {
  for (const WmfRecordKind& kind : kWmfKinds) {
    if (kind.Function == Function) return &kind;
  }
  return nullptr;
}

const char* CheckWmfRecord(const uint8_t* P, uint64_t Words, const WmfRecordKind& Kind, uint16_t Function,
                           uint32_t Objects) {
  if (Words < Kind.Fixed) return "it is cut short";
  auto word = [&](uint64_t i) { return Le16(P + 2 * i); };
  switch (Kind.Shape) {
    case WmfShape::kFixed:
    case WmfShape::kFont:
    case WmfShape::kEnd:
      return nullptr;
    case WmfShape::kObject:
      return word(0) >= Objects ? "it names an object outside the metafile's table" : nullptr;
    case WmfShape::kText:
      return 1 + (word(0) + 1ull) / 2 + 2 > Words ? "its text runs past it" : nullptr;
    case WmfShape::kExtText: {
      uint64_t chars = word(2);
      uint64_t need = 4 + ((word(3) & 0x6) ? 4 : 0) + (chars + 1) / 2;  // ETO_OPAQUE, ETO_CLIPPED: a rectangle
      if (need > Words) return "its text runs past it";
      if (Words > need && need + chars > Words) return "its character spacing is cut short";
      return nullptr;
    }
    case WmfShape::kPoly:
      return 1 + 2ull * word(0) > Words ? "its points run past it" : nullptr;
    case WmfShape::kPolyPoly: {
      uint64_t polys = word(0);
      if (1 + polys > Words) return "its polygon counts run past it";
      uint64_t sum = 0;
      for (uint64_t i = 0; i < polys; ++i) sum += word(1 + i);
      return 1 + polys + 2 * sum > Words ? "its points run past it" : nullptr;
    }
    case WmfShape::kPalette:
      return 2 + 2ull * word(1) > Words ? "its palette runs past it" : nullptr;
    case WmfShape::kBlt:
      // The form without a bitmap has as many words as the function's high
      // byte says.
      if (Words == static_cast<uint64_t>(Function >> 8)) return nullptr;
      [[fallthrough]];
    case WmfShape::kDib: {
      uint64_t bytes = 2 * (Words - Kind.Fixed);
      const uint8_t* info = P + 2 * Kind.Fixed;
      if (bytes < 40) return "its bitmap header is cut short";
      uint32_t headerSize = Le32(info);
      uint16_t bits = Le16(info + 14);
      uint32_t used = Le32(info + 32);
      uint64_t table = bits <= 8 ? 4ull * (used ? used : 1u << (bits & 15)) : 4ull * used;
      if (Le32(info + 16) == 3 && headerSize == 40) table += 12;
      if (headerSize > bytes || headerSize + table > bytes) return "its bitmap's palette is cut short";
      return CheckDib(info, headerSize + table, bytes - headerSize - table);
    }
  }
  return "it is of an unknown shape";
}

bool CheckWindows(const uint8_t* Data, size_t Size, std::string& Error) {
  constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
  if (Size >= 4 && Le32(Data) == kPlaceableKey) {
    if (Size < 22) return Error = "the placeable metafile's head is cut short", false;
    Data += 22;
    Size -= 22;
  }
  if (Size < 18) return Error = "the metafile has no header", false;
  uint16_t type = Le16(Data), headerWords = Le16(Data + 2), version = Le16(Data + 4);
  uint64_t bytes = 2ull * Le32(Data + 6);
  uint32_t objects = Le16(Data + 10), maxRecord = Le32(Data + 12);
  if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x100 && version != 0x300) || bytes < 18 ||
      bytes > Size) {
    return Error = "the metafile's header is damaged", false;
  }
  uint32_t count = 0;
  for (uint64_t at = 18; at < bytes; ++count) {
    const std::string where = "the metafile's record " + DecimalText(count + 1);
    if (bytes - at < 6) return Error = where + " is cut short", false;
    uint64_t words = Le32(Data + at);
    uint16_t function = Le16(Data + at + 4);
    if (words < 3 || words > maxRecord || 2 * words > bytes - at) return Error = where + " has a damaged size", false;
    const WmfRecordKind* kind = FindWmfKind(function);
    if (!kind) {
      return Error = Concat({where, " is of function ", DecimalText(function), ", which pictures do not use"}), false;
    }
    if (const char* why = CheckWmfRecord(Data + at + 6, words - 3, *kind, function, objects)) {
      return Error = Concat({where, ": ", why}), false;
    }
    at += 2 * words;
    if (kind->Shape == WmfShape::kEnd) return true;
  }
  return Error = "the metafile has no end record", false;
}

}  // namespace

bool CheckMetafile(const uint8_t* Data, size_t Size, bool Enhanced, std::string& Error) {
  if (!Data || Size == 0 || Size > 0x7FFFFFFF) return Error = "the metafile is empty or too large", false;
  return Enhanced ? CheckEnhanced(Data, Size, Error) : CheckWindows(Data, Size, Error);
}
