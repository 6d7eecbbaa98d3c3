#include "builder/PackCache.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "builder/Deflate.h"
#include "common/Crc32.h"
#include "common/Exceptions.h"
#include "common/FileUtils.h"
#include "common/Inflate.h"

namespace {

constexpr char kEntryMagic[8] = {'w', 'z', 'p', 'c', 'a', 'c', 'h', 'e'};
constexpr uint32_t kEntryVersion = 2;
constexpr char kIndexHead[] = "wizpak cache index 1";

std::string Hex(uint32_t Value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i, Value >>= 4) out[static_cast<size_t>(i)] = kDigits[Value & 15];
  return out;
}

// A name of this write's own beside Path, so two builds never write one file.
std::string TemporaryBeside(const std::string& Path) {
  uint32_t random[2] = {0, 0};
  platform::RandomBytes(random, sizeof random);
  return Path + ".tmp-" + Hex(random[0]) + Hex(random[1]);
}

// Writes Bytes to Path whole: under a name of its own, then renamed.
bool WriteWhole(const std::string& Path, const TBytes& Bytes) {
  const std::string temporary = TemporaryBeside(Path);
  if (!WriteWholeFile(temporary, Bytes.data(), static_cast<uint32_t>(Bytes.size()), nullptr)) {
    platform::DeleteFile(temporary);
    return false;
  }
  if (platform::MoveFile(temporary, Path, true)) return true;
  platform::DeleteFile(temporary);
  return false;
}

void MakeFolder(const std::string& Path) {
  if (!platform::DirectoryExists(Path)) platform::CreateDirectory(Path);
}

// Makes Path and its missing parents.
bool MakeFolders(const std::string& Path) {
  for (size_t i = 1; i <= Path.size(); ++i) {
    if (i == Path.size() || ((Path[i] == '/' || Path[i] == '\\') && Path[i - 1] != ':')) {
      MakeFolder(Path.substr(0, i));
    }
  }
  return platform::DirectoryExists(Path);
}

void Put32(TBytes& Out, uint32_t Value) {
  for (int i = 0; i < 4; ++i) Out.push_back(static_cast<uint8_t>(Value >> (8 * i)));
}

}  // namespace

TCacheKey CacheKeyOf(const uint8_t* Data, uint32_t Size) { return {Size, Crc32(Data, Size), Adler32(Data, Size)}; }

TPackCache::TPackCache(std::string Folder, int Level, uint64_t Limit)
    : folder_(std::move(Folder)), level_(Level), limit_(Limit) {}

std::string TPackCache::EntryPath(const TCacheKey& Key) const {
  const std::string crc = Hex(Key.Crc);
  return folder_ + "/L" + std::to_string(level_) + "/" + crc.substr(0, 2) + "/" + crc + Hex(Key.Adler) + "-" +
         std::to_string(Key.Size);
}

std::string TPackCache::IndexPath() const { return folder_ + "/index-L" + std::to_string(level_); }

bool TPackCache::Open(std::string& Error) {
  if (!MakeFolders(folder_ + "/L" + std::to_string(level_))) {
    Error = "cannot make the cache folder " + folder_ + ": " + platform::DescribeError(platform::LastError());
    return false;
  }
  TBytes raw;
  try {
    raw = LoadWholeFile(IndexPath());
  } catch (const ESetupError&) {
    return true;  // no index yet
  }
  std::string text(raw.begin(), raw.end());
  size_t pos = text.find('\n');
  if (pos == std::string::npos || text.compare(0, pos, kIndexHead) != 0) return true;
  for (++pos; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) break;
    // size, write time, key (size, CRC-32, Adler-32), the stored form's CRC-32, path
    const char* p = text.c_str() + pos;
    char* next = nullptr;
    TRecord r;
    uint64_t fields[6];
    bool ok = true;
    for (uint64_t& f : fields) {
      f = std::strtoull(p, &next, 10);
      ok = ok && next != p && *next == '\t';
      p = next + (ok ? 1 : 0);
    }
    if (ok && fields[2] <= 0xFFFFFFFFu && fields[3] <= 0xFFFFFFFFu && fields[4] <= 0xFFFFFFFFu &&
        fields[5] <= 0xFFFFFFFFu) {
      r.Size = fields[0];
      r.Modified = fields[1];
      r.Key = {static_cast<uint32_t>(fields[2]), static_cast<uint32_t>(fields[3]), static_cast<uint32_t>(fields[4])};
      r.Checksum = static_cast<uint32_t>(fields[5]);
      index_[text.substr(static_cast<size_t>(p - text.c_str()), end - static_cast<size_t>(p - text.c_str()))] = r;
    }
    pos = end + 1;
  }
  return true;
}

std::optional<TStoredForm> TPackCache::Load(const TCacheKey& Key) const {
  TBytes raw;
  try {
    raw = LoadWholeFile(EntryPath(Key));
  } catch (const ESetupError&) {
    return std::nullopt;
  }
  const std::string compressor = CompressorName();
  const size_t head = sizeof kEntryMagic + 4 + 4 + 2 + compressor.size() + 5 * 4 + 4;
  if (raw.size() < head || std::memcmp(raw.data(), kEntryMagic, sizeof kEntryMagic) != 0) return std::nullopt;
  const uint8_t* p = raw.data() + sizeof kEntryMagic;
  if (GetU32(p) != kEntryVersion || GetU32(p + 4) != static_cast<uint32_t>(level_) ||
      GetU16(p + 8) != compressor.size() || std::memcmp(p + 10, compressor.data(), compressor.size()) != 0) {
    return std::nullopt;
  }
  p += 10 + compressor.size();
  TStoredForm form;
  const TCacheKey stored{GetU32(p), GetU32(p + 4), GetU32(p + 8)};
  form.OrigSize = stored.Size;
  form.StoredSize = GetU32(p + 12);
  form.Checksum = GetU32(p + 16);
  const uint32_t count = GetU32(p + 20);
  // The entry is the one asked for, whole: its length and its CRC-32. Data
  // stored raw is kept as a mark without its bytes, which are the data's.
  if (!(stored == Key) || count != raw.size() - head || count != form.StoredSize ||
      (form.StoredSize == 0 && (form.OrigSize == 0 || form.Checksum != Key.Crc))) {
    return std::nullopt;
  }
  form.Bytes.assign(raw.begin() + static_cast<std::ptrdiff_t>(head), raw.end());
  if (form.StoredSize != 0 && PakChecksum(form.Bytes.data(), form.Bytes.size()) != form.Checksum) return std::nullopt;
  return form;
}

std::optional<TStoredForm> TPackCache::FindUnchanged(const std::string& Path, uint64_t Size, uint64_t Modified,
                                                     TCacheKey& Key) const {
  auto it = index_.find(Path);
  if (it == index_.end() || it->second.Size != Size || it->second.Modified != Modified || Modified == 0) {
    return std::nullopt;
  }
  std::optional<TStoredForm> form = Load(it->second.Key);
  // The entry the index saw, not one written since for other data of the
  // key; a raw mark needs the data, which Find reads.
  if (!form || form->Checksum != it->second.Checksum || form->StoredSize == 0) return std::nullopt;
  Key = it->second.Key;
  ++Hits;
  return form;
}

std::optional<TStoredForm> TPackCache::Find(const uint8_t* Data, const TCacheKey& Key) const {
  std::optional<TStoredForm> form = Load(Key);
  if (!form) return std::nullopt;
  if (form->StoredSize == 0) {
    if (PakChecksum(Data, Key.Size) != form->Checksum) return std::nullopt;
    form->Bytes.assign(Data, Data + Key.Size);
  } else {
    std::optional<TBytes> inflated = InflateExact(form->Bytes.data(), form->Bytes.size(), Key.Size);
    if (!inflated || std::memcmp(inflated->data(), Data, Key.Size) != 0) return std::nullopt;
  }
  ++Hits;
  return form;
}

void TPackCache::Store(const TCacheKey& Key, const TStoredForm& Form) const {
  ++Misses;
  const std::string path = EntryPath(Key);
  MakeFolder(path.substr(0, path.rfind('/')));
  const std::string compressor = CompressorName();
  TBytes out(kEntryMagic, kEntryMagic + sizeof kEntryMagic);
  Put32(out, kEntryVersion);
  Put32(out, static_cast<uint32_t>(level_));
  out.push_back(static_cast<uint8_t>(compressor.size()));
  out.push_back(static_cast<uint8_t>(compressor.size() >> 8));
  out.insert(out.end(), compressor.begin(), compressor.end());
  // Raw data (it did not compress) is kept as a mark: the attempt is saved,
  // and the bytes are the data's own.
  const uint32_t count = Form.StoredSize ? static_cast<uint32_t>(Form.Bytes.size()) : 0;
  for (uint32_t v : {Key.Size, Key.Crc, Key.Adler, Form.StoredSize, Form.Checksum, count}) Put32(out, v);
  out.insert(out.end(), Form.Bytes.begin(), Form.Bytes.begin() + count);
  WriteWhole(path, out);
}

void TPackCache::Remember(const std::string& Path, uint64_t Size, uint64_t Modified, const TCacheKey& Key,
                          uint32_t Checksum) {
  if (Path.find_first_of("\r\n\t") != std::string::npos || Modified == 0) return;
  seen_[Path] = {Size, Modified, Key, Checksum};
}

void TPackCache::Close() {
  // What this build saw wins; other files the index knew stay known.
  std::map<std::string, TRecord> merged = index_;
  for (const auto& [path, record] : seen_) merged[path] = record;
  std::string text = std::string(kIndexHead) + "\n";
  for (const auto& [path, r] : merged) {
    text += std::to_string(r.Size) + "\t" + std::to_string(r.Modified) + "\t" + std::to_string(r.Key.Size) + "\t" +
            std::to_string(r.Key.Crc) + "\t" + std::to_string(r.Key.Adler) + "\t" + std::to_string(r.Checksum) + "\t" +
            path + "\n";
  }
  WriteWhole(IndexPath(), TBytes(text.begin(), text.end()));
  Trim();
}

void TPackCache::Trim() {
  struct TKept {
    uint64_t Modified, Size;
    std::string Path;
  };
  std::vector<TKept> kept;
  uint64_t total = 0;
  std::vector<platform::DirEntry> levels, prefixes, files;
  platform::ListDirectory(folder_, levels);
  for (const platform::DirEntry& l : levels) {
    if (!l.IsDirectory() || l.Name.size() < 2 || l.Name[0] != 'L') continue;
    const std::string level = folder_ + "/" + l.Name;
    platform::ListDirectory(level, prefixes);
    for (const platform::DirEntry& p : prefixes) {
      if (!p.IsDirectory()) continue;
      platform::ListDirectory(level + "/" + p.Name, files);
      for (const platform::DirEntry& f : files) {
        if (f.IsDirectory()) continue;
        kept.push_back({f.Modified, f.Size, level + "/" + p.Name + "/" + f.Name});
        total += f.Size;
      }
    }
  }
  if (total <= limit_) return;
  std::sort(kept.begin(), kept.end(), [](const TKept& a, const TKept& b) { return a.Modified < b.Modified; });
  for (const TKept& k : kept) {
    if (total <= limit_) break;
    if (platform::DeleteFile(k.Path)) total -= k.Size;
  }
}
