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
  int64_t size = target_.Size();
  if (size < 0) throw ESetupError("Unable to start " + path_ + ": the size of the file cannot be taken: " + Reason());
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
  bool ok = journal_.Open(path_, platform::kAccessWrite, platform::kShareNone, platform::FileDisposition::kCreateAlways) &&
            journal_.Write(head.data(), static_cast<uint32_t>(head.size())) == head.size() && journal_.Flush();
  if (!ok) {
    std::string reason = Reason();
    journal_.Close();
    platform::DeleteFile(path_);
    throw ESetupError("Unable to write " + path_ + ": " + reason);
  }
  saved_.assign(static_cast<size_t>((originalSize_ + kGranule - 1) / kGranule), 0);
  active_ = true;
}

void TUndoJournal::Append(const uint8_t* Data, size_t Size) {
  if (journal_.Write(Data, static_cast<uint32_t>(Size)) != Size) {
    throw ESetupError("Unable to write " + path_ + ": " + Reason());
  }
}

void TUndoJournal::Protect(uint64_t Offset, uint64_t Length) {
  if (!active_) throw ESetupError("Unable to change the file before " + path_ + " is started");
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
    if (!read) throw ESetupError("Unable to read the bytes to keep in " + path_ + ": " + reason);
    PutU32(record.data() + 12 + n, Crc32(record.data(), 12 + static_cast<size_t>(n)));
    Append(record.data(), record.size());
    g = run;
  }
  if (!journal_.Flush()) throw ESetupError("Unable to write " + path_ + ": " + Reason());
}

bool TUndoJournal::Commit() {
  journal_.Close();
  if (!platform::DeleteFile(path_) && platform::FileExists(path_)) return false;
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

bool TUndoJournal::Recover(platform::File& Target, const std::string& Path, const std::vector<std::string>& SideFiles) {
  if (!platform::FileExists(Path)) return false;
  platform::File j;
  if (!j.Open(Path, platform::kAccessRead, platform::kShareRead, platform::FileDisposition::kOpenExisting)) {
    throw ESetupError("Unable to read " + Path + ", left by an interrupted change: " + Reason());
  }
  const uint64_t journalSize = static_cast<uint64_t>(std::max<int64_t>(j.Size(), 0));
  struct TSide {
    std::string Name;
    bool Existed = false;
    TBytes Content;
  };
  std::vector<TSide> sides;
  uint64_t originalSize = 0;
  bool valid = false;
  {
    // The head is checked whole before anything is put back.
    TBytes head(20);
    if (ReadExact(j, head.data(), 20) && std::memcmp(head.data(), kMagic, 8) == 0 &&
        GetU32(head.data() + 16) <= kMaxSideFiles) {
      originalSize = GetU64(head.data() + 8);
      uint32_t count = GetU32(head.data() + 16);
      valid = true;
      for (uint32_t i = 0; i < count && valid; ++i) {
        uint8_t len[2];
        valid = ReadExact(j, len, 2);
        uint32_t nameLength = valid ? static_cast<uint32_t>(len[0] | (len[1] << 8)) : 0;
        valid = valid && nameLength <= kMaxName;
        TSide side;
        side.Name.resize(nameLength);
        uint8_t flags[5];
        valid = valid && ReadExact(j, side.Name.data(), nameLength) && ReadExact(j, flags, 5);
        uint32_t contentLength = valid ? GetU32(flags + 1) : 0;
        valid = valid && contentLength <= journalSize;
        if (!valid) break;
        side.Existed = flags[0] != 0;
        side.Content.resize(contentLength);
        valid = ReadExact(j, side.Content.data(), contentLength);
        head.insert(head.end(), len, len + 2);
        head.insert(head.end(), side.Name.begin(), side.Name.end());
        head.insert(head.end(), flags, flags + 5);
        head.insert(head.end(), side.Content.begin(), side.Content.end());
        // Only the side files the caller names: a journal planted beside the
        // file must not write anywhere else.
        valid = std::any_of(SideFiles.begin(), SideFiles.end(),
                            [&](const std::string& allowed) { return SameTextAscii(allowed, side.Name); });
        sides.push_back(std::move(side));
      }
      uint8_t crc[4];
      valid = valid && ReadExact(j, crc, 4) && GetU32(crc) == Crc32(head.data(), head.size());
    }
  }
  if (!valid) {
    // Cut short while it was started: nothing was changed yet.
    j.Close();
    platform::DeleteFile(Path);
    return false;
  }
  // The records up to the first one cut short or damaged, checked before
  // anything is written: a journal may claim an old length beyond the file
  // only as far as its records reach (an archive update cuts the file first).
  struct TRecord {
    uint64_t Offset = 0;
    uint32_t Length = 0;
    uint64_t At = 0;  // where its bytes are in the journal
  };
  std::vector<TRecord> records;
  uint64_t reach = static_cast<uint64_t>(std::max<int64_t>(Target.Size(), 0));
  TBytes record;
  while (true) {
    uint8_t fixed[12];
    uint64_t at = j.Position() + 12;
    if (!ReadExact(j, fixed, 12)) break;
    uint64_t offset = GetU64(fixed);
    uint32_t n = GetU32(fixed + 8);
    if (n == 0 || n > kMaxRecord || offset > originalSize || n > originalSize - offset) break;
    record.resize(12 + static_cast<size_t>(n) + 4);
    std::memcpy(record.data(), fixed, 12);
    if (!ReadExact(j, record.data() + 12, n + 4)) break;
    if (GetU32(record.data() + 12 + n) != Crc32(record.data(), 12 + static_cast<size_t>(n))) break;
    records.push_back({offset, n, at});
    reach = std::max(reach, offset + n);
  }
  if (originalSize > reach) {
    j.Close();
    platform::DeleteFile(Path);
    return false;
  }
  auto fail = [&](const std::string& what) {
    std::string reason = Reason();
    throw ESetupError("Unable to put back " + what + " from " + Path + ": " + reason);
  };
  for (const TRecord& r : records) {
    record.resize(r.Length);
    if (!j.Seek(static_cast<int64_t>(r.At), platform::SeekOrigin::kBegin) || !ReadExact(j, record.data(), r.Length)) {
      fail("the old bytes");
    }
    if (!Target.Seek(static_cast<int64_t>(r.Offset), platform::SeekOrigin::kBegin) ||
        Target.Write(record.data(), r.Length) != r.Length) {
      fail("the old bytes");
    }
  }
  if (!Target.Seek(static_cast<int64_t>(originalSize), platform::SeekOrigin::kBegin) || !Target.Truncate() ||
      !Target.Flush()) {
    fail("the old length");
  }
  for (const TSide& side : sides) {
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
