#include "package/ZUI_PakFile.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

#include "common/BufferManager.h"
#include "common/Crc32.h"
#include "common/Exceptions.h"
#include "common/FileRecords.h"
#include "common/FileUtils.h"
#include "common/Inflate.h"
#include "common/OrderedWork.h"
#include "common/Prompt.h"
#include "common/Strings.h"

using platform::File;
using platform::FileDisposition;
using platform::SeekOrigin;

namespace {

constexpr char kMagic[4] = {'Z', 'U', 'P', 'F'};
// The entries read and inflated ahead of extraction share 24 MiB: within the
// 32 MiB the setup may hold beyond its largest entries, with room for the
// program itself; a streamed entry's chunk runs alone.
constexpr uint64_t kExtractionBudget = 24ull << 20;
constexpr uint16_t kVersion = 1;
constexpr char kDecompSizeText[] = "Error: DecompSize - ";
constexpr char kOrigSizeText[] = " OrigSize - ";
constexpr char kErrorCaption[] = "Error";

WideString StatusText(const TExtractSink& sink, const std::string& name) {
  return ReplaceText(sink.StatusTemplate, u"<%FILENAME%>", platform::TextToWide(name));
}

}  // namespace

uint32_t PakChecksum(const uint8_t* Data, size_t Size) { return Crc32(Data, Size); }

bool TPakTrailer::HasMagic() const { return std::memcmp(Magic, kMagic, 4) == 0; }

TPak::TPak(const std::string& FileName, bool CreateNew, bool Append) : fileName_(FileName) {
  if (Append) {
    if (!handle_.Open(FileName, platform::kAccessReadWrite, platform::kShareRead, FileDisposition::kOpenExisting)) {
      openError_ = platform::LastError();
      return;
    }
    int64_t size = handle_.Size();
    Trailer.DataStart = size > 0 && size <= 0xFFFFFFFFLL ? static_cast<uint32_t>(size) : 0;
  } else if (CreateNew) {
    if (!handle_.Open(FileName, platform::kAccessReadWrite, platform::kShareNone, FileDisposition::kCreateAlways)) {
      openError_ = platform::LastError();
    }
  } else {
    if (!handle_.Open(FileName, platform::kAccessRead, platform::kShareReadWrite, FileDisposition::kOpenExisting)) {
      openError_ = platform::LastError();
      return;
    }
    ReadDirectory();
  }
}

TPak::~TPak() { Close(); }

void TPak::Close() { handle_.Close(); }

uint64_t TPak::FileSize() {
  int64_t size = handle_.Size();
  return size < 0 ? 0 : static_cast<uint64_t>(size);
}

size_t SecurityDirectoryEntry(const uint8_t* Image, size_t Size) {
  if (Size < 64 || Image[0] != 'M' || Image[1] != 'Z') return 0;
  // The PE signature, the file header (its optional header's size at 20 from
  // the signature) and the optional header's magic: PE32 keeps its data
  // directories at 96, PE32+ at 112, their count just before; the security
  // directory is the fifth.
  const uint64_t pe = GetU32(Image + 0x3C);
  if (pe + 26 > Size || GetU32(Image + pe) != 0x00004550) return 0;
  const size_t optional = static_cast<size_t>(pe) + 24;
  const uint32_t magic = GetU16(Image + optional);
  const uint32_t directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
  if (directories == 0 || directories + 5 * 8 > GetU16(Image + pe + 20)) return 0;
  if (optional + directories + 5 * 8 > Size || GetU32(Image + optional + directories - 4) < 5) return 0;
  return optional + directories + 4 * 8;
}

uint64_t SignedPackageEnd(platform::File& File, uint64_t Size) {
  // The headers lie in the first 4 KiB of any image a signing tool writes.
  uint8_t headers[4096];
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(Size, sizeof headers));
  if (!File.Seek(0, SeekOrigin::kBegin) || File.Read(headers, n) != n) return 0;
  const size_t entry = SecurityDirectoryEntry(headers, n);
  if (entry == 0) return 0;
  const uint64_t table = GetU32(headers + entry), tableSize = GetU32(headers + entry + 4);
  if (tableSize == 0 || table + tableSize != Size || table < kTrailerSize) return 0;
  uint8_t before[kTrailerSize + 7];
  const uint32_t got = static_cast<uint32_t>(std::min<uint64_t>(table, sizeof before));
  if (!File.Seek(static_cast<int64_t>(table - got), SeekOrigin::kBegin) || File.Read(before, got) != got) return 0;
  // The end at the table, or after up to 7 zero bytes before it.
  for (uint32_t pad = 0; pad <= 7 && pad + kTrailerSize <= got; ++pad) {
    if (pad > 0 && before[got - pad] != 0) break;
    if (std::memcmp(before + got - pad - kTrailerSize, kMagic, 4) == 0) return table - pad;
  }
  return 0;
}

void TPak::ReadDirectory() {
  Entries.clear();
  directoryEnd_ = 0;
  Trailer = TPakTrailer{};
  uint64_t size = FileSize();
  packageEnd_ = size;
  if (!IsOpen() || size < kTrailerSize) return;
  uint8_t raw[kTrailerSize];
  if (!handle_.Seek(static_cast<int64_t>(size - kTrailerSize), SeekOrigin::kBegin) ||
      handle_.Read(raw, kTrailerSize) != kTrailerSize) {
    return;
  }
  // A signed setup ends with its certificate table: the package lies before it.
  if (std::memcmp(raw, kMagic, 4) != 0) {
    uint64_t end = SignedPackageEnd(handle_, size);
    if (end == 0 || !handle_.Seek(static_cast<int64_t>(end - kTrailerSize), SeekOrigin::kBegin) ||
        handle_.Read(raw, kTrailerSize) != kTrailerSize) {
      return;
    }
    size = packageEnd_ = end;
  }
  TBufferManager cursor(raw, kTrailerSize);
  cursor.ReadInto(4, Trailer.Magic);
  Trailer.Version = ReadU16(cursor);
  Trailer.Count = ReadU16(cursor);
  Trailer.DataStart = ReadU32(cursor);
  Trailer.DirectoryOffset = ReadU32(cursor);
  if (!Trailer.HasMagic()) return;

  // The directory may lie anywhere before the end of the file; a record that
  // does not fit makes the whole directory unusable.
  std::vector<TPakFile> entries;
  try {
    TFileReader reader(handle_, Trailer.DirectoryOffset, size);
    entries.reserve(Trailer.Count);
    for (uint32_t i = 0; i < Trailer.Count; ++i) {
      TPakFile e;
      e.Name = platform::FromStoredText(reader.ShortString());
      e.Checksum = reader.U32();
      e.Offset = reader.U32();
      e.StoredSize = reader.U32();
      e.OrigSize = reader.U32();
      e.Group = reader.U16();
      entries.push_back(std::move(e));
    }
    directoryEnd_ = reader.Position();
  } catch (const ESetupError&) {
    return;
  }
  Entries = std::move(entries);
}

bool TPak::ReadStoredInto(File& Handle, uint64_t Size, uint32_t Index, TBytes& Stored) const {
  if (Index >= Entries.size() || !Handle.IsOpen()) return false;
  const TPakFile& e = Entries[Index];
  uint32_t readSize = e.ReadSize();
  // Checked before anything is allocated: the bytes must lie inside the file.
  if (static_cast<uint64_t>(e.Offset) + readSize > Size) return false;
  Stored.resize(readSize);
  if (readSize > 0) {
    if (!Handle.Seek(e.Offset, SeekOrigin::kBegin)) return false;
    if (Handle.Read(Stored.data(), readSize) != readSize) return false;
  }
  return PakChecksum(Stored.data(), Stored.size()) == e.Checksum;
}

std::optional<TBytes> TPak::ReadStoredFrom(File& Handle, uint64_t Size, uint32_t Index) const {
  TBytes stored;
  if (!ReadStoredInto(Handle, Size, Index, stored)) return std::nullopt;
  return stored;
}

std::string TPak::DecompSizeMessage(uint32_t Index, uint64_t Produced) const {
  const TPakFile& e = Entries[Index];
  return Concat({e.Name, "\r\r", kDecompSizeText, DecimalText(Produced), kOrigSizeText, DecimalText(e.OrigSize)});
}

std::optional<TBytes> TPak::ReadStored(uint32_t Index) { return ReadStoredFrom(handle_, packageEnd_, Index); }

std::optional<TBytes> TPak::DecodeEntry(uint32_t Index, std::optional<TBytes> Stored, std::string& Message) const {
  Message.clear();
  if (!Stored) return std::nullopt;
  const TPakFile& e = Entries[Index];
  if (e.OrigSize == 0) return std::nullopt;
  if (e.StoredSize == 0) return Stored;  // raw: the stored bytes are the data
  // Large entries are always written raw; a compressed one claiming that size
  // is malformed and is not inflated into memory.
  if (e.OrigSize >= kLargeEntrySize) return std::nullopt;

  uint64_t produced = 0;
  std::optional<TBytes> data = InflateExact(Stored->data(), Stored->size(), e.OrigSize, &produced);
  if (!data) {
    Message = DecompSizeMessage(Index, produced);
    return std::nullopt;
  }
  return data;
}

void TPak::Report(const std::string& Message) const {
  if (!Message.empty()) ShowMessage(Message, kErrorCaption, platform::kMbOk);
}

std::optional<TBytes> TPak::ReadEntry(uint32_t Index) {
  std::string message;
  std::optional<TBytes> data = DecodeEntry(Index, ReadStored(Index), message);
  Report(message);
  return data;
}

bool TPak::VerifyEntry(uint32_t Index) {
  if (Index >= Entries.size()) return false;
  if (Entries[Index].OrigSize >= kLargeEntrySize) return LargeEntryFits(Entries[Index], packageEnd_);
  return ReadEntry(Index).has_value();
}

// A large entry passes unread, but only as what the writer makes of one: raw
// bytes inside the file. A size that grew past 70 MiB in a damaged directory
// fails here instead of being copied out unchecked.
bool TPak::LargeEntryFits(const TPakFile& Entry, uint64_t Size) {
  return Entry.StoredSize == 0 && static_cast<uint64_t>(Entry.Offset) + Entry.OrigSize <= Size;
}

namespace {

// What an entry holds while it waits to be used: its stored and its inflated
// bytes; large entries are streamed at use and hold nothing before.
uint64_t HeldBytes(const TPakFile& e) {
  return e.OrigSize >= kLargeEntrySize ? 0 : static_cast<uint64_t>(e.ReadSize()) + e.OrigSize;
}

}  // namespace

// Read-only handles of the package, one per worker thread, so that workers
// never share a file position. Without them the work runs on one thread
// through the package's own handle.
struct TPak::TReaders {
  TReaders(TPak& Pak, uint32_t Threads) : pak(Pak) {
    uint32_t n = Threads ? Threads : platform::ProcessorCount();
    handles = std::vector<File>(n);
    busy = std::vector<std::atomic<bool>>(n);
    stored = std::vector<TBytes>(n);
    checkers = std::vector<TStreamChecker>(n);
    for (size_t i = 0; i < n; ++i) {
      busy[i] = false;
      if (!handles[i].Open(pak.fileName_, platform::kAccessRead, platform::kShareReadWrite,
                           FileDisposition::kOpenExisting)) {
        threads = 1;
      }
    }
    if (threads != 1) threads = n;
  }
  // A free handle's slot, taken until Release; slot 0, the package's own
  // handle, when reading on one thread.
  size_t Acquire() {
    if (threads == 1) return 0;
    for (size_t h = 0;; h = (h + 1) % handles.size()) {
      bool expected = false;
      if (busy[h].compare_exchange_strong(expected, true)) return h;
    }
  }
  void Release(size_t h) {
    if (threads != 1) busy[h] = false;
  }
  File& Handle(size_t h) { return threads == 1 ? pak.handle_ : handles[h]; }
  // The stored bytes of entry Index, read through a free handle.
  std::optional<TBytes> Read(uint32_t Index) {
    const size_t h = Acquire();
    std::optional<TBytes> read = pak.ReadStoredFrom(Handle(h), size, Index);
    Release(h);
    return read;
  }
  // Entry Index read and inflated as ReadEntry would, its bytes not kept:
  // each handle has a buffer and a checker of its own, reused entry after
  // entry. Message gets the DecompSize text.
  bool Check(uint32_t Index, std::string& Message) {
    const TPakFile& e = pak.Entries[Index];
    const size_t h = Acquire();
    bool ok = pak.ReadStoredInto(Handle(h), size, Index, stored[h]);
    if (ok && e.StoredSize != 0) {
      uint64_t produced = 0;
      // A compressed entry that large is malformed: refused, as DecodeEntry does, without its message.
      ok = e.OrigSize < kLargeEntrySize && checkers[h].Check(stored[h].data(), stored[h].size(), e.OrigSize, produced);
      if (!ok && e.OrigSize < kLargeEntrySize) Message = pak.DecompSizeMessage(Index, produced);
    }
    Release(h);
    return ok;
  }
  TPak& pak;
  uint64_t size = pak.packageEnd_;
  uint32_t threads = 0;
  std::vector<File> handles;
  std::vector<std::atomic<bool>> busy;
  std::vector<TBytes> stored;
  std::vector<TStreamChecker> checkers;
};

uint32_t TPak::VerifyEntries(uint32_t Count, uint32_t Threads, TFunctionRef<bool(uint32_t, bool)> Done) {
  Count = std::min<uint32_t>(Count, static_cast<uint32_t>(Entries.size()));
  struct Result {
    bool ok = false;
    std::string message;
  };
  std::vector<Result> results(Count);
  TReaders readers(*this, Threads);
  uint32_t checked = 0;
  TOrderedWork work;
  work.Count = Count;
  work.Threads = readers.threads;
  work.Cost = [&](size_t i) { return HeldBytes(Entries[i]); };
  work.Prepare = [&](size_t i) {
    const TPakFile& e = Entries[i];
    Result& r = results[i];
    auto index = static_cast<uint32_t>(i);
    if (e.OrigSize == 0) {
      r.ok = true;
    } else if (e.OrigSize >= kLargeEntrySize) {
      r.ok = LargeEntryFits(e, readers.size);
    } else {
      r.ok = readers.Check(index, r.message);
    }
  };
  work.Use = [&](size_t i) {
    Report(results[i].message);
    ++checked;
    return Done(static_cast<uint32_t>(i), results[i].ok) && results[i].ok;
  };
  RunOrdered(work);
  return checked;
}

std::optional<TBytes> TPak::FindEntry(std::string_view Name, uint16_t Group, uint32_t& Size) {
  Size = 0;
  for (uint32_t i = 0; i < Entries.size(); ++i) {
    if (Entries[i].Group == Group && SameTextAscii(Entries[i].Name, Name)) {
      Size = Entries[i].OrigSize;
      return ReadEntry(i);
    }
  }
  return std::nullopt;
}

std::optional<TBytes> TPak::FindFirst(uint16_t Group, uint32_t& Size, bool Read, std::string& Name) {
  Cursor = 0;
  return FindNext(Group, Size, Read, Name);
}

std::optional<TBytes> TPak::FindNext(uint16_t Group, uint32_t& Size, bool Read, std::string& Name) {
  Size = 0;
  Name.clear();
  uint32_t index;
  if (!FindNextIndex(Group, index)) return std::nullopt;
  Size = Entries[index].OrigSize;
  Name = Entries[index].Name;
  return Read ? ReadEntry(index) : std::nullopt;
}

bool TPak::FindFirstIndex(uint16_t Group, uint32_t& Index) {
  Cursor = 0;
  return FindNextIndex(Group, Index);
}

bool TPak::FindNextIndex(uint16_t Group, uint32_t& Index) {
  for (uint32_t i = Cursor; i < Entries.size(); ++i) {
    if (Entries[i].Group == Group) {
      Index = i;
      Cursor = i + 1;
      return true;
    }
  }
  Cursor = static_cast<uint32_t>(Entries.size());
  return false;
}

void TPak::ForEachInGroup(uint16_t Group, TFunctionRef<void(uint32_t)> Callback) {
  if (!Callback) return;
  for (uint32_t i = 0; i < Entries.size(); ++i) {
    if (Entries[i].Group == Group) Callback(i);
  }
}

uint32_t TPak::GroupedCount() const {
  uint32_t n = 0;
  for (const TPakFile& e : Entries) n += e.Group != 0;
  return n;
}

uint32_t TPak::CountInGroup(uint16_t Group) const {
  uint32_t n = 0;
  for (const TPakFile& e : Entries) n += e.Group == Group;
  return n;
}

std::vector<std::string> TPak::GroupTargets(const std::string& TargetDir, uint16_t Group) const {
  std::vector<std::string> targets;
  for (const TPakFile& entry : Entries) {
    if (entry.Group == Group && IsSafeRelativeName(entry.Name))
      targets.push_back(Concat({TargetDir, "\\", entry.Name}));
  }
  return targets;
}

uint32_t TPak::ExtractGroup(const std::string& TargetDir, uint16_t Group, const TExtractSink& Sink) {
  uint32_t refused = 0;
  std::vector<uint32_t> items;
  for (uint32_t i = 0; i < Entries.size(); ++i) {
    if (Entries[i].Group != Group) continue;
    if (IsSafeRelativeName(Entries[i].Name)) {
      items.push_back(i);
    } else {
      ++refused;
    }
  }
  // The next entries are read and inflated on worker threads while the
  // current one is written; texts, records and writes stay in entry order.
  struct Item {
    std::optional<TBytes> data;
    std::string message;
  };
  // Told of every target at once (a run journal records them with one flush).
  if (Sink.Recorder && !items.empty()) {
    std::vector<std::string> targets = GroupTargets(TargetDir, Group);
    std::string failed;
    if (!Sink.Recorder->BeforeFiles(targets, failed)) {
      uint32_t error = platform::LastError();
      if (Sink.OnWriteFailed) Sink.OnWriteFailed(failed, platform::DescribeError(error));
      return refused;
    }
  }
  std::vector<Item> prepared(items.size());
  TReaders readers(*this, ExtractThreads);
  TOrderedWork work;
  work.Count = items.size();
  work.Threads = readers.threads;
  work.Budget = kExtractionBudget;
  // A large entry holds one chunk at a time while it is streamed at use.
  work.Cost = [&](size_t k) {
    const TPakFile& e = Entries[items[k]];
    return e.OrigSize >= kLargeEntrySize ? static_cast<uint64_t>(kStreamChunkSize) : HeldBytes(e);
  };
  work.Prepare = [&](size_t k) {
    uint32_t i = items[k];
    if (Entries[i].OrigSize >= kLargeEntrySize) return;
    prepared[k].data = DecodeEntry(i, readers.Read(i), prepared[k].message);
  };
  work.Use = [&](size_t k) {
    uint32_t i = items[k];
    const TPakFile& e = Entries[i];
    if (Sink.Observer) Sink.Observer->SetStatusText(StatusText(Sink, e.Name));
    std::string target = Concat({TargetDir, "\\", e.Name});
    bool written = false, readable = true;
    if (e.OrigSize >= kLargeEntrySize) {
      written = ExtractStreamed(target, e.Name, e.OrigSize, i, Sink);
    } else {
      Report(prepared[k].message);
      std::optional<TBytes> data = std::move(prepared[k].data);
      prepared[k] = Item{};
      readable = data.has_value() || e.OrigSize == 0;
      written = WriteWholeFile(target, data ? data->data() : nullptr, data ? static_cast<uint32_t>(data->size()) : 0,
                               Sink.Recorder) &&
                readable;
    }
    uint32_t error = platform::LastError();
    if (Sink.Recorder && (written || platform::FileExists(target))) Sink.Recorder->AddInstalledFile(target);
    if (!written && Sink.OnWriteFailed) {
      Sink.OnWriteFailed(target, readable ? platform::DescribeError(error) : "the package entry could not be read");
    }
    if (Sink.Observer) Sink.Observer->StepProgress(true);
    return !(Sink.Stop && Sink.Stop->load());
  };
  RunOrdered(work);
  return refused;
}

bool TPak::ExtractStreamed(const std::string& TargetPath, const std::string& DisplayName, uint32_t Size, uint32_t Index,
                           const TExtractSink& Sink) {
  if (Index >= Entries.size()) return false;
  ForceInstallDirs(ExtractFilePath(TargetPath), Sink.Recorder);
  if (Sink.Recorder && !Sink.Recorder->BeforeFile(TargetPath)) return false;
  File out;
  if (!out.Open(TargetPath, platform::kAccessWrite, platform::kShareNone, FileDisposition::kCreateAlways)) {
    return false;
  }
  if (!handle_.Seek(Entries[Index].Offset, SeekOrigin::kBegin)) return false;
  TBytes chunk;
  uint32_t done = 0;
  while (done < Size) {
    if (Sink.Observer) {
      std::string progress = Concat({DisplayName, " - ", FormatSize(done), " / ", FormatSize(Size)});
      Sink.Observer->SetStatusText(StatusText(Sink, progress));
    }
    uint32_t n = Size - done < kStreamChunkSize ? Size - done : kStreamChunkSize;
    chunk.resize(n);
    uint32_t got = handle_.Read(chunk.data(), n);
    if (out.Write(chunk.data(), got) != got || got != n) return false;
    done += n;
  }
  return true;
}

uint32_t TPak::AddEntry(const std::string& Name, const std::string& SourcePath, uint16_t Group) {
  TPakFile e;
  e.Name = Name;
  e.SourcePath = SourcePath;
  e.Group = Group;
  Entries.push_back(std::move(e));
  return static_cast<uint32_t>(Entries.size() - 1);
}

namespace {

bool CompressWithZlib(const uint8_t* Data, uint32_t Size, int Level, TBytes& Out) {
  uLongf bound = compressBound(Size);
  Out.resize(bound);
  if (compress2(Out.data(), &bound, Data, Size, Level) != Z_OK) return false;
  Out.resize(bound);
  return true;
}

}  // namespace

TStoredForm MakeStoredForm(const uint8_t* Data, uint32_t Size, TCompress Compress, int Level) {
  TStoredForm form;
  form.OrigSize = Size;
  if (Size < kLargeEntrySize && (Compress ? Compress : CompressWithZlib)(Data, Size, Level, form.Bytes) &&
      form.Bytes.size() <= Size) {
    form.StoredSize = static_cast<uint32_t>(form.Bytes.size());
  } else {
    form.Bytes.assign(Data, Data + Size);
  }
  form.Checksum = PakChecksum(form.Bytes.data(), form.Bytes.size());
  return form;
}

std::optional<TBytes> TPak::PrepareEntry(uint32_t Index, const uint8_t* Data, uint32_t Size) {
  if (Index >= Entries.size()) return std::nullopt;
  TPakFile& e = Entries[Index];
  e.OrigSize = Size;
  if (!Data) return std::nullopt;
  TStoredForm form = MakeStoredForm(Data, Size);
  e.StoredSize = form.StoredSize;
  e.Checksum = form.Checksum;
  return std::move(form.Bytes);
}

bool TPak::WriteStoredForm(uint32_t Index, const TStoredForm& Form) {
  if (Index >= Entries.size()) return false;
  TPakFile& e = Entries[Index];
  e.OrigSize = Form.OrigSize;
  e.StoredSize = Form.StoredSize;
  e.Checksum = Form.Checksum;
  if (Form.Bytes.empty()) return false;
  return AppendStored(Index, Form.Bytes);
}

std::optional<TBytes> TPak::PrepareEntryFromFile(uint32_t Index) {
  if (Index >= Entries.size()) return std::nullopt;
  TBytes data;
  try {
    data = LoadWholeFile(Entries[Index].SourcePath);
  } catch (const ESetupError&) {
    return std::nullopt;
  }
  if (data.size() >= kLargeEntrySize) {
    TPakFile& e = Entries[Index];
    e.OrigSize = static_cast<uint32_t>(data.size());
    e.StoredSize = 0;
    e.Checksum = 0;
    return data;
  }
  return PrepareEntry(Index, data.data(), static_cast<uint32_t>(data.size()));
}

bool TPak::AppendStored(uint32_t Index, const TBytes& Stored) {
  uint64_t end = 0;
  if (!handle_.Seek(0, SeekOrigin::kEnd, &end) || end + Stored.size() > 0xFFFFFFFFull) return false;
  Entries[Index].Offset = static_cast<uint32_t>(end);
  return handle_.Write(Stored.data(), static_cast<uint32_t>(Stored.size())) == Stored.size();
}

bool TPak::WriteEntry(uint32_t Index, const uint8_t* Data, uint32_t Size) {
  std::optional<TBytes> stored = PrepareEntry(Index, Data, Size);
  if (!stored || stored->empty()) return false;
  return AppendStored(Index, *stored);
}

bool TPak::WriteEntryFromFile(uint32_t Index) {
  if (Index >= Entries.size()) return false;
  TPakFile& e = Entries[Index];
  File source;
  if (!source.Open(e.SourcePath, platform::kAccessRead, platform::kShareRead, FileDisposition::kOpenExisting)) {
    return false;
  }
  int64_t size = source.Size();
  if (size < 0 || size > 0xFFFFFFFFLL) return false;
  if (size < kLargeEntrySize) {
    source.Close();
    std::optional<TBytes> stored = PrepareEntryFromFile(Index);
    if (!stored || stored->empty()) return false;
    return AppendStored(Index, *stored);
  }
  // Large: copied raw in chunks; the checksum is not relied on and stays 0.
  uint64_t end = 0;
  if (!handle_.Seek(0, SeekOrigin::kEnd, &end) || end + static_cast<uint64_t>(size) > 0xFFFFFFFFull) return false;
  e.Offset = static_cast<uint32_t>(end);
  e.OrigSize = static_cast<uint32_t>(size);
  e.StoredSize = 0;
  e.Checksum = 0;
  TBytes chunk(kStreamChunkSize);
  uint64_t done = 0;
  while (done < static_cast<uint64_t>(size)) {
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kStreamChunkSize, static_cast<uint64_t>(size) - done));
    if (source.Read(chunk.data(), n) != n || handle_.Write(chunk.data(), n) != n) return false;
    done += n;
  }
  return true;
}

namespace {

void AppendRecord(TBytes& Out, const TPakFile& Entry) {
  WriteStoredText(Out, Entry.Name);
  WriteU32(Out, Entry.Checksum);
  WriteU32(Out, Entry.Offset);
  WriteU32(Out, Entry.StoredSize);
  WriteU32(Out, Entry.OrigSize);
  WriteU16(Out, Entry.Group);
}

void AppendTrailer(TBytes& Out, const TPakTrailer& Trailer) {
  Out.insert(Out.end(), Trailer.Magic, Trailer.Magic + 4);
  WriteU16(Out, Trailer.Version);
  WriteU16(Out, Trailer.Count);
  WriteU32(Out, Trailer.DataStart);
  WriteU32(Out, Trailer.DirectoryOffset);
}

}  // namespace

bool TPak::WriteDirectory() {
  if (Entries.size() > kMaxEntries) return false;
  uint64_t end = 0;
  if (!handle_.Seek(0, SeekOrigin::kEnd, &end) || end > 0xFFFFFFFFull) return false;
  std::memcpy(Trailer.Magic, kMagic, 4);
  Trailer.Version = kVersion;
  Trailer.Count = static_cast<uint16_t>(Entries.size());
  Trailer.DirectoryOffset = static_cast<uint32_t>(end);
  TBytes out;
  for (const TPakFile& e : Entries) AppendRecord(out, e);
  directoryEnd_ = end + out.size();
  AppendTrailer(out, Trailer);
  packageEnd_ = end + out.size();
  return handle_.Write(out.data(), static_cast<uint32_t>(out.size())) == out.size();
}

bool TPak::DirectoryDigest(uint32_t DigestIndex, uint8_t Digest[32]) const {
  TBytes covered;
  for (uint32_t i = 0; i < Entries.size(); ++i) {
    if (i != DigestIndex) AppendRecord(covered, Entries[i]);
  }
  const TPakFile& own = Entries[DigestIndex];
  WriteStoredText(covered, own.Name);
  WriteU32(covered, own.OrigSize);
  WriteU16(covered, own.Group);
  AppendTrailer(covered, Trailer);
  return platform::Sha256(covered.data(), covered.size(), Digest);
}

bool TPak::WriteDirectoryWithDigest() {
  if (Entries.size() >= kMaxEntries) return false;
  uint64_t end = 0;
  if (!handle_.Seek(0, SeekOrigin::kEnd, &end) || end + kDirectoryDigestSize > 0xFFFFFFFFull) return false;
  uint32_t index = AddEntry(kDirectoryDigestEntry, "", 0);
  TPakFile& e = Entries[index];
  e.Offset = static_cast<uint32_t>(end);
  e.OrigSize = kDirectoryDigestSize;
  // The trailer as WriteDirectory will write it, behind the digest's bytes.
  std::memcpy(Trailer.Magic, kMagic, 4);
  Trailer.Version = kVersion;
  Trailer.Count = static_cast<uint16_t>(Entries.size());
  Trailer.DirectoryOffset = static_cast<uint32_t>(end + kDirectoryDigestSize);
  uint8_t digest[kDirectoryDigestSize];
  if (!DirectoryDigest(index, digest)) return false;
  e.Checksum = PakChecksum(digest, sizeof(digest));
  if (handle_.Write(digest, sizeof(digest)) != sizeof(digest)) return false;
  return WriteDirectory();
}

TDigestCheck TPak::CheckDirectoryDigest(uint32_t& Index) {
  // The builder writes it last; searched from the end in every group, so
  // that a changed group number does not hide it, and a game file of that
  // name earlier in the package is not taken for it.
  // Bytes between the last record and the trailer are damage: a trailer
  // counting fewer entries than the directory holds would otherwise hide
  // the digest's own record, and the package would read as one without.
  if (!Entries.empty() && directoryEnd_ + kTrailerSize != packageEnd_) {
    Index = static_cast<uint32_t>(Entries.size() - 1);
    return TDigestCheck::kDiffers;
  }
  Index = static_cast<uint32_t>(Entries.size());
  while (Index > 0 && !SameTextAscii(Entries[Index - 1].Name, kDirectoryDigestEntry)) --Index;
  if (Index == 0) return TDigestCheck::kAbsent;
  --Index;
  const TPakFile& e = Entries[Index];
  if (e.StoredSize != 0 || e.OrigSize != kDirectoryDigestSize) return TDigestCheck::kDiffers;
  std::optional<TBytes> stored = ReadStored(Index);
  uint8_t digest[kDirectoryDigestSize];
  if (!stored || stored->size() != kDirectoryDigestSize || !DirectoryDigest(Index, digest)) {
    return TDigestCheck::kDiffers;
  }
  return std::memcmp(stored->data(), digest, kDirectoryDigestSize) == 0 ? TDigestCheck::kMatches
                                                                        : TDigestCheck::kDiffers;
}
