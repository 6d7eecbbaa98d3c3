// The builder's compression cache: the stored form of every entry it packs,
// kept in a folder of its own between builds, so a rebuild compresses only
// what changed. An entry is found by what decides its bytes (the data's
// size, CRC-32 and Adler-32, the level and the compressor) and used only
// when it is whole (its CRC-32) and, when the data was read, when it inflates
// to that data byte for byte; a file whose size and write time are those the
// index saw is taken from the entry the index names without being read, that
// entry's CRC-32 still checked. A build appends the entries it compressed to
// one pack file of its own, its directory at the end (one file, not one per
// entry: making thousands of files cost a cold build more than its hashing);
// the pack and the index are written under names of their own and renamed
// into place when the build ends, so builds may share the folder at once. The
// folder is kept below its limit, the oldest packs out first.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "package/ZUI_PakFile.h"

constexpr uint64_t kDefaultCacheLimit = 2ull << 30;  // 2 GiB

struct TCacheKey {
  uint32_t Size = 0, Crc = 0, Adler = 0;
  bool operator==(const TCacheKey&) const = default;
};

// The key of Size bytes of Data.
TCacheKey CacheKeyOf(const uint8_t* Data, uint32_t Size);

class TPackCache {
 public:
  // The cache in Folder (made when missing) for entries of Level, holding at
  // most Limit bytes of entries.
  TPackCache(std::string Folder, int Level, uint64_t Limit = kDefaultCacheLimit);

  // Makes the folder and reads the index; false with Error when the folder
  // cannot be used (the build then goes on without it).
  bool Open(std::string& Error);

  // Any thread. The stored form of the file Path when its size and write
  // time are those the index recorded and that entry is whole.
  std::optional<TStoredForm> FindUnchanged(const std::string& Path, uint64_t Size, uint64_t Modified,
                                           TCacheKey& Key) const;
  // Any thread. The stored form of Data when an entry holds it: whole, and
  // inflating to Data byte for byte.
  std::optional<TStoredForm> Find(const uint8_t* Data, const TCacheKey& Key) const;
  // The writer's thread. Keeps Form as the entry of Key in this build's
  // pack; a failure to write only costs a later build its time.
  void Store(const TCacheKey& Key, const TStoredForm& Form);

  // The writer's thread: Path (Size bytes, written at Modified) holds the
  // data of Key, whose stored form has CRC-32 Checksum.
  void Remember(const std::string& Path, uint64_t Size, uint64_t Modified, const TCacheKey& Key, uint32_t Checksum);
  // After the build: puts this build's pack in place, writes the index, then
  // takes the oldest packs out until the folder holds no more than the limit.
  void Close();
  ~TPackCache();
  TPackCache(const TPackCache&) = delete;
  TPackCache& operator=(const TPackCache&) = delete;

  // What the build found: entries taken from the cache, and compressed.
  mutable std::atomic<uint32_t> Hits{0}, Misses{0};

 private:
  struct TRecord {
    uint64_t Size = 0, Modified = 0;
    TCacheKey Key;
    uint32_t Checksum = 0;
  };
  // Where an entry lies: in which pack, and its bytes there.
  struct TPlace {
    std::string Pack;
    uint64_t Offset = 0;
    uint32_t Length = 0;
  };
  struct TKeyOrder {
    bool operator()(const TCacheKey& A, const TCacheKey& B) const {
      return A.Size != B.Size ? A.Size < B.Size : A.Crc != B.Crc ? A.Crc < B.Crc : A.Adler < B.Adler;
    }
  };
  std::string LevelFolder() const;
  void ReadPack(const std::string& Path);
  std::optional<TStoredForm> Load(const TCacheKey& Key) const;
  std::string IndexPath() const;
  void Trim();

  // This build's pack, written as it goes under a name of its own.
  struct TPackWriter;
  std::unique_ptr<TPackWriter> pack_;
  std::map<TCacheKey, TPlace, TKeyOrder> places_;  // the packs' entries, read at Open

  std::string folder_;
  int level_;
  uint64_t limit_;
  std::map<std::string, TRecord> index_;  // read at Open, unchanged during the build
  std::map<std::string, TRecord> seen_;   // what this build saw
};
