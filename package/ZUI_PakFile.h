// The setup package: named, individually compressed entries, a directory and a
// 16-byte trailer ("ZUPF") at the very end of a file, usually behind a stub
// executable. TPak reads it (directory, entries, groups, extraction) and
// writes it (create or append).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Bytes.h"
#include "common/FunctionRef.h"
#include "common/Observers.h"
#include "platform/Platform.h"

// Entries of this original size or more are stored raw, never held in memory
// whole, never checked, and copied in chunks.
constexpr uint32_t kLargeEntrySize = 73400320;   // 70 MiB
constexpr uint32_t kStreamChunkSize = 26214400;  // 25 MiB
constexpr uint32_t kTrailerSize = 16;
constexpr uint32_t kMaxEntries = 0xFFFF;
// The group-0 entry the builder adds last: a SHA-256 digest of the directory
// and the trailer, so that a changed name, group, count or trailer field is
// found by verification. A package without it is read and verified as before.
constexpr char kDirectoryDigestEntry[] = "DirectoryDigest";
constexpr uint32_t kDirectoryDigestSize = 32;
enum class TDigestCheck { kAbsent, kMatches, kDiffers };

struct TPakFile {
  std::string Name;
  std::string SourcePath;   // when writing: where the data comes from
  uint32_t Checksum = 0;    // CRC-32 of the stored bytes
  uint32_t Offset = 0;      // absolute file offset of the stored bytes
  uint32_t StoredSize = 0;  // length of the zlib stream; 0 = stored raw
  uint32_t OrigSize = 0;
  uint16_t Group = 0;

  // Bytes to read for the entry: the stored size, or the original size when raw.
  uint32_t ReadSize() const { return StoredSize == 0 && OrigSize > 0 ? OrigSize : StoredSize; }
};

struct TPakTrailer {
  char Magic[4] = {0, 0, 0, 0};
  uint16_t Version = 0;
  uint16_t Count = 0;
  uint32_t DataStart = 0;
  uint32_t DirectoryOffset = 0;

  bool HasMagic() const;
};

// What extraction reports to and records in; any member may be null.
struct TExtractSink {
  TSetupObserver* Observer = nullptr;
  TInstallRecorder* Recorder = nullptr;
  // The progress text (the language's string 18); "<%FILENAME%>" is replaced.
  WideString StatusTemplate = u"<%FILENAME%>";
  // Told of every entry that could not be written whole: the target path
  // and the reason ("disk full (112)"). Extraction goes on with the next.
  std::function<void(const std::string& Target, const std::string& Reason)> OnWriteFailed;
  // When set and true after a failure, the group's extraction stops there.
  const std::atomic<bool>* Stop = nullptr;
};

// The level the setup compresses what it writes at.
constexpr int kCompressionLevel = 9;
// The stored form of an entry's data (compressed, or raw when that is not
// shorter or the entry is large), made without touching any package, so
// that several threads can prepare entries at once.
struct TStoredForm {
  TBytes Bytes;
  uint32_t OrigSize = 0;
  uint32_t StoredSize = 0;  // 0: raw
  uint32_t Checksum = 0;
};
// Compresses Size bytes of Data into a zlib stream at Level, in Out; false
// when it cannot (Out is then not used). Raises only when it cannot start.
using TCompress = bool (*)(const uint8_t* Data, uint32_t Size, int Level, TBytes& Out);
// Compress null: zlib (the setup's own writes); the builder passes its own.
TStoredForm MakeStoredForm(const uint8_t* Data, uint32_t Size, TCompress Compress = nullptr,
                           int Level = kCompressionLevel);

class TPak {
 public:
  // Opens FileName: read (both flags false), append (Append set) or create
  // (CreateNew set, Append not). The object always exists; a file that could
  // not be opened shows as an empty directory and a trailer without magic.
  TPak(const std::string& FileName, bool CreateNew, bool Append);
  ~TPak();
  TPak(const TPak&) = delete;
  TPak& operator=(const TPak&) = delete;

  // Reads trailer and directory. Without "ZUPF", or with a directory that does
  // not fit the file, the directory is empty.
  void ReadDirectory();
  void Close();

  bool IsOpen() const { return handle_.IsOpen(); }
  // The error code of a failed open, 0 when the file opened.
  uint32_t OpenError() const { return openError_; }
  const std::string& FileName() const { return fileName_; }
  uint64_t FileSize();
  // Where the package ends: the file's end, or for a signed setup where its
  // certificate table (and the zero bytes aligning it) begins.
  uint64_t PackageEnd() const { return packageEnd_; }

  // --- reading: every buffer returned belongs to the caller ---

  // The stored bytes, only when all of them could be read and their CRC-32
  // matches the entry's checksum; nothing for an index beyond the directory.
  std::optional<TBytes> ReadStored(uint32_t Index);
  // The entry's data: nothing when the stored bytes fail, when the original
  // size is 0, or (after the "Error: DecompSize - " message) when inflation
  // gives another length.
  std::optional<TBytes> ReadEntry(uint32_t Index);
  // The start-up check of one entry; large entries pass unread.
  bool VerifyEntry(uint32_t Index);
  // The start-up check of entries 0 to Count - 1, ahead on Threads worker
  // threads (0: one per processor). Done(Index, Ok) is called on this thread
  // for each entry in order, after any "Error: DecompSize - " message of it;
  // the checks stop after the first entry that fails or when Done returns
  // false. Returns the number of entries reported.
  uint32_t VerifyEntries(uint32_t Count, uint32_t Threads, TFunctionRef<bool(uint32_t, bool)> Done);
  // The directory digest, when the package has one (the last entry of that
  // name, in any group): kDiffers when its entry cannot be read or the
  // directory or trailer do not match it, and when bytes lie between the
  // directory's last record and the trailer (Index: the last entry). Index
  // gets its index.
  TDigestCheck CheckDirectoryDigest(uint32_t& Index);
  // First entry of Group named Name (ignoring case): its data; Size is its
  // original size (0 when nothing matches).
  std::optional<TBytes> FindEntry(std::string_view Name, uint16_t Group, uint32_t& Size);

  // Enumeration of one group with the object's cursor. When no entry is left,
  // Name is empty and the result nothing.
  std::optional<TBytes> FindFirst(uint16_t Group, uint32_t& Size, bool Read, std::string& Name);
  std::optional<TBytes> FindNext(uint16_t Group, uint32_t& Size, bool Read, std::string& Name);
  bool FindFirstIndex(uint16_t Group, uint32_t& Index);
  bool FindNextIndex(uint16_t Group, uint32_t& Index);
  void ForEachInGroup(uint16_t Group, TFunctionRef<void(uint32_t)> Callback);

  uint32_t GroupedCount() const;
  uint32_t CountInGroup(uint16_t Group) const;
  // The files ExtractGroup writes for Group into TargetDir, in entry order
  // (entries whose names would leave the folder are left out).
  std::vector<std::string> GroupTargets(const std::string& TargetDir, uint16_t Group) const;

  // Writes every entry of Group below TargetDir. Names that would leave the
  // folder (absolute, with a drive or a ".." component) are skipped: not
  // written, not recorded. Returns the number of entries skipped that way.
  // An entry that cannot be written whole goes to Sink.OnWriteFailed; it is
  // recorded only when a file of its name is there (to be removed again).
  uint32_t ExtractGroup(const std::string& TargetDir, uint16_t Group, const TExtractSink& Sink);
  // Copies Size raw bytes of entry Index to TargetPath in 25 MiB chunks, with
  // a progress text before each chunk. Returns whether all bytes were copied.
  bool ExtractStreamed(const std::string& TargetPath, const std::string& DisplayName, uint32_t Size, uint32_t Index,
                       const TExtractSink& Sink);

  // --- writing ---

  uint32_t AddEntry(const std::string& Name, const std::string& SourcePath, uint16_t Group);
  // Sets the original size and returns the bytes to store (compressed at
  // level 9, or raw when that is not longer or the entry is large); nothing
  // for no data.
  std::optional<TBytes> PrepareEntry(uint32_t Index, const uint8_t* Data, uint32_t Size);
  // The same for the entry's source file; nothing when it cannot be read.
  std::optional<TBytes> PrepareEntryFromFile(uint32_t Index);
  // Prepare, then append the stored bytes at the end of the file; false (and
  // nothing written) for no data, data of length 0, or a failed write.
  bool WriteEntry(uint32_t Index, const uint8_t* Data, uint32_t Size);
  // Large files are copied in chunks, never read whole.
  bool WriteEntryFromFile(uint32_t Index);
  // Takes a stored form made by MakeStoredForm for entry Index and appends its
  // bytes; false (nothing written) for an empty form or a failed write.
  bool WriteStoredForm(uint32_t Index, const TStoredForm& Form);
  // Appends the directory and the trailer; false when a write failed.
  bool WriteDirectory();
  // Adds the directory digest entry (its 32 bytes stored raw at the end of
  // the data), then writes the directory and trailer it covers.
  bool WriteDirectoryWithDigest();

  // --- state ---

  std::vector<TPakFile> Entries;
  TPakTrailer Trailer;
  uint32_t Cursor = 0;

  // Worker threads reading ahead during ExtractGroup (0: one per processor).
  uint32_t ExtractThreads = 0;

 private:
  uint64_t packageEnd_ = 0;
  // Where the directory's records end as read; a sound package has its
  // trailer right there.
  uint64_t directoryEnd_ = 0;
  struct TReaders;
  bool AppendStored(uint32_t Index, const TBytes& Stored);
  // Reading through any handle, without touching the object's own state, so
  // that worker threads can share the object.
  std::optional<TBytes> ReadStoredFrom(platform::File& Handle, uint64_t Size, uint32_t Index) const;
  // The same into Stored, whose room is reused; false where ReadStoredFrom
  // gives nothing.
  bool ReadStoredInto(platform::File& Handle, uint64_t Size, uint32_t Index, TBytes& Stored) const;
  // The DecompSize text for an entry whose stream holds Produced bytes.
  std::string DecompSizeMessage(uint32_t Index, uint64_t Produced) const;
  // The entry's data from its stored bytes; Message gets the DecompSize text
  // instead of showing it.
  std::optional<TBytes> DecodeEntry(uint32_t Index, std::optional<TBytes> Stored, std::string& Message) const;
  void Report(const std::string& Message) const;
  // SHA-256 over every directory record but entry DigestIndex (of which the
  // name, original size and group count; its checksum guards the rest), then
  // the trailer's fields.
  bool DirectoryDigest(uint32_t DigestIndex, uint8_t Digest[32]) const;
  static bool LargeEntryFits(const TPakFile& Entry, uint64_t Size);

  std::string fileName_;
  platform::File handle_;
  uint32_t openError_ = 0;
};

// CRC-32 as zlib computes it; 0 for no bytes.
uint32_t PakChecksum(const uint8_t* Data, size_t Size);

// A signed setup: the file is a PE image whose security directory names a
// certificate table that ends exactly at the end of the file (Size bytes).
// The package then ends where that table begins, less the zero bytes (at most
// 7) that align it to 8, at the first such end with a trailer's magic before
// it. Every header field is bounds-checked; 0 when the file is no such image
// or no trailer is found (then there is no package).
uint64_t SignedPackageEnd(platform::File& File, uint64_t Size);
// Where, in a PE image's headers Image[0..Size), the security directory's
// entry (the certificate table's file offset and size, 8 bytes) lies; 0 when
// Image is no PE image or the entry does not fit.
size_t SecurityDirectoryEntry(const uint8_t* Image, size_t Size);
