#include "builder/PeResources.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A small PE32 image: .text, .rsrc (a resource tree written by the unit
// itself from Resources) and .reloc, file alignment 0x200, sections 0x1000.
TBytes SmallImage(const std::vector<TResource>& Resources) {
  TBytes image(0x400, 0);
  image[0] = 'M';
  image[1] = 'Z';
  PutU32(image.data() + 0x3C, 0x80);
  PutU32(image.data() + 0x80, 0x00004550);
  PutU16(image.data() + 0x84, 0x14C);
  PutU16(image.data() + 0x86, 3);
  PutU16(image.data() + 0x94, 224);
  uint8_t* opt = image.data() + 0x98;
  PutU16(opt, 0x10B);
  PutU32(opt + 32, 0x1000);
  PutU32(opt + 36, 0x200);
  PutU32(opt + 56, 0x4000);
  PutU32(opt + 60, 0x400);
  PutU32(opt + 92, 16);
  PutU32(opt + 96 + 2 * 8, 0x2000);  // resources
  PutU32(opt + 96 + 5 * 8, 0x3000);  // base relocations
  PutU32(opt + 96 + 5 * 8 + 4, 8);
  const char* names[] = {".text", ".rsrc", ".reloc"};
  for (int s = 0; s < 3; ++s) {
    uint8_t* h = image.data() + 0x98 + 224 + s * 40;
    std::copy(names[s], names[s] + std::char_traits<char>::length(names[s]), h);
    PutU32(h + 8, 0x200);
    PutU32(h + 12, 0x1000 * (s + 1));
    PutU32(h + 16, 0x200);
    PutU32(h + 20, 0x400 + 0x200 * s);
  }
  image.resize(0xA00, 0);
  for (size_t i = 0x400; i < 0x600; ++i) image[i] = 0xC3;
  for (size_t i = 0x800; i < 0x808; ++i) image[i] = static_cast<uint8_t>(i);
  // An empty tree, then the resources written into it by the unit.
  std::string error;
  EXPECT_TRUE(WriteResources(image, Resources, error)) << error;
  return image;
}

TResource Resource(uint16_t Type, uint16_t Name, uint16_t Language, size_t Size, uint8_t Fill) {
  return {{Type, {}}, {Name, {}}, Language, TBytes(Size, Fill)};
}

std::vector<TResource> Read(const TBytes& Image) {
  std::vector<TResource> out;
  std::string error;
  EXPECT_TRUE(ReadResources(Image, out, error)) << error;
  return out;
}

}  // namespace

// What is written reads back the same, named and numbered, and a section
// that grows moves the sections after it and the directories into them.
TEST(PeResources, WrittenTreesReadBackAndLaterSectionsMove) {
  std::vector<TResource> small = {Resource(24, 1, 0x409, 40, 'm'), Resource(3, 1, 0, 100, 'i')};
  small.push_back({{0, u"CUSTOM"}, {0, u"Name"}, 7, TBytes(5, 'c')});
  TBytes image = SmallImage(small);
  std::vector<TResource> back = Read(image);
  ASSERT_EQ(back.size(), 3u);
  // Named types first, then numbers in order.
  EXPECT_EQ(back[0].Type.Name, u"CUSTOM");
  EXPECT_EQ(back[0].Name.Name, u"Name");
  EXPECT_EQ(back[0].Language, 7);
  EXPECT_EQ(back[1].Type.Id, 3);
  EXPECT_EQ(back[1].Data, TBytes(100, 'i'));
  EXPECT_EQ(back[2].Type.Id, 24);
  EXPECT_EQ(back[2].Language, 0x409);

  // 9,000 bytes more: three more file blocks and two more pages.
  std::vector<TResource> big = back;
  big.push_back(Resource(10, 5, 0, 9000, 'x'));
  std::string error;
  ASSERT_TRUE(WriteResources(image, big, error)) << error;
  std::vector<TResource> grown = Read(image);
  ASSERT_EQ(grown.size(), 4u);
  EXPECT_EQ(grown[2].Type.Id, 10);  // in the order of the types
  EXPECT_EQ(grown[2].Data, TBytes(9000, 'x'));
  const uint8_t* reloc = image.data() + 0x98 + 224 + 2 * 40;
  EXPECT_EQ(GetU32(reloc + 12), 0x5000u);   // its address, two pages on
  const uint32_t raw = GetU32(reloc + 20);  // its bytes, moved with it
  EXPECT_EQ(image[raw], 0x00);
  EXPECT_EQ(image[raw + 7], 0x07);
  EXPECT_EQ(GetU32(image.data() + 0x98 + 96 + 5 * 8), 0x5000u);  // the relocations' directory
  EXPECT_EQ(GetU32(image.data() + 0x98 + 56), 0x6000u);          // the image's size
  EXPECT_EQ(image.size(), raw + 0x200);
  EXPECT_EQ(image[0x400], 0xC3);  // the code stays

  // Smaller again: everything moves back.
  ASSERT_TRUE(WriteResources(image, small, error)) << error;
  EXPECT_EQ(GetU32(image.data() + 0x98 + 224 + 2 * 40 + 12), 0x3000u);
  EXPECT_EQ(image.size(), 0xA00u);
}

// An icon file's images become icon images 1..N and group 1, replacing what
// was there; the version resource carries the texts and the numbers.
TEST(PeResources, IconAndVersion) {
  std::vector<TResource> r = {Resource(3, 1, 0x409, 10, 'o'), Resource(3, 2, 0x409, 10, 'p'),
                              Resource(14, 1, 0x409, 20, 'g'), Resource(24, 1, 0x409, 4, 'm')};
  TBytes ico = {0, 0, 1, 0, 2, 0};
  const uint8_t entry[12] = {16, 16, 0, 0, 1, 0, 32, 0, 3, 0, 0, 0};
  for (int i = 0; i < 2; ++i) {
    ico.insert(ico.end(), entry, entry + 12);
    const uint32_t offset = 6 + 32 + i * 3;
    for (int b = 0; b < 4; ++b) ico.push_back(static_cast<uint8_t>(offset >> (8 * b)));
  }
  ico.insert(ico.end(), {'a', 'b', 'c', 'd', 'e', 'f'});
  std::string error;
  ASSERT_TRUE(SetIcon(r, ico, error)) << error;
  ASSERT_EQ(r.size(), 4u);  // the manifest, two images, the group
  EXPECT_EQ(r[1].Data, (TBytes{'a', 'b', 'c'}));
  EXPECT_EQ(r[2].Data, (TBytes{'d', 'e', 'f'}));
  EXPECT_EQ(r[2].Name.Id, 2);
  EXPECT_EQ(r[3].Type.Id, kResourceGroupIcon);
  EXPECT_EQ(r[3].Language, 0x409);  // the stub's own language kept
  ASSERT_EQ(r[3].Data.size(), 6u + 2 * 14);
  EXPECT_EQ(GetU16(r[3].Data.data() + 6 + 14 + 12), 2);

  // Not icons: refused with the reason, the resources as they were.
  for (const TBytes& bad : {TBytes{'B', 'M', 0, 0, 0, 0}, TBytes{0, 0, 1, 0, 9, 0}, TBytes{0, 0, 1}}) {
    std::vector<TResource> kept = r;
    EXPECT_FALSE(SetIcon(kept, bad, error));
    EXPECT_EQ(kept.size(), r.size());
  }
  TBytes past = ico;
  PutU32(past.data() + 6 + 16 + 8, 1000);
  std::vector<TResource> kept = r;
  EXPECT_FALSE(SetIcon(kept, past, error));
  EXPECT_EQ(error, "image 2 runs past its end");
  EXPECT_EQ(kept.size(), r.size());

  SetVersion(r, {"Demo Game", "1.2.3.4", "Demo Works", "Demo Game Setup", "DemoSetup.exe"});
  SetVersion(r, {"Demo Game", "3.x.70000", "Demo Works", "Demo Game Setup", "DemoSetup.exe"});
  const TResource& v = r.back();
  EXPECT_EQ(std::count_if(r.begin(), r.end(), [](const TResource& x) { return x.Type.Id == kResourceVersion; }), 1);
  EXPECT_EQ(GetU16(v.Data.data()), v.Data.size());
  EXPECT_EQ(GetU32(v.Data.data() + 40), 0xFEEF04BDu);
  EXPECT_EQ(GetU32(v.Data.data() + 48), 3u << 16);       // "x" is no number
  EXPECT_EQ(GetU32(v.Data.data() + 52), 0xFFFFu << 16);  // 70000 saturates
  std::u16string text(reinterpret_cast<const char16_t*>(v.Data.data()), v.Data.size() / 2);
  EXPECT_NE(text.find(u"CompanyName"), std::u16string::npos);
  EXPECT_NE(text.find(u"Demo Works"), std::u16string::npos);
}

// Images it cannot rewrite are refused, unchanged; damaged trees are errors,
// never reads past the image.
TEST(PeResources, RefusesWhatItCannotRewriteAndSurvivesDamage) {
  TBytes image = SmallImage({Resource(3, 1, 0, 64, 'i'), Resource(24, 1, 0, 64, 'm')});
  std::string error;
  std::vector<TResource> r = Read(image);
  TBytes overlay = image;
  overlay.push_back(1);
  EXPECT_FALSE(WriteResources(overlay, r, error));
  EXPECT_EQ(error, "data follows its last section");
  TBytes signedImage = image;
  PutU32(signedImage.data() + 0x98 + 96 + 4 * 8 + 4, 8);
  EXPECT_FALSE(WriteResources(signedImage, r, error));
  EXPECT_EQ(signedImage, [&] {
    TBytes s = image;
    PutU32(s.data() + 0x98 + 96 + 4 * 8 + 4, 8);
    return s;
  }());
  EXPECT_FALSE(IsPortableExecutable(TBytes{'M', 'Z'}));
  EXPECT_FALSE(ReadResources(TBytes(64, 0), r, error));
  // Every byte of the resource section's tree turned to 0xFF in turn.
  for (size_t i = 0x600; i < 0x600 + 0x80; ++i) {
    TBytes damaged = image;
    damaged[i] = 0xFF;
    std::vector<TResource> out;
    ReadResources(damaged, out, error);
  }
}
