#include "builder/PeResources.h"

#include <algorithm>
#include <map>
#include <type_traits>

#include "platform/Text.h"

namespace {

constexpr size_t kSectionHeader = 40;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kSecurityDirectory = 4;

uint32_t AlignUp(uint32_t Value, uint32_t Alignment) {
  return Alignment == 0 ? Value : (Value + Alignment - 1) / Alignment * Alignment;
}

// Where the parts of the headers are, once checked against the image.
struct TPeLayout {
  size_t Optional = 0;     // the optional header
  size_t Directories = 0;  // the data directories
  uint32_t DirectoryCount = 0;
  size_t Sections = 0;  // the section table
  uint16_t SectionCount = 0;
  uint32_t SectionAlignment = 0, FileAlignment = 0;
};

bool Layout(const TBytes& Image, TPeLayout& L, std::string& Error) {
  const size_t size = Image.size();
  if (!IsPortableExecutable(Image)) {
    Error = "not a Windows executable";
    return false;
  }
  const size_t pe = GetU32(Image.data() + 0x3C);
  L.SectionCount = GetU16(Image.data() + pe + 6);
  const uint16_t optionalSize = GetU16(Image.data() + pe + 20);
  L.Optional = pe + 24;
  L.Sections = L.Optional + optionalSize;
  if (L.Optional + 2 > size || L.Sections + static_cast<size_t>(L.SectionCount) * kSectionHeader > size) {
    Error = "its headers run past its end";
    return false;
  }
  const uint16_t magic = GetU16(Image.data() + L.Optional);
  const size_t directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
  if (directories == 0 || directories > optionalSize) {
    Error = "its optional header is of no known kind";
    return false;
  }
  L.Directories = L.Optional + directories;
  L.DirectoryCount = std::min<uint32_t>(GetU32(Image.data() + L.Optional + directories - 4),
                                        static_cast<uint32_t>((optionalSize - directories) / 8));
  L.SectionAlignment = GetU32(Image.data() + L.Optional + 32);
  L.FileAlignment = GetU32(Image.data() + L.Optional + 36);
  if (L.DirectoryCount <= kResourceDirectory || L.FileAlignment == 0 || L.SectionAlignment == 0) {
    Error = "it has no resource directory";
    return false;
  }
  return true;
}

size_t SectionAt(const TPeLayout& L, uint16_t Index) {
  return L.Sections + static_cast<size_t>(Index) * kSectionHeader;
}

// Reads the resource tree below Directory (an offset into the section).
class TTreeReader {
 public:
  TTreeReader(const uint8_t* Section, size_t Size, uint32_t SectionRva, const TBytes& Image, const TPeLayout& L)
      : section_(Section), size_(Size), rva_(SectionRva), image_(Image), layout_(L) {}

  bool Read(std::vector<TResource>& Out, std::string& Error) {
    std::vector<std::pair<TResourceKey, uint32_t>> types, names, languages;
    if (!Entries(0, types, Error)) return false;
    for (const auto& [type, typeDir] : types) {
      if (!(typeDir & 0x80000000u) || !Entries(typeDir & 0x7FFFFFFFu, names, Error)) return Fail(Error);
      for (const auto& [name, nameDir] : names) {
        if (!(nameDir & 0x80000000u) || !Entries(nameDir & 0x7FFFFFFFu, languages, Error)) return Fail(Error);
        for (const auto& [language, entry] : languages) {
          if ((entry & 0x80000000u) || entry + 16 > size_) return Fail(Error);
          const uint32_t dataRva = GetU32(section_ + entry), dataSize = GetU32(section_ + entry + 4);
          const uint8_t* data = AtRva(dataRva, dataSize);
          if (!data && dataSize) return Fail(Error);
          Out.push_back({type, name, language.Id, TBytes(data, data + dataSize)});
        }
      }
    }
    return true;
  }

 private:
  bool Fail(std::string& Error) {
    if (Error.empty()) Error = "its resource tree is damaged";
    return false;
  }

  // The entries of the directory at Offset, each with its key and offset word.
  bool Entries(uint32_t Offset, std::vector<std::pair<TResourceKey, uint32_t>>& Out, std::string& Error) {
    Out.clear();
    if (Offset + 16 > size_) return Fail(Error);
    const uint32_t count = static_cast<uint32_t>(GetU16(section_ + Offset + 12)) + GetU16(section_ + Offset + 14);
    if (Offset + 16 + static_cast<size_t>(count) * 8 > size_) return Fail(Error);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = section_ + Offset + 16 + i * 8;
      TResourceKey key;
      const uint32_t name = GetU32(e);
      if (name & 0x80000000u) {
        const uint32_t at = name & 0x7FFFFFFFu;
        if (at + 2 > size_ || at + 2 + GetU16(section_ + at) * 2u > size_) return Fail(Error);
        for (uint16_t c = 0; c < GetU16(section_ + at); ++c)
          key.Name += static_cast<char16_t>(GetU16(section_ + at + 2 + c * 2));
      } else {
        key.Id = static_cast<uint16_t>(name);
      }
      Out.emplace_back(std::move(key), GetU32(e + 4));
    }
    return true;
  }

  // The bytes at an image address, from the section that holds them.
  const uint8_t* AtRva(uint32_t Rva, uint32_t Size) const {
    if (Rva >= rva_ && static_cast<uint64_t>(Rva) - rva_ + Size <= size_) return section_ + (Rva - rva_);
    for (uint16_t s = 0; s < layout_.SectionCount; ++s) {
      const uint8_t* h = image_.data() + SectionAt(layout_, s);
      const uint32_t va = GetU32(h + 12), raw = GetU32(h + 16), pointer = GetU32(h + 20);
      if (Rva >= va && static_cast<uint64_t>(Rva) - va + Size <= raw &&
          static_cast<uint64_t>(pointer) + raw <= image_.size()) {
        return image_.data() + pointer + (Rva - va);
      }
    }
    return nullptr;
  }

  const uint8_t* section_;
  size_t size_;
  uint32_t rva_;
  const TBytes& image_;
  const TPeLayout& layout_;
};

// The section that begins at the resource directory's address.
bool ResourceSection(const TBytes& Image, const TPeLayout& L, uint16_t& Index, std::string& Error) {
  const uint32_t rva = GetU32(Image.data() + L.Directories + kResourceDirectory * 8);
  for (uint16_t s = 0; s < L.SectionCount; ++s) {
    const uint8_t* h = Image.data() + SectionAt(L, s);
    if (GetU32(h + 12) == rva && rva != 0) {
      if (static_cast<uint64_t>(GetU32(h + 20)) + GetU32(h + 16) > Image.size()) break;
      Index = s;
      return true;
    }
  }
  Error = "it has no resource section of its own";
  return false;
}

bool KeyLess(const TResourceKey& A, const TResourceKey& B) {
  // Named entries first, in the order of their names; then numbers.
  if (A.Name.empty() != B.Name.empty()) return !A.Name.empty();
  return A.Name.empty() ? A.Id < B.Id : A.Name < B.Name;
}

// The resource section's bytes for Resources, its data at SectionRva.
TBytes ResourceSectionBytes(const std::vector<TResource>& Resources, uint32_t SectionRva) {
  struct TKeyLess {
    bool operator()(const TResourceKey& A, const TResourceKey& B) const { return KeyLess(A, B); }
  };
  std::map<TResourceKey, std::map<TResourceKey, std::map<uint16_t, const TResource*>, TKeyLess>, TKeyLess> tree;
  for (const TResource& r : Resources) tree[r.Type][r.Name][r.Language] = &r;

  auto directorySize = [](size_t entries) { return static_cast<uint32_t>(16 + entries * 8); };
  // Sizes first: the directories, the data entries, the names, the data.
  uint32_t directories = directorySize(tree.size()), dataEntries = 0, names = 0;
  for (const auto& [type, byName] : tree) {
    directories += directorySize(byName.size());
    if (!type.Name.empty()) names += 2 + static_cast<uint32_t>(type.Name.size()) * 2;
    for (const auto& [name, byLanguage] : byName) {
      directories += directorySize(byLanguage.size());
      dataEntries += static_cast<uint32_t>(byLanguage.size()) * 16;
      if (!name.Name.empty()) names += 2 + static_cast<uint32_t>(name.Name.size()) * 2;
    }
  }
  const uint32_t namesAt = directories + dataEntries;
  TBytes out(AlignUp(namesAt + names, 8), 0);
  uint32_t nextDirectory = 0, nextEntry = directories, nextName = namesAt;
  auto putName = [&](const TResourceKey& key) -> uint32_t {
    if (key.Name.empty()) return key.Id;
    const uint32_t at = nextName;
    PutU16(out.data() + at, static_cast<uint16_t>(key.Name.size()));
    for (size_t c = 0; c < key.Name.size(); ++c) PutU16(out.data() + at + 2 + c * 2, key.Name[c]);
    nextName += 2 + static_cast<uint32_t>(key.Name.size()) * 2;
    return at | 0x80000000u;
  };
  auto header = [&](uint32_t at, size_t named, size_t numbered) {
    PutU16(out.data() + at + 12, static_cast<uint16_t>(named));
    PutU16(out.data() + at + 14, static_cast<uint16_t>(numbered));
  };
  auto countNamed = [](const auto& level) {
    size_t n = 0;
    for (const auto& item : level) n += item.first.Name.empty() ? 0 : 1;
    return n;
  };
  // Writes directory At's header and its entries for Level's items, each
  // pointing to a subdirectory of its own made next; returns those, with the
  // items they are for.
  auto subdirectories = [&](uint32_t at, const auto& level) {
    using TInner = typename std::decay_t<decltype(level)>::mapped_type;
    header(at, countNamed(level), level.size() - countNamed(level));
    std::vector<std::pair<uint32_t, const TInner*>> made;
    uint32_t slot = at + 16;
    for (const auto& [key, inner] : level) {
      const uint32_t sub = nextDirectory;
      nextDirectory += directorySize(inner.size());
      PutU32(out.data() + slot, putName(key));
      PutU32(out.data() + slot + 4, sub | 0x80000000u);
      slot += 8;
      made.emplace_back(sub, &inner);
    }
    return made;
  };
  // Breadth first: the root, then each type's directory, then each name's.
  const uint32_t root = nextDirectory;
  nextDirectory += directorySize(tree.size());
  std::vector<std::pair<uint32_t, const std::map<uint16_t, const TResource*>*>> nameDirectories;
  for (const auto& [at, byName] : subdirectories(root, tree)) {
    for (const auto& made : subdirectories(at, *byName)) nameDirectories.push_back(made);
  }
  uint32_t slot = 0;
  for (const auto& [at, byLanguage] : nameDirectories) {
    header(at, 0, byLanguage->size());
    slot = at + 16;
    for (const auto& [language, resource] : *byLanguage) {
      const uint32_t entry = nextEntry;
      nextEntry += 16;
      PutU32(out.data() + slot, language);
      PutU32(out.data() + slot + 4, entry);
      slot += 8;
      out.resize(AlignUp(static_cast<uint32_t>(out.size()), 8), 0);
      PutU32(out.data() + entry, SectionRva + static_cast<uint32_t>(out.size()));
      PutU32(out.data() + entry + 4, static_cast<uint32_t>(resource->Data.size()));
      out.insert(out.end(), resource->Data.begin(), resource->Data.end());
    }
  }
  return out;
}

// The PE checksum: 16-bit words summed with their carries, the checksum
// field itself skipped, plus the file's length.
uint32_t PeChecksum(const TBytes& Image, size_t ChecksumAt) {
  uint64_t sum = 0;
  for (size_t i = 0; i < Image.size(); i += 2) {
    if (i == ChecksumAt || i == ChecksumAt + 2) continue;
    const uint32_t word = i + 1 < Image.size() ? GetU16(Image.data() + i) : Image[i];
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + Image.size());
}

// "1.2.3.4" as the four 16-bit parts of a fixed version.
void VersionParts(const std::string& Text, uint16_t (&Parts)[4]) {
  size_t part = 0;
  uint32_t value = 0;
  bool digits = true;
  for (size_t i = 0; i <= Text.size() && part < 4; ++i) {
    const char c = i < Text.size() ? Text[i] : '.';
    if (c == '.') {
      Parts[part++] = digits ? static_cast<uint16_t>(std::min<uint32_t>(value, 0xFFFF)) : 0;
      value = 0;
      digits = true;
    } else if (c >= '0' && c <= '9' && digits) {
      value = std::min<uint32_t>(value * 10 + static_cast<uint32_t>(c - '0'), 0x10000);
    } else {
      digits = false;
    }
  }
  while (part < 4) Parts[part++] = 0;
}

// One block of a version resource: length, value length, type, key, value,
// children, each aligned to 4 bytes.
class TVersionBlock {
 public:
  TVersionBlock(const char16_t* Key, uint16_t Type) : type_(Type) { key_ = Key; }
  void BinaryValue(const TBytes& Value) {
    value_ = Value;
    valueLength_ = static_cast<uint16_t>(Value.size());
  }
  void TextValue(const WideString& Value) {
    value_.clear();
    for (char16_t c : Value) {
      value_.push_back(static_cast<uint8_t>(c));
      value_.push_back(static_cast<uint8_t>(c >> 8));
    }
    value_.push_back(0);
    value_.push_back(0);
    valueLength_ = static_cast<uint16_t>(Value.size() + 1);  // in characters
  }
  void Add(const TVersionBlock& Child) { children_.push_back(Child.Bytes()); }
  TBytes Bytes() const {
    TBytes out(6, 0);
    for (char16_t c : key_) {
      out.push_back(static_cast<uint8_t>(c));
      out.push_back(static_cast<uint8_t>(c >> 8));
    }
    out.insert(out.end(), 2, 0);
    out.resize(AlignUp(static_cast<uint32_t>(out.size()), 4), 0);
    out.insert(out.end(), value_.begin(), value_.end());
    for (const TBytes& child : children_) {
      out.resize(AlignUp(static_cast<uint32_t>(out.size()), 4), 0);
      out.insert(out.end(), child.begin(), child.end());
    }
    PutU16(out.data(), static_cast<uint16_t>(out.size()));
    PutU16(out.data() + 2, valueLength_);
    PutU16(out.data() + 4, type_);
    return out;
  }

 private:
  WideString key_;
  uint16_t type_;
  uint16_t valueLength_ = 0;
  TBytes value_;
  std::vector<TBytes> children_;
};

}  // namespace

bool IsPortableExecutable(const TBytes& Image) {
  if (Image.size() < 64 || Image[0] != 'M' || Image[1] != 'Z') return false;
  const uint64_t pe = GetU32(Image.data() + 0x3C);
  return pe + 24 <= Image.size() && GetU32(Image.data() + pe) == 0x00004550;
}

bool ReadResources(const TBytes& Image, std::vector<TResource>& Resources, std::string& Error) {
  TPeLayout layout;
  uint16_t index = 0;
  if (!Layout(Image, layout, Error) || !ResourceSection(Image, layout, index, Error)) return false;
  const uint8_t* h = Image.data() + SectionAt(layout, index);
  const uint32_t rva = GetU32(h + 12), raw = GetU32(h + 16), pointer = GetU32(h + 20);
  Resources.clear();
  return TTreeReader(Image.data() + pointer, raw, rva, Image, layout).Read(Resources, Error);
}

bool WriteResources(TBytes& Image, const std::vector<TResource>& Resources, std::string& Error) {
  TPeLayout L;
  uint16_t index = 0;
  if (!Layout(Image, L, Error) || !ResourceSection(Image, L, index, Error)) return false;
  if (L.DirectoryCount > kSecurityDirectory && GetU32(Image.data() + L.Directories + kSecurityDirectory * 8 + 4)) {
    Error = "it is signed: change its resources before it is signed";
    return false;
  }
  // Nothing may follow the sections: it would have to move too.
  uint64_t end = 0;
  for (uint16_t s = 0; s < L.SectionCount; ++s) {
    const uint8_t* h = Image.data() + SectionAt(L, s);
    if (GetU32(h + 16)) end = std::max<uint64_t>(end, static_cast<uint64_t>(GetU32(h + 20)) + GetU32(h + 16));
  }
  if (end != Image.size()) {
    Error = "data follows its last section";
    return false;
  }
  uint8_t* h = Image.data() + SectionAt(L, index);
  const uint32_t rva = GetU32(h + 12), oldRaw = GetU32(h + 16), pointer = GetU32(h + 20);
  const uint32_t oldVirtual = std::max(GetU32(h + 8), oldRaw);
  TBytes section = ResourceSectionBytes(Resources, rva);
  const uint32_t newVirtual = static_cast<uint32_t>(section.size());
  const uint32_t newRaw = AlignUp(newVirtual, L.FileAlignment);
  section.resize(newRaw, 0);
  const int64_t fileShift = static_cast<int64_t>(newRaw) - oldRaw;
  const int64_t rvaShift =
      static_cast<int64_t>(AlignUp(newVirtual, L.SectionAlignment)) - AlignUp(oldVirtual, L.SectionAlignment);
  const uint32_t oldEnd = rva + AlignUp(oldVirtual, L.SectionAlignment);

  TBytes out(Image.begin(), Image.begin() + pointer);
  out.insert(out.end(), section.begin(), section.end());
  out.insert(out.end(), Image.begin() + pointer + oldRaw, Image.end());
  h = out.data() + SectionAt(L, index);
  PutU32(h + 8, newVirtual);
  PutU32(h + 16, newRaw);
  // The sections after it, and what points into them, move.
  for (uint16_t s = 0; s < L.SectionCount; ++s) {
    uint8_t* other = out.data() + SectionAt(L, s);
    if (s == index || GetU32(other + 12) < oldEnd) continue;
    PutU32(other + 12, static_cast<uint32_t>(GetU32(other + 12) + rvaShift));
    if (GetU32(other + 20) > pointer) PutU32(other + 20, static_cast<uint32_t>(GetU32(other + 20) + fileShift));
  }
  for (uint32_t d = 0; d < L.DirectoryCount; ++d) {
    uint8_t* entry = out.data() + L.Directories + d * 8;
    if (d != kResourceDirectory && GetU32(entry) >= oldEnd)
      PutU32(entry, static_cast<uint32_t>(GetU32(entry) + rvaShift));
  }
  PutU32(out.data() + L.Directories + kResourceDirectory * 8 + 4, newVirtual);
  // The image's size: the end of its last section in memory.
  uint32_t imageEnd = 0;
  for (uint16_t s = 0; s < L.SectionCount; ++s) {
    const uint8_t* sh = out.data() + SectionAt(L, s);
    imageEnd =
        std::max(imageEnd, AlignUp(GetU32(sh + 12) + std::max(GetU32(sh + 8), GetU32(sh + 16)), L.SectionAlignment));
  }
  PutU32(out.data() + L.Optional + 56, imageEnd);
  PutU32(out.data() + L.Optional + 8, static_cast<uint32_t>(GetU32(out.data() + L.Optional + 8) + fileShift));
  const size_t checksumAt = L.Optional + 64;
  if (GetU32(out.data() + checksumAt) != 0) {
    PutU32(out.data() + checksumAt, 0);
    PutU32(out.data() + checksumAt, PeChecksum(out, checksumAt));
  }
  Image = std::move(out);
  return true;
}

bool SetIcon(std::vector<TResource>& Resources, const TBytes& Icon, std::string& Error) {
  const size_t size = Icon.size();
  if (size < 6 || GetU16(Icon.data()) != 0 || GetU16(Icon.data() + 2) != 1 || GetU16(Icon.data() + 4) == 0) {
    Error = "not an icon file";
    return false;
  }
  const uint16_t count = GetU16(Icon.data() + 4);
  if (6 + static_cast<size_t>(count) * 16 > size) {
    Error = "its directory runs past its end";
    return false;
  }
  uint16_t language = 0;
  for (const TResource& r : Resources) {
    if (r.Type.Name.empty() && r.Type.Id == kResourceIcon) {
      language = r.Language;
      break;
    }
  }
  std::vector<TResource> icons;
  TBytes group(6, 0);
  PutU16(group.data() + 2, 1);
  PutU16(group.data() + 4, count);
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* e = Icon.data() + 6 + i * 16;
    const uint32_t bytes = GetU32(e + 8), offset = GetU32(e + 12);
    if (bytes == 0 || static_cast<uint64_t>(offset) + bytes > size) {
      Error = "image " + std::to_string(i + 1) + " runs past its end";
      return false;
    }
    // The directory entry without its file offset, with the image's number.
    group.insert(group.end(), e, e + 12);
    group.push_back(static_cast<uint8_t>(i + 1));
    group.push_back(static_cast<uint8_t>((i + 1) >> 8));
    icons.push_back({{kResourceIcon, {}},
                     {static_cast<uint16_t>(i + 1), {}},
                     language,
                     TBytes(Icon.begin() + offset, Icon.begin() + offset + bytes)});
  }
  icons.push_back({{kResourceGroupIcon, {}}, {1, {}}, language, group});
  std::erase_if(Resources, [](const TResource& r) {
    return r.Type.Name.empty() && (r.Type.Id == kResourceIcon || r.Type.Id == kResourceGroupIcon);
  });
  Resources.insert(Resources.end(), icons.begin(), icons.end());
  return true;
}

void SetVersion(std::vector<TResource>& Resources, const TVersionInfo& Info) {
  std::erase_if(Resources, [](const TResource& r) { return r.Type.Name.empty() && r.Type.Id == kResourceVersion; });
  uint16_t parts[4];
  VersionParts(Info.Version, parts);
  TBytes fixed(52, 0);
  PutU32(fixed.data(), 0xFEEF04BD);      // the signature
  PutU32(fixed.data() + 4, 0x00010000);  // the structure's version
  for (int v : {8, 16}) {                // the file's and the product's version
    PutU32(fixed.data() + v, static_cast<uint32_t>(parts[0]) << 16 | parts[1]);
    PutU32(fixed.data() + v + 4, static_cast<uint32_t>(parts[2]) << 16 | parts[3]);
  }
  PutU32(fixed.data() + 24, 0x3F);     // the flags that count
  PutU32(fixed.data() + 32, 0x40004);  // Windows NT, 32-bit Windows
  PutU32(fixed.data() + 36, 1);        // an application
  TVersionBlock root(u"VS_VERSION_INFO", 0);
  root.BinaryValue(fixed);
  TVersionBlock table(u"040904B0", 1);
  const std::pair<const char16_t*, const std::string*> texts[] = {
      {u"CompanyName", &Info.Publisher},   {u"FileDescription", &Info.Description},
      {u"FileVersion", &Info.Version},     {u"OriginalFilename", &Info.FileName},
      {u"ProductName", &Info.ProductName}, {u"ProductVersion", &Info.Version}};
  for (const auto& [key, value] : texts) {
    if (value->empty()) continue;
    TVersionBlock text(key, 1);
    text.TextValue(platform::TextToWide(*value));
    table.Add(text);
  }
  TVersionBlock strings(u"StringFileInfo", 1);
  strings.Add(table);
  root.Add(strings);
  TVersionBlock translation(u"Translation", 0);
  translation.BinaryValue({0x09, 0x04, 0xB0, 0x04});  // US English, Unicode
  TVersionBlock vars(u"VarFileInfo", 1);
  vars.Add(translation);
  root.Add(vars);
  Resources.push_back({{kResourceVersion, {}}, {1, {}}, 0x0409, root.Bytes()});
}
