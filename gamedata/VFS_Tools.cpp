// The tools' VFS work, in an object of its own so that a setup, which links
// the consistency check, does not carry it.
#include "gamedata/VFS_Check.h"

#include <zlib.h>

#include <algorithm>

#include "common/BufferManager.h"
#include "common/Strings.h"
#include "gamedata/VFS_Unit.h"

TBytes UnpackStoredData(const TVFSEntry& Entry, const TBytes& Stored) {
  if (!(Entry.Flags & vfCompressed)) return Stored;
  // Each chunk inflates to at most one chunk's size, and all of them to at
  // most the entry's original size: a damaged entry ends at once instead of
  // growing without bound.
  if (Entry.OrigSize < 0) RaiseSetupError({Entry.Name, " claims a negative size"});
  const size_t limit = static_cast<size_t>(Entry.OrigSize);
  TBytes out;
  TBytes chunk(kVFSChunkSize);
  size_t pos = 0;
  while (pos + 4 <= Stored.size()) {
    uint32_t n = GetU32(Stored.data() + pos);
    pos += 4;
    if (n > Stored.size() - pos) RaiseSetupError({"a compressed chunk runs past the end of ", Entry.Name});
    uLongf got = chunk.size();
    if (uncompress(chunk.data(), &got, Stored.data() + pos, n) != Z_OK) {
      RaiseSetupError({"a compressed chunk of ", Entry.Name, " does not inflate"});
    }
    if (got > limit - out.size()) {
      RaiseSetupError({Entry.Name, " inflates past its size of ", DecimalText(Entry.OrigSize), " bytes"});
    }
    out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(got));
    pos += n;
  }
  if (out.size() != static_cast<size_t>(Entry.OrigSize)) RaiseSetupError({Entry.Name, " inflates to the wrong size"});
  return out;
}

void CreateEmptyContainer(const std::string& FileName, int32_t BlockSize, int32_t BlockCount, uint32_t RootCount,
                          const std::string& Signature) {
  VFS_CHECK(BlockSize > 0 && BlockCount > 0 && RootCount > 0, "CreateEmptyContainer: sizes must be positive");
  TBytes head;
  std::string sig = Signature;
  sig.resize(4, '\0');
  head.insert(head.end(), sig.begin(), sig.end());
  WriteU32(head, static_cast<uint32_t>(BlockSize));
  WriteU32(head, static_cast<uint32_t>(BlockCount));
  WriteU32(head, RootCount);
  for (int i = 0; i < 3; ++i) WriteU32(head, 0);
  head.resize(head.size() + 16, 0);
  WriteU32(head, kDescriptionField);
  head.resize(head.size() + kDescriptionField + 4 + 8ull * BlockCount + static_cast<size_t>(kVFSEntrySize) * RootCount,
              0);
  platform::File f;
  VFS_CHECK(
      f.Open(FileName, platform::kAccessReadWrite, platform::kShareNone, platform::FileDisposition::kCreateAlways),
      "CreateEmptyContainer: cannot create " + FileName);
  VFS_CHECK(f.Write(head.data(), static_cast<uint32_t>(head.size())) == head.size(), "CreateEmptyContainer: write");
  // The data blocks, written as zero bytes (a sparse file would make every
  // later block write allocate on disk).
  uint64_t remaining = static_cast<uint64_t>(BlockSize) * static_cast<uint64_t>(BlockCount);
  TBytes zeros(std::min<uint64_t>(remaining, 1 << 20), 0);
  while (remaining > 0) {
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(remaining, zeros.size()));
    VFS_CHECK(f.Write(zeros.data(), n) == n, "CreateEmptyContainer: cannot write " + FileName);
    remaining -= n;
  }
}
