#include "gamedata/UndoJournal.h"

#include <algorithm>
#include <cstring>

#include "common/BufferManager.h"
#include "common/Bytes.h"
#include "common/Crc32.h"
#include "common/Exceptions.h"
#include "common/FileUtils.h"
#include "common/Strings.h"

namespace {

constexpr char kMagic[8] = {'W', 'Z', 'U', 'N', 'D', 'O', 'J', '1'};
constexpr uint64_t kGranule = 64 * 1024;
// Saved ahead of a write, so that writes running through a file flush the
// journal once a megabyte rather than once a write.
constexpr uint64_t kAhead = 1024 * 1024;
constexpr uint32_t kMaxRecord = 1024 * 1024;
constexpr uint32_t kMaxSideFiles = 16;
constexpr uint32_t kMaxName = 4096;

std::string Reason() { return platform::DescribeError(platform::LastError()); }

bool ReadExact(platform::File& F, void* Buffer, uint32_t Count) { return F.Read(Buffer, Count) == Count; }

}  // namespace

void TUndoJournal::Begin(const std::vector<std::string>& SideFiles) {
  if (active_) return;
  sideFiles_ = SideFiles;
  if (Keeper) {
    std::string target = path_.substr(0, path_.size() - std::min(path_.size(), std::strlen(kUndoSuffix)));
    keepAs_ = Keeper->KeepUndoOf(target, SideFiles);
    if (keepAs_.empty()) RaiseSetupError({"Unable to start ", path_, ": the run cannot record it: ", Reason()});
  }
  int64_t size = target_.Size();
  if (size < 0) RaiseSetupError({"Unable to start ", path_, ": the size of the file cannot be taken: ", Reason()});
  originalSize_ = static_cast<uint64_t>(size);
  TBytes head(20);
  std::memcpy(head.data(), kMagic, 8);
  PutU64(head.data() + 8, originalSize_);
  PutU32(head.data() + 16, static_cast<uint32_t>(SideFiles.size()));
  for (const std::string& side : SideFiles) {
    bool exists = platform::FileExists(side);
    TBytes content = exists ? LoadWholeFile(side) : TBytes();
    WriteU16(head, static_cast<uint16_t>(side.size()));
    head.insert(head.end(), side.begin(), side.end());
    head.push_back(exists ? 1 : 0);
    WriteU32(head, static_cast<uint32_t>(content.size()));
    head.insert(head.end(), content.begin(), content.end());
  }
  WriteU32(head, Crc32(head.data(), head.size()));
  bool ok =
      journal_.Open(path_, platform::kAccessWrite, platform::kShareNone, platform::FileDisposition::kCreateAlways) &&
      journal_.Write(head.data(), static_cast<uint32_t>(head.size())) == head.size() && journal_.Flush();
  if (!ok) {
    std::string reason = Reason();
    journal_.Close();
    platform::DeleteFile(path_);
    RaiseSetupError({"Unable to write ", path_, ": ", reason});
  }
  saved_.assign(static_cast<size_t>((originalSize_ + kGranule - 1) / kGranule), 0);
  active_ = true;
}

void TUndoJournal::Append(const uint8_t* Data, size_t Size) {
  if (journal_.Write(Data, static_cast<uint32_t>(Size)) != Size) {
    RaiseSetupError({"Unable to write ", path_, ": ", Reason()});
  }
}

void TUndoJournal::Protect(uint64_t Offset, uint64_t Length) {
  if (!active_) RaiseSetupError({"Unable to change the file before ", path_, " is started"});
  uint64_t end = std::min(Offset + Length, originalSize_);
  if (Length == 0 || Offset >= end) return;
  // The granules the write touches; nothing to do when they are all saved.
  size_t first = static_cast<size_t>(Offset / kGranule), last = static_cast<size_t>((end - 1) / kGranule);
  bool needed = false;
  for (size_t g = first; g <= last; ++g) needed = needed || !saved_[g];
  if (!needed) return;
  // Those and the ones ahead, up to kAhead bytes, in records of runs of
  // granules not saved yet; flushed once.
  size_t limit = std::min(std::max(last + 1, first + static_cast<size_t>(kAhead / kGranule)), saved_.size());
  uint64_t back = target_.Position();
  TBytes record;
  for (size_t g = first; g < limit;) {
    if (saved_[g]) {
      ++g;
      continue;
    }
    size_t run = g;
    while (run < limit && !saved_[run] && run - g < kMaxRecord / kGranule) saved_[run++] = 1;
    uint64_t at = g * kGranule;
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(run * kGranule, originalSize_) - at);
    record.assign(12 + static_cast<size_t>(n) + 4, 0);
    PutU64(record.data(), at);
    PutU32(record.data() + 8, n);
    bool read = target_.Seek(static_cast<int64_t>(at), platform::SeekOrigin::kBegin) &&
                ReadExact(target_, record.data() + 12, n);
    std::string reason = Reason();
    target_.Seek(static_cast<int64_t>(back), platform::SeekOrigin::kBegin);
    if (!read) RaiseSetupError({"Unable to read the bytes to keep in ", path_, ": ", reason});
    PutU32(record.data() + 12 + n, Crc32(record.data(), 12 + static_cast<size_t>(n)));
    Append(record.data(), record.size());
    g = run;
  }
  if (!journal_.Flush()) RaiseSetupError({"Unable to write ", path_, ": ", Reason()});
}

bool TUndoJournal::Commit() {
  journal_.Close();
  if (active_ && !keepAs_.empty()) {
    if (!platform::MoveFile(path_, keepAs_, false)) return false;
  } else if (!platform::DeleteFile(path_) && platform::FileExists(path_)) {
    return false;
  }
  active_ = false;
  saved_.clear();
  return true;
}

void TUndoJournal::Rollback() {
  journal_.Close();
  if (!active_) return;
  Recover(target_, path_, sideFiles_);
  active_ = false;
  saved_.clear();
}

namespace {

struct TSideFile {
  std::string Name;
  bool Existed = false;
  TBytes Content;
};

// Where a record's old bytes are, in the target and in the journal.
struct TRecord {
  uint64_t Offset = 0;
  uint32_t Length = 0;
  uint64_t At = 0;
};

// The journal's head: the target's old length and the side files, all
// checked (magic, bounds, the side files the caller allows, the CRC-32)
// before anything is put back. False when it is cut short or not valid.
bool ReadHead(platform::File& J, const std::vector<std::string>& Allowed, uint64_t& OriginalSize,
              std::vector<TSideFile>& Sides) {
  const uint64_t journalSize = static_cast<uint64_t>(std::max<int64_t>(J.Size(), 0));
  TBytes head;  // every byte read, for the checksum
  auto take = [&](uint64_t count) -> const uint8_t* {
    if (count > journalSize - std::min<uint64_t>(head.size(), journalSize)) return nullptr;
    size_t at = head.size();
    head.resize(at + static_cast<size_t>(count));
    if (!ReadExact(J, head.data() + at, static_cast<uint32_t>(count))) return nullptr;
    return head.data() + at;
  };
  const uint8_t* fixed = take(20);
  if (!fixed || std::memcmp(fixed, kMagic, 8) != 0 || GetU32(fixed + 16) > kMaxSideFiles) return false;
  OriginalSize = GetU64(fixed + 8);
  const uint32_t count = GetU32(fixed + 16);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* length = take(2);
    if (!length || GetU16(length) > kMaxName) return false;
    const uint16_t nameLength = GetU16(length);
    const uint8_t* name = take(nameLength);
    if (!name) return false;
    TSideFile side;
    side.Name.assign(reinterpret_cast<const char*>(name), nameLength);
    // Only the side files the caller names: a journal planted beside the
    // file must not write anywhere else.
    bool allowed =
        std::any_of(Allowed.begin(), Allowed.end(), [&](const std::string& a) { return SameTextAscii(a, side.Name); });
    const uint8_t* flags = take(5);
    if (!allowed || !flags) return false;
    side.Existed = flags[0] != 0;
    const uint32_t contentLength = GetU32(flags + 1);
    const uint8_t* content = take(contentLength);
    if (!content) return false;
    side.Content.assign(content, content + contentLength);
    Sides.push_back(std::move(side));
  }
  const uint32_t crc = Crc32(head.data(), head.size());
  uint8_t stored[4];
  return ReadExact(J, stored, 4) && GetU32(stored) == crc;
}

// The records up to the first one cut short or damaged; Reach is how far
// into the target they go.
std::vector<TRecord> ReadRecords(platform::File& J, uint64_t OriginalSize, uint64_t& Reach) {
  std::vector<TRecord> records;
  TBytes record;
  while (true) {
    uint8_t fixed[12];
    const uint64_t at = J.Position() + 12;
    if (!ReadExact(J, fixed, 12)) break;
    const uint64_t offset = GetU64(fixed);
    const uint32_t n = GetU32(fixed + 8);
    if (n == 0 || n > kMaxRecord || offset > OriginalSize || n > OriginalSize - offset) break;
    record.resize(12 + static_cast<size_t>(n) + 4);
    std::memcpy(record.data(), fixed, 12);
    if (!ReadExact(J, record.data() + 12, n + 4)) break;
    if (GetU32(record.data() + 12 + n) != Crc32(record.data(), 12 + static_cast<size_t>(n))) break;
    records.push_back({offset, n, at});
    Reach = std::max(Reach, offset + n);
  }
  return records;
}

}  // namespace

bool TUndoJournal::Recover(platform::File& Target, const std::string& Path, const std::vector<std::string>& SideFiles) {
  if (!platform::FileExists(Path)) return false;
  platform::File j;
  if (!j.Open(Path, platform::kAccessRead, platform::kShareRead, platform::FileDisposition::kOpenExisting)) {
    RaiseSetupError({"Unable to read ", Path, ", left by an interrupted change: ", Reason()});
  }
  uint64_t originalSize = 0;
  std::vector<TSideFile> sides;
  bool valid = ReadHead(j, SideFiles, originalSize, sides);
  // A journal may claim an old length beyond the file only as far as its
  // records reach (an archive update cuts the file first).
  uint64_t reach = static_cast<uint64_t>(std::max<int64_t>(Target.Size(), 0));
  std::vector<TRecord> records;
  if (valid) records = ReadRecords(j, originalSize, reach);
  if (!valid || originalSize > reach) {
    // Cut short while it was started (nothing was changed yet), or not one
    // this file's update wrote: dropped unapplied.
    j.Close();
    platform::DeleteFile(Path);
    return false;
  }
  auto fail = [&](const std::string& what) {
    std::string reason = Reason();
    RaiseSetupError({"Unable to put back ", what, " from ", Path, ": ", reason});
  };
  TBytes bytes;
  for (const TRecord& r : records) {
    bytes.resize(r.Length);
    if (!j.Seek(static_cast<int64_t>(r.At), platform::SeekOrigin::kBegin) || !ReadExact(j, bytes.data(), r.Length) ||
        !Target.Seek(static_cast<int64_t>(r.Offset), platform::SeekOrigin::kBegin) ||
        Target.Write(bytes.data(), r.Length) != r.Length) {
      fail("the old bytes");
    }
  }
  if (!Target.Seek(static_cast<int64_t>(originalSize), platform::SeekOrigin::kBegin) || !Target.Truncate() ||
      !Target.Flush()) {
    fail("the old length");
  }
  for (const TSideFile& side : sides) {
    if (side.Existed) {
      platform::File f;
      if (!f.Open(side.Name, platform::kAccessWrite, platform::kShareNone, platform::FileDisposition::kCreateAlways) ||
          f.Write(side.Content.data(), static_cast<uint32_t>(side.Content.size())) != side.Content.size() ||
          !f.Flush()) {
        fail(side.Name);
      }
    } else if (platform::FileExists(side.Name) && !platform::DeleteFile(side.Name)) {
      fail("the absence of " + side.Name);
    }
  }
  j.Close();
  // A journal that cannot be deleted is applied again at the next open,
  // which puts back the same bytes.
  platform::DeleteFile(Path);
  return true;
}
