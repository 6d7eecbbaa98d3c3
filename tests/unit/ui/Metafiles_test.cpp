// The metafile check before the system plays a picture: sound drawings of
// both kinds pass; counts, offsets, object numbers, sizes and record types
// that would make a player read or write outside a record are refused; and
// no damaged copy makes the check itself read outside the bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ui/Metafiles.h"
#include "ui/SE_Parser.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& B, uint32_t V) {
  for (int i = 0; i < 4; ++i) B.push_back(static_cast<uint8_t>(V >> (8 * i)));
}
void Put16(Bytes& B, uint16_t V) {
  B.push_back(static_cast<uint8_t>(V));
  B.push_back(static_cast<uint8_t>(V >> 8));
}
void Set32(Bytes& B, size_t At, uint32_t V) {
  for (int i = 0; i < 4; ++i) B[At + i] = static_cast<uint8_t>(V >> (8 * i));
}
void Set16(Bytes& B, size_t At, uint16_t V) {
  B[At] = static_cast<uint8_t>(V);
  B[At + 1] = static_cast<uint8_t>(V >> 8);
}

// Where the records of the enhanced drawing start.
struct Emf {
  Bytes Data;
  size_t Pen = 0, Select = 0, Polyline = 0, Text = 0, Blt = 0, End = 0;
};

void Record(Bytes& B, uint32_t Type, const Bytes& Body) {
  Put32(B, Type);
  Put32(B, static_cast<uint32_t>(8 + Body.size()));
  B.insert(B.end(), Body.begin(), Body.end());
}

// A pen made and selected, a rectangle, a three-point line, "Hi" as text
// and a 2 x 2 bitmap: the shapes a drawing program writes.
Emf Enhanced() {
  Emf e;
  Bytes& b = e.Data;
  Put32(b, 1);
  Put32(b, 88);
  for (int i = 0; i < 8; ++i) Put32(b, i < 4 ? 0 : 100);  // bounds, frame
  Put32(b, 0x464D4520);
  Put32(b, 0x10000);
  Put32(b, 0);  // bytes, set below
  Put32(b, 0);  // records, set below
  Put16(b, 2);  // handles: the metafile's own and the pen
  Put16(b, 0);
  for (int i = 0; i < 7; ++i) Put32(b, i < 3 ? 0 : 1000);  // description, palette, device, millimetres
  e.Pen = b.size();
  Record(b, 38, Bytes{1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  e.Select = b.size();
  Record(b, 37, Bytes{1, 0, 0, 0});
  Bytes rect;
  for (uint32_t v : {1u, 2u, 30u, 40u}) Put32(rect, v);
  Record(b, 43, rect);
  e.Polyline = b.size();
  Bytes poly(16, 0);
  Put32(poly, 3);
  for (uint16_t v : {0, 0, 60, 40, 10, 70}) Put16(poly, v);
  Record(b, 87, poly);
  e.Text = b.size();
  Bytes text(28, 0);                                                              // bounds, graphics mode, scales
  for (uint32_t v : {5u, 40u, 2u, 76u, 0u, 0u, 0u, 0u, 0u, 80u}) Put32(text, v);  // reference, chars, offsets
  Put16(text, 'H');
  Put16(text, 'i');
  Put32(text, 8);
  Put32(text, 8);
  Record(b, 84, text);
  e.Blt = b.size();
  Bytes blt(92, 0);     // to the source bitmap's offsets
  Set32(blt, 76, 100);  // header at 100 of the record
  Set32(blt, 80, 40);   // 40 bytes
  Set32(blt, 84, 140);  // pixels at 140
  Set32(blt, 88, 16);   // two rows of 8 bytes
  Bytes info(40, 0);
  Set32(info, 0, 40);
  Set32(info, 4, 2);
  Set32(info, 8, 2);
  Set16(info, 12, 1);
  Set16(info, 14, 24);
  blt.insert(blt.end(), info.begin(), info.end());
  blt.resize(blt.size() + 16, 0x7F);
  Record(b, 76, blt);
  e.End = b.size();
  Record(b, 14, Bytes{0, 0, 0, 0, 16, 0, 0, 0, 20, 0, 0, 0});
  Set32(b, 48, static_cast<uint32_t>(b.size()));
  Set32(b, 52, 8);
  return e;
}

// A placeable Windows metafile: a pen made and selected, a rectangle, a
// polygon, "Demo" as text, the end.
Bytes Windows(uint16_t Objects = 1) {
  Bytes b;
  for (uint16_t v : {0xCDD7, 0x9AC6, 0, 0, 0, 80, 60, 96, 0, 0, 0}) Put16(b, v);
  size_t head = b.size();
  for (uint16_t v : std::initializer_list<uint16_t>{1, 9, 0x300, 0, 0, Objects, 0, 0, 0}) Put16(b, v);
  uint16_t longest = 0;
  auto record = [&](uint16_t Function, std::vector<uint16_t> Params) {
    longest = std::max(longest, static_cast<uint16_t>(3 + Params.size()));
    Put32(b, static_cast<uint32_t>(3 + Params.size()));
    Put16(b, Function);
    for (uint16_t p : Params) Put16(b, p);
  };
  record(0x02FA, {0, 1, 0, 0, 0});
  record(0x012D, {0});
  record(0x041B, {60, 80, 0, 0});
  record(0x0324, {3, 0, 0, 40, 0, 20, 30});
  record(0x0521, {4, 'D' | 'e' << 8, 'm' | 'o' << 8, 20, 4});
  record(0x0000, {});
  size_t words = (b.size() - head) / 2;
  Set16(b, head + 6, static_cast<uint16_t>(words));
  Set16(b, head + 8, static_cast<uint16_t>(words >> 16));
  Set16(b, head + 12, longest);
  return b;
}

bool Check(const Bytes& B, bool Enhanced, std::string* Why = nullptr) {
  std::string error;
  bool ok = CheckMetafile(B.data(), B.size(), Enhanced, error);
  if (!ok && error.empty()) error = "(no reason)";
  if (Why) *Why = error;
  return ok;
}

}  // namespace

TEST(Metafiles, SoundDrawingsPass) {
  std::string why;
  EXPECT_TRUE(Check(Enhanced().Data, true, &why)) << why;
  EXPECT_TRUE(Check(Windows(), false, &why)) << why;
  Bytes bare = Windows();
  bare.erase(bare.begin(), bare.begin() + 22);  // without the placeable head
  EXPECT_TRUE(Check(bare, false, &why)) << why;
#ifndef _WIN32
  // Past the check, the host has no player.
  platform::Picture picture;
  EXPECT_FALSE(DecodePicture("a.wmf", bare.data(), bare.size(), picture, why));
  EXPECT_EQ(why, "metafiles are shown on Windows only");
#endif
}

TEST(Metafiles, EnhancedRecordsThatWouldLeadAPlayerAstray) {
  struct Damage {
    const char* What;
    void (*Apply)(Emf&);
  };
  const Damage damages[] = {
      {"a line claiming a million points", [](Emf& e) { Set32(e.Data, e.Polyline + 24, 1000000); }},
      {"a pen made as object 7 of 2", [](Emf& e) { Set32(e.Data, e.Pen + 8, 7); }},
      {"object 0, the metafile's own", [](Emf& e) { Set32(e.Data, e.Select + 8, 0); }},
      {"text far past its record", [](Emf& e) { Set32(e.Data, e.Text + 48, 0x7FFFFFF0); }},
      {"more characters than the record holds", [](Emf& e) { Set32(e.Data, e.Text + 44, 40); }},
      {"character spacing past the record", [](Emf& e) { Set32(e.Data, e.Text + 72, 84); }},
      {"a bitmap taller than its pixels", [](Emf& e) { Set32(e.Data, e.Blt + 100 + 8, 3); }},
      {"a compressed bitmap", [](Emf& e) { Set32(e.Data, e.Blt + 100 + 16, 1); }},
      {"a bitmap header outside the record", [](Emf& e) { Set32(e.Data, e.Blt + 84, 0xFFFFFFF0); }},
      {"a bitmap offset with a size of 0",
       [](Emf& e) {
         Set32(e.Data, e.Blt + 84, 0xFFFFFFFF);
         Set32(e.Data, e.Blt + 88, 0);
       }},
      {"a stock object deleted",
       [](Emf& e) {
         Set32(e.Data, e.Select, 40);
         Set32(e.Data, e.Select + 8, 0x80000000u);
       }},
      {"a record whose size runs past the file", [](Emf& e) { Set32(e.Data, e.Polyline + 4, 0x1000); }},
      {"a record of size 0", [](Emf& e) { Set32(e.Data, e.Polyline + 4, 0); }},
      {"a size that is not a multiple of 4", [](Emf& e) { Set32(e.Data, e.Select + 4, 13); }},
      {"a record type pictures do not use", [](Emf& e) { Set32(e.Data, e.Polyline, 121); }},
      {"the header's byte count", [](Emf& e) { Set32(e.Data, 48, 12); }},
      {"the header's record count", [](Emf& e) { Set32(e.Data, 52, 9); }},
      {"the signature", [](Emf& e) { e.Data[40] ^= 1; }},
      {"the end record cut off",
       [](Emf& e) {
         e.Data.resize(e.End);
         Set32(e.Data, 48, static_cast<uint32_t>(e.Data.size()));
       }},
      {"bytes after the end",
       [](Emf& e) {
         e.Data.resize(e.Data.size() + 8, 0);
         Set32(e.Data, 48, static_cast<uint32_t>(e.Data.size()));
       }},
  };
  for (const Damage& d : damages) {
    Emf e = Enhanced();
    d.Apply(e);
    std::string why;
    EXPECT_FALSE(Check(e.Data, true, &why)) << d.What;
    EXPECT_FALSE(why.empty()) << d.What;
  }
  // A stock object may be selected without being in the table.
  Emf stock = Enhanced();
  Set32(stock.Data, stock.Select + 8, 0x80000007u);
  EXPECT_TRUE(Check(stock.Data, true));
}

TEST(Metafiles, WindowsRecordsThatWouldLeadAPlayerAstray) {
  // The records: the pen at 40, its selection at 56, the rectangle at 64,
  // the polygon at 78, the text at 98, the end at 114.
  const size_t body = 22 + 18;
  std::string why;
  Bytes many = Windows();
  Set16(many, 78 + 6, 500);  // a polygon of 500 points
  Bytes object = Windows();
  Set16(object, body + 16 + 6, 1);  // select object 1 of 1
  Bytes escape = Windows();
  Set16(escape, body + 4, 0x0626);  // an escape in the pen's place
  Bytes size = Windows();
  Set32(size, body, 2);  // a record shorter than its own head
  Bytes noEnd = Windows();
  noEnd.resize(noEnd.size() - 6);
  Set16(noEnd, 22 + 6, static_cast<uint16_t>((noEnd.size() - 22) / 2));
  Bytes header = Windows();
  Set16(header, 22 + 2, 8);
  Bytes text = Windows();
  Set16(text, 98 + 6, 200);  // TextOut of 200 characters
  for (auto [what, bytes] : {std::pair{"500 points", &many},
                             {"object 1 of 1", &object},
                             {"an escape", &escape},
                             {"a record of 2 words", &size},
                             {"no end record", &noEnd},
                             {"the header's size", &header},
                             {"200 characters", &text}}) {
    EXPECT_FALSE(Check(*bytes, false, &why)) << what;
    EXPECT_FALSE(why.empty()) << what;
  }
  EXPECT_TRUE(Check(Windows(2), false, &why)) << why;
  EXPECT_FALSE(Check(Bytes{0xD7, 0xCD, 0xC6, 0x9A, 0, 0}, false)) << "a placeable head cut short";
  EXPECT_FALSE(Check(Bytes{}, true));
}

// Bytes changed at random, 32-bit fields set to extremes, copies cut short:
// under the address sanitizer this shows the check reads nothing outside
// the bytes it is given; every copy it passes keeps its records in bounds by
// construction of the rules above, and the unchanged copies still pass.
TEST(Metafiles, DamagedCopiesNeverLeadTheCheckAstray) {
  uint32_t random = 0x9E3779B9u;
  auto next = [&random] {
    random ^= random << 13;
    random ^= random >> 17;
    random ^= random << 5;
    return random;
  };
  int passed = 0, refused = 0;
  for (bool enhanced : {true, false}) {
    const Bytes seed = enhanced ? Enhanced().Data : Windows();
    for (int round = 0; round < 4000; ++round) {
      Bytes bytes = seed;
      switch (next() % 3) {
        case 0:
          for (uint32_t n = next() % 6 + 1; n > 0; --n) bytes[next() % bytes.size()] ^= 1u << (next() % 8);
          break;
        case 1: {
          static const uint32_t extremes[] = {0, 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0x10000u, 2, 3};
          Set32(bytes, (next() % (bytes.size() / 4)) * 4, extremes[next() % 8]);
          break;
        }
        default:
          bytes.resize(next() % bytes.size());
          break;
      }
      // An exact-size copy, so the sanitizer sees any read past the end.
      auto* copy = new uint8_t[bytes.size()];
      std::copy(bytes.begin(), bytes.end(), copy);
      std::string error;
      if (CheckMetafile(copy, bytes.size(), enhanced, error)) {
        ++passed;
      } else {
        ++refused;
        EXPECT_FALSE(error.empty());
      }
      delete[] copy;
    }
  }
  EXPECT_GT(passed, 0);
  EXPECT_GT(refused, 0);
}
