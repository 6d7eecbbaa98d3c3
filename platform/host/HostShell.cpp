// Shell services of the emulated machine: special folders from machine.ini and
// shell links in the binary shell-link format, so a Windows shell can open the
// links the host build writes.
#include <cstring>

#include "platform/Platform.h"
#include "platform/host/HostMachine.h"

namespace platform {
namespace {

constexpr uint32_t kHeaderSize = 0x4C;
constexpr uint8_t kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

constexpr uint32_t kHasLinkTargetIdList = 0x01;
constexpr uint32_t kHasLinkInfo = 0x02;
constexpr uint32_t kHasName = 0x04;
constexpr uint32_t kHasRelativePath = 0x08;
constexpr uint32_t kHasWorkingDir = 0x10;
constexpr uint32_t kHasArguments = 0x20;
constexpr uint32_t kHasIconLocation = 0x40;
constexpr uint32_t kIsUnicode = 0x80;

constexpr uint32_t kVolumeIdAndLocalBasePath = 0x01;
constexpr uint32_t kLinkInfoHeaderSize = 0x1C;
constexpr uint32_t kVolumeIdHeaderSize = 0x10;

void PutU16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

void PutU32(std::string& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

void PutStringData(std::string& out, const std::string& text) {
  WideString w = TextToWide(text);
  if (w.size() > 0xFFFF) w.resize(0xFFFF);
  PutU16(out, static_cast<uint32_t>(w.size()));
  for (char16_t c : w) PutU16(out, c);
}

// Bounded reads over the link file's bytes.
struct Reader {
  const std::string& data;
  size_t pos = 0;
  bool ok = true;

  uint32_t U16() {
    if (pos + 2 > data.size()) {
      ok = false;
      return 0;
    }
    uint32_t v = static_cast<uint8_t>(data[pos]) | (static_cast<uint8_t>(data[pos + 1]) << 8);
    pos += 2;
    return v;
  }
  uint32_t U32() {
    uint32_t lo = U16();
    return lo | (U16() << 16);
  }
  std::string StringData(bool unicode) {
    uint32_t count = U16();
    if (unicode) {
      WideString w;
      for (uint32_t i = 0; i < count && ok; ++i) w += static_cast<char16_t>(U16());
      return WideToUtf8(w);
    }
    if (pos + count > data.size()) {
      ok = false;
      return {};
    }
    std::string s = data.substr(pos, count);
    pos += count;
    return Cp1252ToUtf8(s);
  }
};

std::string CString(const std::string& data, size_t at, size_t limit) {
  if (at >= limit) return {};
  size_t end = data.find('\0', at);
  if (end == std::string::npos || end > limit) end = limit;
  return data.substr(at, end - at);
}

bool ReadAll(const std::string& path, std::string& bytes) {
  File f;
  if (!f.Open(path, kAccessRead, kShareRead, FileDisposition::kOpenExisting)) return false;
  int64_t size = f.Size();
  if (size < 0 || size > (16 << 20)) return false;
  bytes.resize(static_cast<size_t>(size));
  return f.Read(bytes.data(), static_cast<uint32_t>(size)) == size;
}

}  // namespace

std::string SpecialFolder(int Csidl) {
  const auto& folders = host::Machine().Folders;
  auto it = folders.find(Csidl);
  return it == folders.end() ? std::string() : it->second;
}

bool SaveShellLink(const std::string& LinkPath, const ShellLink& Link) {
  uint32_t flags = kHasLinkInfo | kIsUnicode;
  if (!Link.WorkingDir.empty()) flags |= kHasWorkingDir;
  if (!Link.Arguments.empty()) flags |= kHasArguments;
  if (!Link.IconPath.empty()) flags |= kHasIconLocation;

  std::string out;
  PutU32(out, kHeaderSize);
  out.append(reinterpret_cast<const char*>(kLinkClsid), sizeof(kLinkClsid));
  PutU32(out, flags);
  PutU32(out, FileExists(Link.Target) || Link.Target.empty() ? kAttributeArchive : kAttributeNormal);
  out.append(24, '\0');  // creation, access and write times
  PutU32(out, 0);        // target size
  PutU32(out, static_cast<uint32_t>(Link.IconIndex));
  PutU32(out, static_cast<uint32_t>(Link.ShowCommand));
  PutU16(out, 0);  // hot key
  out.append(10, '\0');

  // LinkInfo: a local volume and the target as its base path.
  std::string volume;
  DriveType type = host::IsMachinePath(Link.Target) ? GetDriveType(Link.Target.substr(0, 3)) : DriveType::kFixed;
  PutU32(volume, kVolumeIdHeaderSize + 1);
  PutU32(volume, static_cast<uint32_t>(type));
  PutU32(volume, 0x1C0FFEE1);  // serial number
  PutU32(volume, kVolumeIdHeaderSize);
  volume += '\0';  // empty label
  // The base path in the system code page (Windows-1252 here, "?" for what
  // it lacks) and, when that loses a character, in UTF-16 after it too.
  std::string ansiTarget;
  bool whole = Utf8ToCp1252(Link.Target, ansiTarget);
  if (!whole) Utf8ToCp1252(WideToUtf8(Cp1252Only(TextToWide(Link.Target))), ansiTarget);
  uint32_t headerSize = whole ? kLinkInfoHeaderSize : kLinkInfoHeaderSize + 8;
  uint32_t volumeOffset = headerSize;
  uint32_t basePathOffset = volumeOffset + static_cast<uint32_t>(volume.size());
  uint32_t suffixOffset = basePathOffset + static_cast<uint32_t>(ansiTarget.size()) + 1;
  uint32_t unicodeOffset = suffixOffset + 1;
  WideString wideTarget = TextToWide(Link.Target);
  uint32_t unicodeSuffixOffset = unicodeOffset + static_cast<uint32_t>(wideTarget.size() + 1) * 2;
  uint32_t infoSize = whole ? suffixOffset + 1 : unicodeSuffixOffset + 2;
  PutU32(out, infoSize);
  PutU32(out, headerSize);
  PutU32(out, kVolumeIdAndLocalBasePath);
  PutU32(out, volumeOffset);
  PutU32(out, basePathOffset);
  PutU32(out, 0);  // no network location
  PutU32(out, suffixOffset);
  if (!whole) {
    PutU32(out, unicodeOffset);
    PutU32(out, unicodeSuffixOffset);
  }
  out += volume;
  out += ansiTarget;
  out += '\0';
  out += '\0';  // empty common path suffix
  if (!whole) {
    for (char16_t c : wideTarget) PutU16(out, c);
    PutU16(out, 0);
    PutU16(out, 0);  // empty common path suffix
  }

  if (flags & kHasWorkingDir) PutStringData(out, Link.WorkingDir);
  if (flags & kHasArguments) PutStringData(out, Link.Arguments);
  if (flags & kHasIconLocation) PutStringData(out, Link.IconPath);
  PutU32(out, 0);  // no extra data blocks

  File f;
  if (!f.Open(LinkPath, kAccessWrite, kShareNone, FileDisposition::kCreateAlways)) return false;
  return f.Write(out.data(), static_cast<uint32_t>(out.size())) == out.size();
}

bool LoadShellLink(const std::string& LinkPath, ShellLink& Link) {
  Link = ShellLink{};
  std::string data;
  if (!ReadAll(LinkPath, data)) return false;
  Reader r{data};
  if (r.U32() != kHeaderSize || data.size() < kHeaderSize || std::memcmp(data.data() + 4, kLinkClsid, 16) != 0) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  r.pos = 20;
  uint32_t flags = r.U32();
  r.pos = 56;
  Link.IconIndex = static_cast<int>(r.U32());
  Link.ShowCommand = static_cast<int>(r.U32());
  r.pos = kHeaderSize;
  if (flags & kHasLinkTargetIdList) r.pos += r.U16();
  if (flags & kHasLinkInfo) {
    size_t start = r.pos;
    uint32_t size = r.U32();
    if (!r.ok || size < kLinkInfoHeaderSize || start + size > data.size()) return false;
    r.pos = start + 8;
    uint32_t infoFlags = r.U32();
    r.pos = start + 16;
    uint32_t basePath = r.U32();
    r.pos = start + 24;
    uint32_t suffix = r.U32();
    r.pos = start + 4;
    uint32_t headerSize = r.U32();
    if (infoFlags & kVolumeIdAndLocalBasePath) {
      Link.Target =
          Cp1252ToUtf8(CString(data, start + basePath, start + size) + CString(data, start + suffix, start + size));
    }
    if ((infoFlags & kVolumeIdAndLocalBasePath) && headerSize >= kLinkInfoHeaderSize + 8) {
      r.pos = start + kLinkInfoHeaderSize;
      Reader w{data, start + r.U32()};
      WideString wide;
      for (char16_t c = 0; w.pos + 2 <= start + size && (c = static_cast<char16_t>(w.U16())) != 0;) wide += c;
      Link.Target = WideToUtf8(wide);
    }
    r.pos = start + size;
  }
  bool unicode = (flags & kIsUnicode) != 0;
  if (flags & kHasName) r.StringData(unicode);
  if (flags & kHasRelativePath) r.StringData(unicode);
  if (flags & kHasWorkingDir) Link.WorkingDir = r.StringData(unicode);
  if (flags & kHasArguments) Link.Arguments = r.StringData(unicode);
  if (flags & kHasIconLocation) Link.IconPath = r.StringData(unicode);
  return r.ok;
}

}  // namespace platform
