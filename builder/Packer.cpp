#include "builder/Packer.h"

#include <set>

#include "common/FileUtils.h"
#include "common/Strings.h"
#include "package/ZUI_PakFile.h"

using platform::DescribeError;
using platform::LastError;

namespace {

std::string BaseName(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && (p.back() == '/' || p.back() == '\\')) p.pop_back();
  size_t slash = p.find_last_of("/\\");
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) return dir + name;
  return dir + "/" + name;
}

bool CollectFolder(const std::string& dir, const std::string& prefix, uint16_t group,
                   std::vector<TPackInput>& inputs, std::string& error) {
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

bool CollectPackInputs(const std::string& Path, uint16_t Group, std::vector<TPackInput>& Inputs,
                       std::string& Error) {
  if (platform::DirectoryExists(Path)) return CollectFolder(Path, "", Group, Inputs, Error);
  if (platform::FileExists(Path)) {
    Inputs.push_back({Path, BaseName(Path), Group, std::nullopt});
    return true;
  }
  Error = Path + ": no such file or folder";
  return false;
}

bool WritePackage(const std::string& Output, const std::string& Stub, const std::vector<TPackInput>& Inputs,
                  std::string& Error, TPackStats& Stats,
                  const std::function<void(const TPackStats&, const TPackInput&)>& Progress) {
  Stats = TPackStats{};
  if (Inputs.size() > kMaxEntries) {
    Error = Output + ": " + std::to_string(Inputs.size()) + " entries, a package holds at most " +
            std::to_string(kMaxEntries);
    return false;
  }
  std::set<std::pair<uint16_t, std::string>> seen;
  for (const TPackInput& in : Inputs) {
    if (!IsSafeRelativeName(in.EntryName)) {
      Error = in.SourcePath + ": entry name \"" + in.EntryName + "\" would leave its target folder";
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
    for (size_t i = 0; ok && i < Inputs.size(); ++i) {
      const TPackInput& in = Inputs[i];
      uint32_t index = pak.AddEntry(in.EntryName, in.SourcePath, in.Group);
      int64_t size = 0;
      if (in.Data) {
        size = static_cast<int64_t>(in.Data->size());
        if (size > 0 && !pak.WriteEntry(index, in.Data->data(), static_cast<uint32_t>(size))) {
          Error = "Failed to write entry \"" + in.EntryName + "\" to " + temp + ": " + DescribeError(LastError());
          ok = false;
          break;
        }
      } else {
        // An empty file has no stored bytes: the entry keeps all sizes 0.
        platform::File probe;
        if (!probe.Open(in.SourcePath, platform::kAccessRead, platform::kShareRead,
                        platform::FileDisposition::kOpenExisting)) {
          Error = "Failed to open " + in.SourcePath + ": " + DescribeError(LastError());
          ok = false;
          break;
        }
        size = probe.Size();
        probe.Close();
        if (size < 0 || size > 0xFFFFFFFFLL) {
          Error = in.SourcePath + ": file too large for a package entry";
          ok = false;
          break;
        }
        if (size > 0 && !pak.WriteEntryFromFile(index)) {
          Error = "Failed to write entry \"" + in.EntryName + "\" from " + in.SourcePath + " to " + temp + ": " +
                  DescribeError(LastError());
          ok = false;
          break;
        }
      }
      ++Stats.Files;
      Stats.BytesIn += static_cast<uint64_t>(size);
      Stats.BytesOut += pak.Entries[index].ReadSize();
      if (Progress) Progress(Stats, in);
    }
    if (ok && !pak.WriteDirectory()) {
      Error = "Failed to write the directory of " + temp + ": " + DescribeError(LastError());
      ok = false;
    }
    pak.Close();
  }
  if (ok && !platform::MoveFile(temp, Output, true)) {
    Error = "Failed to rename " + temp + " to " + Output + ": " + DescribeError(LastError());
    ok = false;
  }
  if (!ok) platform::DeleteFile(temp);
  return ok;
}
