// What both implementations of the seam share.
#include "platform/PlatformShared.h"

#include <algorithm>
#include <atomic>

#include "platform/Platform.h"

namespace platform {

namespace {
// The confinement roots, changed rarely and read at every write: a spin lock
// (the Windows build's thread model has no std::mutex).
std::atomic_flag g_confinementBusy = ATOMIC_FLAG_INIT;
struct TConfinementLock {
  TConfinementLock() {
    while (g_confinementBusy.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~TConfinementLock() { g_confinementBusy.clear(std::memory_order_release); }
};
std::vector<std::string> g_confinements;
std::vector<std::string>& Confinements() { return g_confinements; }
}  // namespace

WriteConfinement::WriteConfinement(const std::string& Root) : root_(Root) {
  TConfinementLock lock;
  Confinements().push_back(root_);
}

WriteConfinement::~WriteConfinement() {
  TConfinementLock lock;
  std::vector<std::string>& roots = Confinements();
  auto it = std::find(roots.begin(), roots.end(), root_);
  if (it != roots.end()) roots.erase(it);
}

namespace shared {

std::vector<std::string> ConfinementRoots() {
  TConfinementLock lock;
  return Confinements();
}

std::string NormaliseKeyPath(const std::string& Path) {
  std::string out;
  for (char c : Path) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

}  // namespace shared

// Short English names of the Windows error codes the engine meets, for messages
// such as "Failed to open C:\X\data.pak: access denied (5)".
std::string CreatePrivateTempFolder() {
  static const char kHex[] = "0123456789abcdef";
  std::string base = TempPath();
  if (!base.empty() && base.back() != '\\') base += '\\';
  // The system names a temporary folder that may not have been made yet.
  if (base.size() > 3) CreateDirectory(base.substr(0, base.size() - 1));
  for (int attempt = 0; attempt < 16; ++attempt) {
    uint8_t random[12];
    if (!RandomBytes(random, sizeof random)) return {};
    std::string name = base + "wizpak-";
    for (uint8_t b : random) {
      name += kHex[b >> 4];
      name += kHex[b & 15];
    }
    // Creating fails for any name that exists: nothing planted is reused.
    if (CreateDirectory(name)) return name;
    if (LastError() != kErrorAlreadyExists && LastError() != kErrorFileExists) return {};
  }
  return {};
}

bool IsInUseError(uint32_t Code) { return Code == kErrorSharingViolation || Code == kErrorLockViolation; }

std::vector<FileInUse> FilesInUse(const std::vector<std::string>& Paths) {
  std::vector<FileInUse> busy;
  for (const std::string& path : Paths) {
    File probe;
    // Opening changes nothing; it fails only while someone else has the file open.
    if (probe.Open(path, kAccessWrite, kShareNone, FileDisposition::kOpenExisting)) continue;
    if (IsInUseError(LastError())) busy.push_back({path, {}});
  }
  if (!busy.empty()) shared::NameHolders(busy);
  return busy;
}

std::string DescribeError(uint32_t Code) {
  const char* name;
  switch (Code) {
    case kErrorSuccess:
      name = "no error";
      break;
    case kErrorFileNotFound:
      name = "file not found";
      break;
    case kErrorPathNotFound:
      name = "path not found";
      break;
    case kErrorAccessDenied:
      name = "access denied";
      break;
    case kErrorInvalidHandle:
      name = "invalid handle";
      break;
    case kErrorNotEnoughMemory:
    case kErrorOutOfMemory:
      name = "not enough memory";
      break;
    case kErrorWriteFault:
      name = "write fault";
      break;
    case kErrorReadFault:
      name = "read fault";
      break;
    case kErrorSharingViolation:
      name = "file in use by another process";
      break;
    case kErrorNotReady:
      name = "the device is not ready";
      break;
    case kErrorLockViolation:
      name = "part of the file locked by another process";
      break;
    case kErrorHandleEof:
      name = "end of file";
      break;
    case kErrorFileExists:
    case kErrorAlreadyExists:
      name = "already exists";
      break;
    case kErrorInvalidParameter:
      name = "invalid parameter";
      break;
    case kErrorDiskFull:
      name = "disk full";
      break;
    case kErrorInsufficientBuffer:
      name = "buffer too small";
      break;
    case kErrorInvalidName:
      name = "invalid name";
      break;
    case kErrorDirNotEmpty:
      name = "directory not empty";
      break;
    case kErrorLinkInPath:
      name = "the path passes through a link";
      break;
    default:
      name = "system error";
      break;
  }
  return Concat({name, " (", std::to_string(Code), ")"});
}

}  // namespace platform
