#include "builder/PackCache.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

#include "builder/Deflate.h"
#include "common/Crc32.h"
#include "common/Exceptions.h"
#include "common/FileUtils.h"
#include "common/Inflate.h"

namespace {

constexpr char kEntryMagic[8] = {'w', 'z', 'p', 'c', 'a', 'c', 'h', 'e'};
constexpr uint32_t kEntryVersion = 2;
constexpr char kIndexHead[] = "wizpak cache index 1";
// A pack: its head, the entries one after another, then the directory (for
// each entry its key, offset and length) and the directory's place, its
// count and the end mark.
constexpr char kPackMagic[8] = {'w', 'z', 'p', 'c', 'p', 'a', 'c', 'k'};
constexpr char kPackEndMagic[8] = {'w', 'z', 'p', 'c', 'd', 'i', 'r', '1'};
constexpr uint32_t kPackVersion = 1;
constexpr size_t kPackHead = sizeof kPackMagic + 4 + 4;
constexpr size_t kDirectoryRecord = 3 * 4 + 8 + 4;
constexpr size_t kPackFoot = 8 + 4 + sizeof kPackEndMagic;
constexpr char kPackPrefix[] = "pack-";
constexpr char kTemporaryPack[] = ".tmp";

std::string Hex(uint32_t Value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i, Value >>= 4) out[static_cast<size_t>(i)] = kDigits[Value & 15];
  return out;
}

// 16 letters from the system's random source: names of a build's own.
std::string RandomName() {
  uint32_t random[2] = {0, 0};
  platform::RandomBytes(random, sizeof random);
  return Hex(random[0]) + Hex(random[1]);
}

// A name of this write's own beside Path, so two builds never write one file.
std::string TemporaryBeside(const std::string& Path) { return Path + ".tmp-" + RandomName(); }

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

void Put64(TBytes& Out, uint64_t Value) {
  Put32(Out, static_cast<uint32_t>(Value));
  Put32(Out, static_cast<uint32_t>(Value >> 32));
}

bool StartsWith(const std::string& Text, const char* Prefix) { return Text.rfind(Prefix, 0) == 0; }

bool EndsWith(const std::string& Text, const std::string& End) {
  return Text.size() >= End.size() && Text.compare(Text.size() - End.size(), End.size(), End) == 0;
}

// Count bytes of Handle at Offset, all of them.
bool ReadAt(platform::File& Handle, uint64_t Offset, uint32_t Count, TBytes& Out) {
  Out.resize(Count);
  return Handle.Seek(static_cast<int64_t>(Offset), platform::SeekOrigin::kBegin) &&
         (Count == 0 || Handle.Read(Out.data(), Count) == Count);
}

}  // namespace

TCacheKey CacheKeyOf(const uint8_t* Data, uint32_t Size) { return {Size, Crc32(Data, Size), Adler32(Data, Size)}; }

struct TPackCache::TPackWriter {
  std::string path;  // the final name; the file is written beside it until the build ends
  std::string temporary;
  platform::File file;
  uint64_t size = 0;
  bool broken = false;
  TBytes directory;
  std::set<TCacheKey, TKeyOrder> stored;  // the keys this pack holds

  bool Append(const TBytes& Bytes) {
    if (broken) return false;
    broken = file.Write(Bytes.data(), static_cast<uint32_t>(Bytes.size())) != Bytes.size();
    size += Bytes.size();
    return !broken;
  }
};

TPackCache::TPackCache(std::string Folder, int Level, uint64_t Limit)
    : folder_(std::move(Folder)), level_(Level), limit_(Limit) {}

TPackCache::~TPackCache() {
  // A build that never closed its cache leaves no half-written pack.
  if (pack_ && pack_->file.IsOpen()) {
    pack_->file.Close();
    platform::DeleteFile(pack_->temporary);
  }
}

std::string TPackCache::LevelFolder() const { return folder_ + "/L" + std::to_string(level_); }

std::string TPackCache::IndexPath() const { return folder_ + "/index-L" + std::to_string(level_); }

bool TPackCache::Open(std::string& Error) {
  if (!MakeFolders(LevelFolder())) {
    Error = "cannot make the cache folder " + folder_ + ": " + platform::DescribeError(platform::LastError());
    return false;
  }
  // The packs, oldest first, so that a key in two packs is taken from the
  // newer.
  std::vector<platform::DirEntry> files;
  platform::ListDirectory(LevelFolder(), files);
  std::sort(files.begin(), files.end(), [](const platform::DirEntry& a, const platform::DirEntry& b) {
    return a.Modified != b.Modified ? a.Modified < b.Modified : a.Name < b.Name;
  });
  for (const platform::DirEntry& f : files) {
    if (!f.IsDirectory() && StartsWith(f.Name, kPackPrefix) && !EndsWith(f.Name, kTemporaryPack))
      ReadPack(LevelFolder() + "/" + f.Name);
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

void TPackCache::ReadPack(const std::string& Path) {
  platform::File file;
  if (!file.Open(Path, platform::kAccessRead, platform::kShareReadWrite, platform::FileDisposition::kOpenExisting))
    return;
  const int64_t size = file.Size();
  TBytes head, foot, directory;
  if (size < static_cast<int64_t>(kPackHead + kPackFoot) || !ReadAt(file, 0, kPackHead, head) ||
      std::memcmp(head.data(), kPackMagic, sizeof kPackMagic) != 0 || GetU32(head.data() + 8) != kPackVersion ||
      GetU32(head.data() + 12) != static_cast<uint32_t>(level_) ||
      !ReadAt(file, static_cast<uint64_t>(size) - kPackFoot, kPackFoot, foot) ||
      std::memcmp(foot.data() + 12, kPackEndMagic, sizeof kPackEndMagic) != 0) {
    return;
  }
  const uint64_t at = GetU64(foot.data());
  const uint32_t count = GetU32(foot.data() + 8);
  // The directory lies between the head and the foot, exactly.
  const uint64_t end = static_cast<uint64_t>(size) - kPackFoot;
  if (at < kPackHead || at > end || end - at > (64u << 20) || (end - at) / kDirectoryRecord != count ||
      (end - at) % kDirectoryRecord != 0 || !ReadAt(file, at, static_cast<uint32_t>(end - at), directory)) {
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* r = directory.data() + i * kDirectoryRecord;
    const TCacheKey key{GetU32(r), GetU32(r + 4), GetU32(r + 8)};
    const uint64_t offset = GetU64(r + 12);
    const uint32_t length = GetU32(r + 20);
    if (offset >= kPackHead && offset <= at && length <= at - offset) places_[key] = {Path, offset, length};
  }
}

std::optional<TStoredForm> TPackCache::Load(const TCacheKey& Key) const {
  auto place = places_.find(Key);
  if (place == places_.end()) return std::nullopt;
  TBytes raw;
  platform::File file;
  if (!file.Open(place->second.Pack, platform::kAccessRead, platform::kShareReadWrite,
                 platform::FileDisposition::kOpenExisting) ||
      !ReadAt(file, place->second.Offset, place->second.Length, raw)) {
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

void TPackCache::Store(const TCacheKey& Key, const TStoredForm& Form) {
  ++Misses;
  if (!pack_) {
    pack_ = std::make_unique<TPackWriter>();
    pack_->path = LevelFolder() + "/" + kPackPrefix + RandomName();
    pack_->temporary = pack_->path + kTemporaryPack;
    if (!pack_->file.Open(pack_->temporary, platform::kAccessWrite, platform::kShareNone,
                          platform::FileDisposition::kCreateNew)) {
      pack_->broken = true;
      return;
    }
    TBytes head(kPackMagic, kPackMagic + sizeof kPackMagic);
    Put32(head, kPackVersion);
    Put32(head, static_cast<uint32_t>(level_));
    pack_->Append(head);
  }
  TPackWriter& pack = *pack_;
  if (pack.broken || pack.stored.count(Key)) return;
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
  const uint64_t offset = pack.size;
  if (!pack.Append(out)) return;
  for (uint32_t v : {Key.Size, Key.Crc, Key.Adler}) Put32(pack.directory, v);
  Put64(pack.directory, offset);
  Put32(pack.directory, static_cast<uint32_t>(out.size()));
  pack.stored.insert(Key);
}

void TPackCache::Remember(const std::string& Path, uint64_t Size, uint64_t Modified, const TCacheKey& Key,
                          uint32_t Checksum) {
  if (Path.find_first_of("\r\n\t") != std::string::npos || Modified == 0) return;
  seen_[Path] = {Size, Modified, Key, Checksum};
}

void TPackCache::Close() {
  if (pack_ && pack_->file.IsOpen()) {
    TPackWriter& pack = *pack_;
    TBytes foot;
    Put64(foot, pack.size);
    Put32(foot, static_cast<uint32_t>(pack.stored.size()));
    foot.insert(foot.end(), kPackEndMagic, kPackEndMagic + sizeof kPackEndMagic);
    const bool whole = !pack.stored.empty() && pack.Append(pack.directory) && pack.Append(foot);
    pack.file.Close();
    if (!whole || !platform::MoveFile(pack.temporary, pack.path, false)) platform::DeleteFile(pack.temporary);
  }
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
  std::vector<platform::DirEntry> levels, files, old;
  platform::ListDirectory(folder_, levels);
  for (const platform::DirEntry& l : levels) {
    if (!l.IsDirectory() || l.Name.size() < 2 || l.Name[0] != 'L') continue;
    const std::string level = folder_ + "/" + l.Name;
    platform::ListDirectory(level, files);
    for (const platform::DirEntry& f : files) {
      const std::string path = level + "/" + f.Name;
      if (!f.IsDirectory()) {
        kept.push_back({f.Modified, f.Size, path});
        total += f.Size;
        continue;
      }
      // A folder of entries one file each, as earlier builds kept them: no
      // build reads them now.
      platform::ListDirectory(path, old);
      for (const platform::DirEntry& o : old) {
        if (!o.IsDirectory()) platform::DeleteFile(path + "/" + o.Name);
      }
      platform::RemoveDirectory(path);
    }
  }
  if (total <= limit_) return;
  std::sort(kept.begin(), kept.end(), [](const TKept& a, const TKept& b) { return a.Modified < b.Modified; });
  for (const TKept& k : kept) {
    if (total <= limit_) break;
    if (platform::DeleteFile(k.Path)) total -= k.Size;
  }
}
