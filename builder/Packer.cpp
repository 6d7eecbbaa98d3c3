#include "builder/Packer.h"

#include <memory>
#include <set>

#include "common/Exceptions.h"
#include "common/FileUtils.h"
#include "common/OrderedWork.h"
#include "common/Strings.h"
#include "package/ZUI_PakFile.h"

using platform::DescribeError;
using platform::LastError;

namespace {

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) return dir + name;
  return dir + "/" + name;
}

bool CollectFolder(const std::string& dir, const std::string& prefix, uint16_t group, std::vector<TPackInput>& inputs,
                   std::string& error) {
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(dir, entries)) {
    error = "Failed to list " + dir + ": " + DescribeError(LastError());
    return false;
  }
  SortByName(entries);
  for (const platform::DirEntry& e : entries) {
    std::string full = JoinPath(dir, e.Name);
    std::string name = prefix.empty() ? e.Name : prefix + "\\" + e.Name;
    if (e.IsDirectory()) {
      if (!CollectFolder(full, name, group, inputs, error)) return false;
    } else {
      inputs.push_back({full, name, group, std::nullopt});
    }
  }
  return true;
}

}  // namespace

bool CollectPackInputs(const std::string& Path, uint16_t Group, std::vector<TPackInput>& Inputs, std::string& Error) {
  if (platform::DirectoryExists(Path)) return CollectFolder(Path, "", Group, Inputs, Error);
  if (platform::FileExists(Path)) {
    Inputs.push_back({Path, ExtractFileName(Path), Group, std::nullopt});
    return true;
  }
  Error = Path + ": no such file or folder";
  return false;
}

namespace {

// The packer's memory: the window of entries in flight and the workers'
// compressors share 32 MiB; when the compressors alone would take more than
// 24 MiB of it, the window keeps 8 MiB.
constexpr uint64_t kPackMemoryBudget = 32ull << 20;
constexpr uint64_t kPackCompressorShareLimit = 24ull << 20;
constexpr uint64_t kPackMinimumWindow = 8ull << 20;
// The last byte a package's 32-bit offsets reach, and room enough for a
// directory's digest entry.
constexpr uint64_t kMaxPackageBytes = 0xFFFFFFFFull;
constexpr uint64_t kDirectoryRoom = 64;

// Entry names a package can hold: safe, not too long, each once in its group.
bool CheckInputs(const TPackRequest& r, const std::vector<TPackInput>& inputs, std::string& error) {
  if (inputs.size() > kMaxEntries) {
    error = r.Output + ": " + std::to_string(inputs.size()) + " entries, a package holds at most " +
            std::to_string(kMaxEntries);
    return false;
  }
  std::set<std::pair<uint16_t, std::string>> seen;
  for (const TPackInput& in : inputs) {
    if (std::string why = UnsafeNameReason(in.EntryName); !why.empty()) {
      error = in.SourcePath + ": entry name \"" + in.EntryName + "\" " + why;
      return false;
    }
    if (in.EntryName.size() > 0xFFFF) {
      error = in.SourcePath + ": entry name longer than 65535 bytes";
      return false;
    }
    if (!seen.insert({in.Group, LowerAscii(in.EntryName)}).second) {
      error = in.SourcePath + ": entry \"" + in.EntryName + "\" is given twice in group " + std::to_string(in.Group);
      return false;
    }
  }
  return true;
}

// One entry on its way into the package: its size, and whether a worker
// prepares its stored form (memory data and files below 70 MiB) or the writer
// streams it (large files); empty entries hold nothing.
struct TPackJob {
  int64_t Size = 0;
  uint64_t Modified = 0;  // a file's write time, for the cache
  bool Parallel = false;
  bool Keyed = false;       // Key holds the data's cache key
  bool Compressed = false;  // Form was made here, for the cache to keep
  TCacheKey Key;
  TStoredForm Form;
  std::string Error;
};

// One package being written into its temporary file.
class TPackRun {
 public:
  TPackRun(const TPackRequest& r, const std::vector<TPackInput>& inputs, TPackStats& stats, std::string& error)
      : r_(r), inputs_(inputs), stats_(stats), error_(error), temp_(r.Output + ".part") {}

  bool Run() {
    platform::DeleteFile(temp_);
    // Interrupted, the build leaves no half-written output behind.
    platform::RemoveOnInterrupt interrupted(temp_);
    bool ok = StartOutput();
    if (ok) {
      TPak pak(temp_, r_.Stub.empty(), !r_.Stub.empty());
      ok = OpenedOutput(pak) && SizeEntries(pak) && CompressAndWrite(pak) && WriteDirectory(pak);
      pak.Close();
    }
    ok = ok && RenameOverOutput();
    if (!ok) platform::DeleteFile(temp_);
    return ok;
  }

 private:
  // The stub's copy the package goes behind.
  bool StartOutput() {
    if (!r_.Stub.empty() && !platform::CopyFile(r_.Stub, temp_, false)) {
      return Fail("Failed to copy stub " + r_.Stub + " to " + temp_ + ": " + DescribeError(LastError()));
    }
    return true;
  }

  bool OpenedOutput(TPak& pak) {
    return pak.IsOpen() || Fail("Failed to create " + temp_ + ": " + DescribeError(pak.OpenError()));
  }

  // Every entry added to the directory, with its size from its source.
  bool SizeEntries(TPak& pak) {
    for (const TPackInput& in : inputs_) {
      pak.AddEntry(in.EntryName, in.SourcePath, in.Group);
      auto job = std::make_unique<TPackJob>();
      if (in.Data) {
        job->Size = static_cast<int64_t>(in.Data->size());
      } else {
        platform::File probe;
        if (!probe.Open(in.SourcePath, platform::kAccessRead, platform::kShareRead,
                        platform::FileDisposition::kOpenExisting)) {
          return Fail("Failed to open " + in.SourcePath + ": " + DescribeFileError(in.SourcePath, LastError()));
        }
        job->Size = probe.Size();
        job->Modified = probe.ModifiedTime();
        if (job->Size < 0 || job->Size > 0xFFFFFFFFLL)
          return Fail(in.SourcePath + ": file too large for a package entry");
      }
      job->Parallel = job->Size > 0 && (in.Data || job->Size < kLargeEntrySize);
      jobs_.push_back(std::move(job));
    }
    return true;
  }

  // Entries are compressed on worker threads ahead of the writer, within a
  // memory budget, and written in input order: the same bytes as one thread.
  bool CompressAndWrite(TPak& pak) {
    bool ok = true;
    TOrderedWork work;
    work.Count = jobs_.size();
    work.Threads = r_.Threads;
    // The window and every worker's compressor share the packer's budget.
    const uint64_t compressors = (r_.Threads ? r_.Threads : platform::ProcessorCount()) * CompressorBytes(r_.Level);
    work.Budget = compressors < kPackCompressorShareLimit ? kPackMemoryBudget - compressors : kPackMinimumWindow;
    work.Cost = [&](size_t i) { return jobs_[i]->Parallel ? 2 * static_cast<uint64_t>(jobs_[i]->Size) : 0; };
    work.Prepare = [&](size_t i) { Prepare(i); };
    work.Use = [&](size_t i) { return ok = Write(pak, i); };
    RunOrdered(work);
    return ok;
  }

  // On a worker: the stored form of entry I.
  void Prepare(size_t i) {
    TPackJob& job = *jobs_[i];
    if (!job.Parallel) return;
    const TPackInput& in = inputs_[i];
    TPackCache* cache = r_.Cache;
    try {
      // A file the cache saw as it is now is not even read.
      if (cache && !in.Data) {
        std::optional<TStoredForm> kept =
            cache->FindUnchanged(in.SourcePath, static_cast<uint64_t>(job.Size), job.Modified, job.Key);
        if (kept && kept->OrigSize == job.Size) {
          job.Form = std::move(*kept);
          job.Keyed = true;
          return;
        }
      }
      TBytes loaded;
      if (!in.Data) {
        loaded = LoadWholeFile(in.SourcePath);
        if (static_cast<int64_t>(loaded.size()) != job.Size)
          throw ESetupError(in.SourcePath + " changed while packing");
      }
      const TBytes& data = in.Data ? *in.Data : loaded;
      const uint32_t size = static_cast<uint32_t>(data.size());
      if (cache) {
        job.Key = CacheKeyOf(data.data(), size);
        job.Keyed = true;
        if (std::optional<TStoredForm> kept = cache->Find(data.data(), job.Key)) {
          job.Form = std::move(*kept);
          return;
        }
      }
      job.Form = MakeStoredFormAtLevel(data.data(), size, r_.Level);
      job.Compressed = cache != nullptr;
    } catch (const std::exception& e) {
      job.Error = e.what();
    }
  }

  // On the writer, in order: entry I into the package.
  bool Write(TPak& pak, size_t i) {
    const TPackInput& in = inputs_[i];
    TPackJob& job = *jobs_[i];
    uint32_t index = static_cast<uint32_t>(i);
    if (!job.Error.empty()) return Fail(job.Error);
    // Offsets and sizes are 32-bit: say so rather than a write's error code.
    const uint64_t adds = job.Parallel ? job.Form.Bytes.size() : static_cast<uint64_t>(job.Size);
    if (pak.FileSize() + adds > kMaxPackageBytes) {
      return Fail(r_.Output + ": the package would pass 4 GiB with entry \"" + in.EntryName + "\" (" +
                  FormatSize(pak.FileSize()) + " written, " + FormatSize(adds) +
                  " more): a package's offsets are 32-bit; split the files over more than one setup");
    }
    if (job.Parallel) {
      if (!pak.WriteStoredForm(index, job.Form)) {
        return Fail("Failed to write entry \"" + in.EntryName + "\" to " + temp_ + ": " + DescribeError(LastError()));
      }
      // The cache keeps what was compressed, in the order of the package.
      if (job.Compressed) r_.Cache->Store(job.Key, job.Form);
      job.Form = TStoredForm{};
    } else if (job.Size > 0 && !pak.WriteEntryFromFile(index)) {
      return Fail("Failed to write entry \"" + in.EntryName + "\" from " + in.SourcePath + " to " + temp_ + ": " +
                  DescribeError(LastError()));
    }
    if (r_.Cache && job.Keyed && !in.Data) {
      r_.Cache->Remember(in.SourcePath, static_cast<uint64_t>(job.Size), job.Modified, job.Key,
                         pak.Entries[index].Checksum);
    }
    ++stats_.Files;
    stats_.BytesIn += static_cast<uint64_t>(job.Size);
    stats_.BytesOut += pak.Entries[index].ReadSize();
    if (r_.Progress) r_.Progress(stats_, in);
    return true;
  }

  bool WriteDirectory(TPak& pak) {
    if (pak.FileSize() + kDirectoryRoom > kMaxPackageBytes) {
      return Fail(r_.Output + ": the package would pass 4 GiB with its directory: a package's offsets are 32-bit");
    }
    return pak.WriteDirectoryWithDigest() ||
           Fail("Failed to write the directory of " + temp_ + ": " + DescribeError(LastError()));
  }

  bool RenameOverOutput() {
    return platform::MoveFile(temp_, r_.Output, true) ||
           Fail("Failed to rename " + temp_ + " to " + r_.Output + ": " + DescribeFileError(r_.Output, LastError()));
  }

  bool Fail(const std::string& why) {
    error_ = why;
    return false;
  }

  const TPackRequest& r_;
  const std::vector<TPackInput>& inputs_;
  TPackStats& stats_;
  std::string& error_;
  const std::string temp_;
  std::vector<std::unique_ptr<TPackJob>> jobs_;
};

}  // namespace

bool WritePackage(const TPackRequest& Request, const std::vector<TPackInput>& Inputs, TPackStats& Stats,
                  std::string& Error) {
  Stats = TPackStats{};
  return CheckInputs(Request, Inputs, Error) && TPackRun(Request, Inputs, Stats, Error).Run();
}

std::optional<TBytes> InputBytes(const TPackInput& Input) {
  if (Input.Data) return Input.Data;
  try {
    return LoadWholeFile(Input.SourcePath);
  } catch (const ESetupError&) {
    return std::nullopt;
  }
}
