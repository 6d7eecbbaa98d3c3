#include "common/FileUtils.h"

#include <algorithm>
#include <vector>

#include "common/Exceptions.h"
#include "common/Strings.h"

using platform::DescribeError;
using platform::LastError;

void ForceInstallDirs(const std::string& Path, TInstallRecorder* Recorder) {
  if (Path.size() <= 3 || Path[1] != ':' || Path[2] != '\\') return;
  char drive = Path[0];
  if (!((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z'))) return;
  size_t pos = 3;
  while (pos < Path.size()) {
    size_t next = Path.find('\\', pos);
    if (next == pos) {  // an empty component, as in "C:\A\\B"
      ++pos;
      continue;
    }
    std::string prefix = next == std::string::npos ? Path : Path.substr(0, next + 1);
    pos = next == std::string::npos ? Path.size() : next + 1;
    if (!platform::DirectoryExists(prefix) && (!Recorder || Recorder->BeforeDirectory(prefix)) &&
        platform::CreateDirectory(prefix) && Recorder) {
      Recorder->AddDirectory(prefix);
    }
  }
}

std::string ExtractFilePath(const std::string& Path) {
  size_t slash = Path.find_last_of("\\:");
  return slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
}

bool WriteWholeFile(const std::string& Path, const uint8_t* Data, uint32_t Count, TInstallRecorder* Recorder) {
  ForceInstallDirs(ExtractFilePath(Path), Recorder);
  if (Recorder && !Recorder->BeforeFile(Path)) return false;
  platform::File f;
  if (!f.Open(Path, platform::kAccessWrite, platform::kShareNone, platform::FileDisposition::kCreateAlways)) {
    return false;
  }
  if (!Data || Count == 0) return true;
  return f.Write(Data, Count) == Count;
}

std::string ExtractFileName(const std::string& Path) {
  size_t slash = Path.find_last_of("\\/:");
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

TBytes LoadWholeFile(const std::string& Path) {
  platform::File f;
  if (!f.Open(Path, platform::kAccessRead, platform::kShareRead, platform::FileDisposition::kOpenExisting)) {
    RaiseSetupError({"Failed to open ", Path, ": ", DescribeError(LastError())});
  }
  int64_t size = f.Size();
  if (size < 0 || size > 0xFFFFFFFFLL) {
    RaiseSetupError({"Failed to read ", Path, ": size ", DecimalText(size), " out of range"});
  }
  TBytes data(static_cast<size_t>(size));
  uint32_t got = size ? f.Read(data.data(), static_cast<uint32_t>(size)) : 0;
  data.resize(got);
  return data;
}

bool RemoveTree(const std::string& Dir) {
  if (!platform::DirectoryExists(Dir)) return false;
  std::string base = Dir;
  while (base.size() > 3 && base.back() == '\\') base.pop_back();
  std::vector<platform::DirEntry> entries;
  if (platform::ListDirectory(base, entries)) {
    for (const platform::DirEntry& e : entries) {
      std::string full = Concat({base, "\\", e.Name});
      if (e.IsDirectory()) {
        RemoveTree(full);
      } else {
        platform::DeleteFile(full);
      }
    }
  }
  return platform::RemoveDirectory(base);
}

bool CreateShellLink(const std::string& LinkPath, const std::string& Target, const std::string& Arguments,
                     int IconIndex, const std::string& IconPath, int ShowCommand, const std::string& WorkDir,
                     TInstallRecorder* Recorder) {
  ForceInstallDirs(ExtractFilePath(LinkPath), Recorder);
  if (Recorder && !Recorder->BeforeFile(LinkPath)) return false;
  platform::ShellLink link;
  link.Target = Target;
  link.Arguments = Arguments;
  link.WorkingDir = WorkDir;
  link.ShowCommand = ShowCommand;
  if (IconPath != Target) {
    link.IconPath = IconPath;
    link.IconIndex = IconIndex;
  }
  return platform::SaveShellLink(LinkPath, link);
}

bool CreateShellLink(const std::string& LinkPath, const std::string& Target, const std::string& Arguments,
                     TInstallRecorder* Recorder) {
  return CreateShellLink(LinkPath, Target, Arguments, 0, Target, 1, ExtractFilePath(Target), Recorder);
}

bool CreateShellLink(const std::string& LinkPath, const std::string& Target, const std::string& Arguments,
                     const std::string& IconPath, TInstallRecorder* Recorder) {
  return CreateShellLink(LinkPath, Target, Arguments, 0, IconPath, 1, ExtractFilePath(Target), Recorder);
}

namespace {

// The device a path component opens on Windows, or empty: the name before
// its first dot, trailing blanks dropped, compared without regard to case.
std::string DeviceOf(const std::string& Part) {
  std::string base = UpperAscii(Part.substr(0, Part.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return base;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
      base[3] <= '9') {
    return base;
  }
  return {};
}

}  // namespace

std::string DeviceNameIn(const std::string& Path) {
  size_t start = Path.size() >= 2 && Path[1] == ':' ? 2 : 0;
  for (;;) {
    size_t end = Path.find_first_of("\\/", start);
    std::string device = DeviceOf(Path.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (!device.empty() || end == std::string::npos) return device;
    start = end + 1;
  }
}

std::string DevicePathReason(const std::string& Path) {
  std::string device = DeviceNameIn(Path);
  return device.empty() ? device : "names the device " + device;
}

std::string UnsafeNameReason(const std::string& Name) {
  const std::string leaves = "would leave its target folder";
  if (Name.empty() || Name[0] == '\\' || Name[0] == '/') return leaves;
  if (Name.find(':') != std::string::npos) return leaves;
  size_t start = 0;
  for (;;) {
    size_t end = Name.find_first_of("\\/", start);
    std::string part = Name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    // Windows drops trailing dots and blanks, so "..." and ".. " are ".." too.
    size_t keep = part.find_last_not_of(". ");
    if (!part.empty() && keep == std::string::npos && part.find("..") != std::string::npos) return leaves;
    std::string device = DeviceOf(part);
    if (!device.empty()) return "names the device " + device;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return {};
}
