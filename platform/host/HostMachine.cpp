#include "platform/host/HostMachine.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unordered_map>

namespace platform::host {
namespace {

constexpr uint64_t kDefaultFreeBytes = 100ull * 1024 * 1024 * 1024;

std::mutex& MachineMutex() {
  static std::mutex m;
  return m;
}

struct State {
  std::string root;
  uint64_t generation = 0;
  bool loaded = false;
  MachineConfig config;
};

State& GetState() {
  static State s;
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

DriveType ParseDriveType(const std::string& name) {
  std::string n = ToLowerAscii(name);
  if (n == "fixed") return DriveType::kFixed;
  if (n == "cdrom" || n == "cd-rom" || n == "cd") return DriveType::kCdRom;
  if (n == "removable") return DriveType::kRemovable;
  if (n == "remote" || n == "network") return DriveType::kRemote;
  if (n == "ramdisk") return DriveType::kRamDisk;
  return DriveType::kUnknown;
}

void MakeDirs(const std::string& path) {
  std::string cur;
  std::stringstream ss(path);
  std::string part;
  if (!path.empty() && path[0] == '/') cur = "/";
  while (std::getline(ss, part, '/')) {
    if (part.empty()) continue;
    cur += part;
    ::mkdir(cur.c_str(), 0755);
    cur += "/";
  }
}

void DefaultConfig(MachineConfig& c) {
  c = MachineConfig{};
  c.Drives.push_back({'C', DriveType::kFixed, kDefaultFreeBytes});
  c.Folders[kCsidlProgramFiles] = "C:\\Program Files";
  // The user's own folders and every user's, as Windows XP has them.
  c.Folders[kCsidlPrograms] = "C:\\Documents and Settings\\User\\Start Menu\\Programs";
  c.Folders[kCsidlCommonPrograms] = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs";
  c.Folders[kCsidlStartMenu] = "C:\\Documents and Settings\\User\\Start Menu";
  c.Folders[kCsidlCommonStartMenu] = "C:\\Documents and Settings\\All Users\\Start Menu";
  c.Folders[kCsidlDesktopDirectory] = "C:\\Documents and Settings\\User\\Desktop";
  c.Folders[kCsidlCommonDesktopDirectory] = "C:\\Documents and Settings\\All Users\\Desktop";
  c.Folders[kCsidlAppData] = "C:\\Documents and Settings\\User\\Application Data";
  c.Folders[kCsidlWindows] = "C:\\WINDOWS";
  c.Folders[kCsidlSystem] = "C:\\WINDOWS\\system32";
}

// machine.ini: [machine] language=, version=, tempdir=, date=;
// [drives] L=type[,free bytes]; [folders] CSIDL=path; [messageboxes] answers=1,2,...;
// [wizard] 1=next, 2=dir C:\Games, ... (the headless wizard's actions);
// [in use] C:\path=program, release=N, from=N (files other programs hold)
void ParseIni(std::istream& in, MachineConfig& c) {
  std::string line, section;
  bool drivesListed = false;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = ToLowerAscii(Trim(line.substr(1, line.size() - 2)));
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Trim(line.substr(0, eq));
    std::string value = Trim(line.substr(eq + 1));
    std::string lkey = ToLowerAscii(key);
    if (section == "machine") {
      if (lkey == "language")
        c.LanguageId = static_cast<uint16_t>(std::strtoul(value.c_str(), nullptr, 16));
      else if (lkey == "version")
        c.Version = value;
      else if (lkey == "tempdir")
        c.TempDir = value;
      else if (lkey == "servicepack")
        c.ServicePack = value;
      else if (lkey == "date")
        c.Date = value;
      else if (lkey == "memory")
        c.PhysicalMemory = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
      else if (lkey == "cpumhz")
        c.CpuMhz = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
    } else if (section == "drives" && key.size() >= 1 && std::isalpha(static_cast<unsigned char>(key[0]))) {
      if (!drivesListed) {
        c.Drives.clear();
        drivesListed = true;
      }
      DriveConfig d;
      d.Letter = static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])));
      size_t comma = value.find(',');
      d.Type = ParseDriveType(Trim(value.substr(0, comma)));
      const std::string free = comma == std::string::npos ? std::string() : Trim(value.substr(comma + 1));
      d.NoMedium = ToLowerAscii(free) == "nomedium";
      d.FreeBytes = std::strtoull(free.c_str(), nullptr, 10);
      c.Drives.push_back(d);
    } else if (section == "folders") {
      c.Folders[std::atoi(key.c_str())] = value;
    } else if (section == "wizard" && !key.empty() && std::isdigit(static_cast<unsigned char>(key[0]))) {
      // A comment may follow an action after a blank: "next ; why".
      size_t comment = value.find(" ;");
      if (comment == std::string::npos) comment = value.find("\t;");
      c.WizardActions[std::atoi(key.c_str())] = Trim(value.substr(0, comment));
    } else if (section == "in use") {
      if (lkey == "release") {
        c.InUseRelease = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
      } else if (lkey == "from") {
        c.InUseFrom = std::strtoull(value.c_str(), nullptr, 10);
      } else {
        c.InUse.emplace_back(key, value);
      }
    } else if (section == "messageboxes" && lkey == "answers") {
      std::stringstream ss(value);
      std::string a;
      while (std::getline(ss, a, ',')) {
        a = Trim(a);
        if (!a.empty()) c.Answers.push_back(std::atoi(a.c_str()));
      }
    }
  }
}

void LoadLocked(State& s) {
  if (s.loaded) return;
  if (s.root.empty()) {
    const char* env = std::getenv("WIZPAK_HOST_ROOT");
    s.root = env && *env ? env : "wizpak-machine";
  }
  DefaultConfig(s.config);
  std::ifstream ini(s.root + "/machine.ini");
  if (ini) ParseIni(ini, s.config);
  s.loaded = true;
  // A machine has its drive folders and its temporary folder.
  for (const DriveConfig& d : s.config.Drives) {
    MakeDirs(s.root + "/drives/" + static_cast<char>(std::tolower(d.Letter)));
  }
}

// The names of a native folder by their lower-case form, read once and kept
// while the folder's modification time stays and none of the host layer's
// own changes touched it: resolving a name is then a lookup, not a walk of
// the folder, so installing N files into one folder takes time linear in N.
struct FolderIndex {
  struct timespec Modified = {0, 0};
  std::unordered_map<std::string, std::string> Names;  // lower case -> as stored
};

std::mutex& IndexMutex() {
  static std::mutex m;
  return m;
}

std::unordered_map<std::string, FolderIndex>& Indexes() {
  static std::unordered_map<std::string, FolderIndex> indexes;
  return indexes;
}

// Case-insensitive match of one name in a native folder; an exact match wins.
bool MatchName(const std::string& dir, const std::string& name, std::string& actual) {
  struct stat st;
  if (::lstat((dir + "/" + name).c_str(), &st) == 0) {
    actual = name;
    return true;
  }
  if (::stat(dir.c_str(), &st) != 0) return false;
  std::lock_guard<std::mutex> lock(IndexMutex());
  FolderIndex& index = Indexes()[dir];
  if (index.Modified.tv_sec != st.st_mtim.tv_sec || index.Modified.tv_nsec != st.st_mtim.tv_nsec ||
      index.Names.empty()) {
    index.Names.clear();
    index.Modified = st.st_mtim;
    if (DIR* d = ::opendir(dir.c_str())) {
      while (dirent* e = ::readdir(d)) index.Names.emplace(ToLowerAscii(e->d_name), e->d_name);
      ::closedir(d);
    }
  }
  auto it = index.Names.find(ToLowerAscii(name));
  if (it == index.Names.end()) return false;
  actual = it->second;
  return true;
}

struct OpenRecord {
  std::string path;
  uint32_t access;
  uint32_t share;
};

std::map<uint64_t, OpenRecord>& OpenTable() {
  static std::map<uint64_t, OpenRecord> t;
  return t;
}

}  // namespace

std::string ToLowerAscii(std::string Text) {
  for (char& ch : Text) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return Text;
}

namespace {
std::atomic<uint64_t> g_faultAt{0};
std::atomic<uint64_t> g_operations{0};
std::atomic<bool> g_faultPersists{false};
std::atomic<bool> g_faultFired{false};
// Changes of the disks since the machine was set, and Retry answers: what
// "[in use]" from=N and release=N count.
std::atomic<uint64_t> g_changes{0};
std::atomic<uint32_t> g_retries{0};
}  // namespace

void InjectFileFault(uint64_t N, bool Persist) {
  g_faultAt = N;
  g_faultPersists = Persist;
  g_operations = 0;
  g_faultFired = false;
}

uint64_t FileOperationCount() { return g_operations; }
bool FileFaultFired() { return g_faultFired; }

namespace {
uint64_t EnvironmentNumber(const char* Name) {
  const char* text = std::getenv(Name);
  return text ? std::strtoull(text, nullptr, 10) : 0;
}
}  // namespace

bool FileOperationAllowed() {
  // For tests of whole programs: WIZPAK_HOST_FAULT_AT=N (with
  // WIZPAK_HOST_FAULT_PERSISTS=1) as InjectFileFault; WIZPAK_HOST_KILL_AT=N
  // ends the process at once before operation N, as a kill or a power cut.
  static const bool fromEnvironment = [] {
    if (uint64_t at = EnvironmentNumber("WIZPAK_HOST_FAULT_AT")) {
      InjectFileFault(at, EnvironmentNumber("WIZPAK_HOST_FAULT_PERSISTS") != 0);
    }
    return true;
  }();
  static const uint64_t killAt = EnvironmentNumber("WIZPAK_HOST_KILL_AT");
  (void)fromEnvironment;
  ++g_changes;
  uint64_t n = ++g_operations;
  if (killAt && n == killAt) std::_Exit(kKilledExitCode);
  uint64_t at = g_faultAt;
  if (at == 0 || n < at || (n > at && !g_faultPersists)) return true;
  g_faultFired = true;
  platform::SetLastError(kErrorDiskFull);
  return false;
}

void FolderChanged(const std::string& NativePath) {
  size_t slash = NativePath.find_last_of('/');
  std::string dir = slash == std::string::npos ? std::string(".") : NativePath.substr(0, slash);
  std::string base = slash == std::string::npos ? NativePath : NativePath.substr(slash + 1);
  std::lock_guard<std::mutex> lock(IndexMutex());
  auto it = Indexes().find(dir);
  if (it == Indexes().end()) return;
  // The one name changed is brought up to date, and the folder's new time
  // taken, so the index stays good without reading the folder again.
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0) {
    Indexes().erase(it);
    return;
  }
  auto& names = it->second.Names;
  std::string lower = ToLowerAscii(base);
  if (::lstat(NativePath.c_str(), &st) == 0) {
    names[lower] = base;
  } else {
    auto name = names.find(lower);
    if (name != names.end() && name->second == base) names.erase(name);
  }
  ::stat(dir.c_str(), &st);
  it->second.Modified = st.st_mtim;
}

void SetRoot(const std::string& Root) {
  {
    std::lock_guard<std::mutex> lock(IndexMutex());
    Indexes().clear();
  }
  std::lock_guard<std::mutex> lock(MachineMutex());
  State& s = GetState();
  s.root = Root;
  s.loaded = false;
  ++s.generation;
  g_changes = 0;
  g_retries = 0;
  MakeDirs(Root);
}

std::string Root() {
  std::lock_guard<std::mutex> lock(MachineMutex());
  State& s = GetState();
  LoadLocked(s);
  return s.root;
}

uint64_t Generation() {
  std::lock_guard<std::mutex> lock(MachineMutex());
  return GetState().generation;
}

MachineConfig& Machine() {
  std::lock_guard<std::mutex> lock(MachineMutex());
  State& s = GetState();
  LoadLocked(s);
  return s.config;
}

const DriveConfig* FindDrive(char Letter) {
  char up = static_cast<char>(std::toupper(static_cast<unsigned char>(Letter)));
  for (const DriveConfig& d : Machine().Drives) {
    if (d.Letter == up) return &d;
  }
  return nullptr;
}

bool IsMachinePath(const std::string& Path) {
  return Path.size() >= 2 && std::isalpha(static_cast<unsigned char>(Path[0])) && Path[1] == ':';
}

namespace {
bool g_confined = false;
std::vector<std::string> g_allowedNative;
}  // namespace

void ConfineToMachine(const std::vector<std::string>& Allowed) {
  g_confined = true;
  g_allowedNative = Allowed;
}

std::string ToNative(const std::string& Path) {
  if (!IsMachinePath(Path)) {
    if (Path.size() >= 2 && Path[0] == '\\' && Path[1] == '\\') {
      return {};  // network paths do not exist on the emulated machine
    }
    if (g_confined && std::find(g_allowedNative.begin(), g_allowedNative.end(), Path) == g_allowedNative.end()) {
      return {};
    }
    std::string native, part;
    for (size_t i = 0; i <= Path.size(); ++i) {
      char ch = i < Path.size() ? Path[i] : '/';
      if (ch == '\\' || ch == '/') {
        native += part;
        if (i < Path.size()) native += '/';
        part.clear();
      } else {
        part += ch;
      }
    }
    return native;
  }
  if (!FindDrive(Path[0])) return {};
  std::string native = Root() + "/drives/" + static_cast<char>(std::tolower(static_cast<unsigned char>(Path[0])));
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 2; i <= Path.size(); ++i) {
    char ch = i < Path.size() ? Path[i] : '\\';
    if (ch == '\\' || ch == '/') {
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      part.clear();
    } else {
      part += ch;
    }
  }
  bool matching = true;
  for (const std::string& ansi : parts) {
    const std::string& p = ansi;
    std::string actual;
    if (matching && MatchName(native, p, actual)) {
      native += "/" + actual;
    } else {
      matching = false;
      native += "/" + p;
    }
  }
  return native;
}

void SetErrorFromErrno(int Errno, bool IsDirectory) {
  uint32_t code;
  switch (Errno) {
    case 0:
      code = kErrorSuccess;
      break;
    case ENOENT:
      code = kErrorFileNotFound;
      break;
    case ENOTDIR:
      code = kErrorPathNotFound;
      break;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      code = kErrorAccessDenied;
      break;
    case EEXIST:
      code = IsDirectory ? kErrorAlreadyExists : kErrorFileExists;
      break;
    case ENOTEMPTY:
      code = kErrorDirNotEmpty;
      break;
    case ELOOP:
      code = kErrorLinkInPath;
      break;
    case ENOSPC:
      code = kErrorDiskFull;
      break;
    case EBADF:
      code = kErrorInvalidHandle;
      break;
    case ENOMEM:
      code = kErrorNotEnoughMemory;
      break;
    case ENAMETOOLONG:
      code = kErrorInvalidName;
      break;
    case EBUSY:
      code = kErrorSharingViolation;
      break;
    default:
      code = kErrorWriteFault;
      break;
  }
  SetLastError(code);
}

std::vector<ShownMessage>& Transcript() {
  static std::vector<ShownMessage> t;
  return t;
}

bool RegisterOpen(const std::string& NativePath, uint32_t Access, uint32_t Share, uint64_t& Token) {
  static uint64_t next = 1;
  // Another program holds it as a running game holds its own files: they
  // can be read, not written.
  if ((Access & kAccessWrite) && HeldByOther(NativePath)) return false;
  std::lock_guard<std::mutex> lock(MachineMutex());
  std::string key = ToLowerAscii(NativePath);
  for (const auto& [token, rec] : OpenTable()) {
    if (rec.path != key) continue;
    // Each side must allow what the other one does.
    if ((Access & kAccessRead) && !(rec.share & kShareRead)) return false;
    if ((Access & kAccessWrite) && !(rec.share & kShareWrite)) return false;
    if ((rec.access & kAccessRead) && !(Share & kShareRead)) return false;
    if ((rec.access & kAccessWrite) && !(Share & kShareWrite)) return false;
  }
  Token = next++;
  OpenTable()[Token] = {key, Access, Share};
  return true;
}

void UnregisterOpen(uint64_t Token) {
  std::lock_guard<std::mutex> lock(MachineMutex());
  OpenTable().erase(Token);
}

void NoteRetry() { ++g_retries; }

bool HeldByOther(const std::string& NativePath, std::string* Program) {
  const MachineConfig& machine = Machine();
  if (machine.InUse.empty()) return false;
  if (machine.InUseRelease && g_retries >= machine.InUseRelease) return false;
  if (machine.InUseFrom && g_changes < machine.InUseFrom) return false;
  std::string key = ToLowerAscii(NativePath);
  for (const auto& [path, program] : machine.InUse) {
    if (ToLowerAscii(ToNative(path)) != key) continue;
    if (Program) *Program = program;
    return true;
  }
  return false;
}

bool MayDelete(const std::string& NativePath) {
  if (HeldByOther(NativePath)) return false;
  std::lock_guard<std::mutex> lock(MachineMutex());
  std::string key = ToLowerAscii(NativePath);
  for (const auto& [token, rec] : OpenTable()) {
    if (rec.path == key && !(rec.share & kShareDelete)) return false;
  }
  return true;
}

}  // namespace platform::host
