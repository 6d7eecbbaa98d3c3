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

bool WritePackage(const std::string& Output, const std::string& Stub, const std::vector<TPackInput>& Inputs,
                  std::string& Error, TPackStats& Stats,
                  const std::function<void(const TPackStats&, const TPackInput&)>& Progress, uint32_t Threads,
                  int Level) {
  Stats = TPackStats{};
  if (Inputs.size() > kMaxEntries) {
    Error = Output + ": " + std::to_string(Inputs.size()) + " entries, a package holds at most " +
            std::to_string(kMaxEntries);
    return false;
  }
  std::set<std::pair<uint16_t, std::string>> seen;
  for (const TPackInput& in : Inputs) {
    if (std::string why = UnsafeNameReason(in.EntryName); !why.empty()) {
      Error = in.SourcePath + ": entry name \"" + in.EntryName + "\" " + why;
      return false;
    }
    if (in.EntryName.size() > 0xFFFF) {
      Error = in.SourcePath + ": entry name longer than 65535 bytes";
      return false;
    }
    if (!seen.insert({in.Group, LowerAscii(in.EntryName)}).second) {
      Error = in.SourcePath + ": entry \"" + in.EntryName + "\" is given twice in group " + std::to_string(in.Group);
      return false;
    }
  }

  std::string temp = Output + ".part";
  platform::DeleteFile(temp);
  // Interrupted, the build leaves no half-written output behind.
  platform::RemoveOnInterrupt interrupted(temp);
  bool append = !Stub.empty();
  if (append && !platform::CopyFile(Stub, temp, false)) {
    Error = "Failed to copy stub " + Stub + " to " + temp + ": " + DescribeError(LastError());
    return false;
  }
  bool ok = true;
  {
    TPak pak(temp, !append, append);
    if (!pak.IsOpen()) {
      Error = "Failed to create " + temp + ": " + DescribeError(pak.OpenError());
      ok = false;
    }
    // Sizes first: entries of memory data or below 70 MiB are prepared by the
    // workers; large files are streamed by the writer; empty ones hold nothing.
    struct Job {
      int64_t size = 0;
      bool parallel = false;
      TStoredForm form;
      std::string error;
    };
    std::vector<std::unique_ptr<Job>> jobs;
    for (size_t i = 0; ok && i < Inputs.size(); ++i) {
      const TPackInput& in = Inputs[i];
      pak.AddEntry(in.EntryName, in.SourcePath, in.Group);
      auto job = std::make_unique<Job>();
      if (in.Data) {
        job->size = static_cast<int64_t>(in.Data->size());
      } else {
        platform::File probe;
        if (!probe.Open(in.SourcePath, platform::kAccessRead, platform::kShareRead,
                        platform::FileDisposition::kOpenExisting)) {
          Error = "Failed to open " + in.SourcePath + ": " + DescribeFileError(in.SourcePath, LastError());
          ok = false;
          break;
        }
        job->size = probe.Size();
        if (job->size < 0 || job->size > 0xFFFFFFFFLL) {
          Error = in.SourcePath + ": file too large for a package entry";
          ok = false;
          break;
        }
      }
      job->parallel = job->size > 0 && (in.Data || job->size < kLargeEntrySize);
      jobs.push_back(std::move(job));
    }

    // Entries are compressed on worker threads ahead of the writer, within a
    // memory budget, and written in input order: the same bytes as one thread.
    TOrderedWork work;
    work.Count = ok ? jobs.size() : 0;
    work.Threads = Threads;
    // The window and every worker's compressor share 32 MiB.
    const uint64_t compressors = (Threads ? Threads : platform::ProcessorCount()) * CompressorBytes(Level);
    work.Budget = compressors < (24ull << 20) ? (32ull << 20) - compressors : 8ull << 20;
    work.Cost = [&](size_t i) { return jobs[i]->parallel ? 2 * static_cast<uint64_t>(jobs[i]->size) : 0; };
    work.Prepare = [&](size_t i) {
      Job& job = *jobs[i];
      if (!job.parallel) return;
      const TPackInput& in = Inputs[i];
      try {
        if (in.Data) {
          job.form = MakeStoredFormAtLevel(in.Data->data(), static_cast<uint32_t>(in.Data->size()), Level);
        } else {
          TBytes data = LoadWholeFile(in.SourcePath);
          if (static_cast<int64_t>(data.size()) != job.size)
            throw ESetupError(in.SourcePath + " changed while packing");
          job.form = MakeStoredFormAtLevel(data.data(), static_cast<uint32_t>(data.size()), Level);
        }
      } catch (const std::exception& e) {
        job.error = e.what();
      }
    };
    work.Use = [&](size_t i) {
      const TPackInput& in = Inputs[i];
      Job& job = *jobs[i];
      uint32_t index = static_cast<uint32_t>(i);
      if (!job.error.empty()) {
        Error = job.error;
        ok = false;
      } else if (job.parallel) {
        if (!pak.WriteStoredForm(index, job.form)) {
          Error = "Failed to write entry \"" + in.EntryName + "\" to " + temp + ": " + DescribeError(LastError());
          ok = false;
        }
        job.form = TStoredForm{};
      } else if (job.size > 0 && !pak.WriteEntryFromFile(index)) {
        Error = "Failed to write entry \"" + in.EntryName + "\" from " + in.SourcePath + " to " + temp + ": " +
                DescribeError(LastError());
        ok = false;
      }
      if (!ok) return false;
      ++Stats.Files;
      Stats.BytesIn += static_cast<uint64_t>(job.size);
      Stats.BytesOut += pak.Entries[index].ReadSize();
      if (Progress) Progress(Stats, in);
      return true;
    };
    RunOrdered(work);
    if (ok && !pak.WriteDirectoryWithDigest()) {
      Error = "Failed to write the directory of " + temp + ": " + DescribeError(LastError());
      ok = false;
    }
    pak.Close();
  }
  if (ok && !platform::MoveFile(temp, Output, true)) {
    Error = "Failed to rename " + temp + " to " + Output + ": " + DescribeFileError(Output, LastError());
    ok = false;
  }
  if (!ok) platform::DeleteFile(temp);
  return ok;
}
