// Files, folders and drives of the emulated machine.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Platform.h"
#include "platform/PlatformShared.h"
#include "platform/host/HostMachine.h"

namespace platform {

using host::SetErrorFromErrno;
using host::ToNative;

namespace {

thread_local uint32_t g_lastError = 0;

// A path that cannot be mapped names nothing on this machine.
bool MapPath(const std::string& path, std::string& native) {
  native = ToNative(path);
  if (native.empty()) {
    SetLastError(kErrorPathNotFound);
    return false;
  }
  return true;
}

bool StatNative(const std::string& native, struct stat& st) { return ::stat(native.c_str(), &st) == 0; }

// Windows reports a missing parent folder as "path not found"; a parent that
// cannot be looked into is a permission problem, not a missing path.
void SetMissingError(const std::string& native) {
  std::string parent = native.substr(0, native.find_last_of('/'));
  struct stat st;
  if (!parent.empty() && parent != native && !StatNative(parent, st)) {
    SetLastError(errno == EACCES ? kErrorAccessDenied : kErrorPathNotFound);
  } else {
    SetLastError(kErrorFileNotFound);
  }
}

// True (with kErrorLinkInPath set) when a write to Path would pass through a
// symbolic link: every component below the drive's folder of a machine path,
// or below a confinement root (compared as native paths), is looked at
// without following it, the last one included.
bool LinkInTheWay(const std::string& Path, const std::string& native) {
  std::string base;
  if (host::IsMachinePath(Path)) {
    base = ToNative(Path.substr(0, 2));
  } else {
    for (const std::string& root : shared::ConfinementRoots()) {
      std::string r = ToNative(root);
      while (r.size() > 1 && r.back() == '/') r.pop_back();
      if (!r.empty() && native.size() > r.size() && native.compare(0, r.size(), r) == 0 && native[r.size()] == '/') {
        base = r;
        break;
      }
    }
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base.empty() || native.size() <= base.size() || native.compare(0, base.size(), base) != 0) return false;
  for (size_t end = base.size(); end < native.size();) {
    end = native.find('/', end + 1);
    if (end == std::string::npos) end = native.size();
    struct stat st;
    if (::lstat(native.substr(0, end).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      SetLastError(kErrorLinkInPath);
      return true;
    }
  }
  return false;
}

}  // namespace

uint32_t LastError() { return g_lastError; }
void SetLastError(uint32_t Code) { g_lastError = Code; }

std::string ErrorText(uint32_t Code) {
  switch (Code) {
    case kErrorSuccess:
      return "The operation completed successfully.";
    case kErrorFileNotFound:
      return "The system cannot find the file specified.";
    case kErrorPathNotFound:
      return "The system cannot find the path specified.";
    case kErrorAccessDenied:
      return "Access is denied.";
    case kErrorInvalidHandle:
      return "The handle is invalid.";
    case kErrorNotEnoughMemory:
      return "Not enough storage is available to process this command.";
    case kErrorOutOfMemory:
      return "Not enough storage is available to complete this operation.";
    case kErrorSharingViolation:
      return "The process cannot access the file because it is being used by another process.";
    case kErrorFileExists:
      return "The file exists.";
    case kErrorDiskFull:
      return "There is not enough space on the disk.";
    case kErrorDirNotEmpty:
      return "The directory is not empty.";
    case kErrorAlreadyExists:
      return "Cannot create a file when that file already exists.";
    case kErrorLinkInPath:
      return "The create operation stopped after reaching a symbolic link.";
    default:
      return "System Error.  Code: " + std::to_string(Code) + ".";
  }
}

struct File::Impl {
  int fd = -1;
  uint64_t token = 0;
};

File::File() = default;
File::~File() { Close(); }
File::File(File&& Other) noexcept = default;
File& File::operator=(File&& Other) noexcept {
  if (this != &Other) {
    Close();
    impl_ = std::move(Other.impl_);
  }
  return *this;
}

bool File::Open(const std::string& Path, uint32_t Access, uint32_t Share, FileDisposition Disposition) {
  Close();
  std::string native;
  if (!MapPath(Path, native)) return false;
  struct stat st;
  bool exists = StatNative(native, st);
  if (exists && S_ISDIR(st.st_mode)) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  int flags = (Access & kAccessWrite) ? ((Access & kAccessRead) ? O_RDWR : O_WRONLY) : O_RDONLY;
  switch (Disposition) {
    case FileDisposition::kOpenExisting:
      if (!exists) {
        SetMissingError(native);
        return false;
      }
      break;
    case FileDisposition::kCreateAlways:
      flags |= O_CREAT;
      break;
    case FileDisposition::kCreateNew:
      if (exists) {
        SetLastError(kErrorFileExists);
        return false;
      }
      flags |= O_CREAT | O_EXCL;
      break;
    case FileDisposition::kOpenAlways:
      flags |= O_CREAT;
      break;
  }
  bool changesDisk =
      Disposition == FileDisposition::kCreateAlways || (!exists && Disposition != FileDisposition::kOpenExisting);
  if (((Access & kAccessWrite) || changesDisk) && LinkInTheWay(Path, native)) return false;
  if (changesDisk && !host::FileOperationAllowed()) return false;
  uint64_t token = 0;
  if (!host::RegisterOpen(native, Access, Share, token)) {
    SetLastError(kErrorSharingViolation);
    return false;
  }
  if (Access & kAccessWrite) flags |= O_NOFOLLOW;  // the last step is never a link
  int fd = ::open(native.c_str(), flags | O_CLOEXEC, 0644);
  if (fd >= 0 && (flags & O_CREAT)) host::FolderChanged(native);
  if (fd < 0) {
    int err = errno;
    host::UnregisterOpen(token);
    if (err == ENOENT) {
      SetMissingError(native);
    } else {
      SetErrorFromErrno(err);
    }
    return false;
  }
  // Truncate only once the share check has passed, as Windows does.
  if (Disposition == FileDisposition::kCreateAlways && ::ftruncate(fd, 0) != 0) {
    int err = errno;
    ::close(fd);
    host::UnregisterOpen(token);
    SetErrorFromErrno(err);
    return false;
  }
  impl_ = std::make_unique<Impl>();
  impl_->fd = fd;
  impl_->token = token;
  SetLastError(kErrorSuccess);
  return true;
}

bool File::IsOpen() const { return impl_ && impl_->fd >= 0; }

void File::Close() {
  if (!impl_) return;
  if (impl_->fd >= 0) ::close(impl_->fd);
  host::UnregisterOpen(impl_->token);
  impl_.reset();
}

uint32_t File::Read(void* Buffer, uint32_t Count) {
  if (!IsOpen()) {
    SetLastError(kErrorInvalidHandle);
    return 0;
  }
  uint32_t done = 0;
  auto* out = static_cast<uint8_t*>(Buffer);
  while (done < Count) {
    ssize_t n = ::read(impl_->fd, out + done, Count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetErrorFromErrno(errno);
      break;
    }
    if (n == 0) break;
    done += static_cast<uint32_t>(n);
  }
  return done;
}

uint32_t File::Write(const void* Buffer, uint32_t Count) {
  if (!IsOpen()) {
    SetLastError(kErrorInvalidHandle);
    return 0;
  }
  if (!host::FileOperationAllowed()) return 0;
  uint32_t done = 0;
  const auto* in = static_cast<const uint8_t*>(Buffer);
  while (done < Count) {
    ssize_t n = ::write(impl_->fd, in + done, Count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetErrorFromErrno(n < 0 ? errno : ENOSPC);
      break;
    }
    done += static_cast<uint32_t>(n);
  }
  return done;
}

bool File::Seek(int64_t Distance, SeekOrigin Origin, uint64_t* NewPosition) {
  if (!IsOpen()) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  int whence = Origin == SeekOrigin::kBegin ? SEEK_SET : Origin == SeekOrigin::kCurrent ? SEEK_CUR : SEEK_END;
  off_t pos = ::lseek(impl_->fd, static_cast<off_t>(Distance), whence);
  if (pos < 0) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  if (NewPosition) *NewPosition = static_cast<uint64_t>(pos);
  return true;
}

uint64_t File::Position() {
  if (!IsOpen()) return 0;
  off_t pos = ::lseek(impl_->fd, 0, SEEK_CUR);
  return pos < 0 ? 0 : static_cast<uint64_t>(pos);
}

int64_t File::Size() {
  if (!IsOpen()) return -1;
  struct stat st;
  if (::fstat(impl_->fd, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

uint64_t File::ModifiedTime() {
  struct stat st;
  if (!IsOpen() || ::fstat(impl_->fd, &st) != 0) return 0;
  return static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ull + static_cast<uint64_t>(st.st_mtim.tv_nsec);
}

bool File::Truncate() {
  if (!IsOpen() || !host::FileOperationAllowed()) return false;
  off_t pos = ::lseek(impl_->fd, 0, SEEK_CUR);
  if (pos < 0 || ::ftruncate(impl_->fd, pos) != 0) {
    SetErrorFromErrno(errno);
    return false;
  }
  return true;
}

bool File::Flush() {
  if (!IsOpen() || !host::FileOperationAllowed()) return false;
  return ::fsync(impl_->fd) == 0;
}

namespace shared {
// The machine's Restart Manager: the programs of its "[in use]" section.
void NameHolders(std::vector<FileInUse>& Busy) {
  for (FileInUse& file : Busy) {
    std::string native, program;
    if (MapPath(file.Path, native) && host::HeldByOther(native, &program) && !program.empty()) {
      file.Programs.push_back(program);
    }
  }
}
}  // namespace shared

bool FileExists(const std::string& Path) {
  struct stat st;
  std::string native = ToNative(Path);
  return !native.empty() && StatNative(native, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& Path) {
  struct stat st;
  std::string native = ToNative(Path);
  return !native.empty() && StatNative(native, st) && S_ISDIR(st.st_mode);
}

uint32_t GetFileAttributes(const std::string& Path) {
  std::string native;
  if (!MapPath(Path, native)) return kInvalidAttributes;
  struct stat st;
  if (!StatNative(native, st)) {
    SetMissingError(native);
    return kInvalidAttributes;
  }
  uint32_t attrs = S_ISDIR(st.st_mode) ? kAttributeDirectory : kAttributeArchive;
  if (!(st.st_mode & S_IWUSR)) attrs |= kAttributeReadOnly;
  return attrs;
}

bool SetFileAttributes(const std::string& Path, uint32_t Attributes) {
  std::string native;
  if (!MapPath(Path, native)) return false;
  struct stat st;
  if (!StatNative(native, st)) {
    SetMissingError(native);
    return false;
  }
  if (LinkInTheWay(Path, native)) return false;
  mode_t mode = st.st_mode & 07777;
  mode = (Attributes & kAttributeReadOnly) ? (mode & ~0222) : (mode | S_IWUSR);
  if (!host::FileOperationAllowed()) return false;
  if (::chmod(native.c_str(), mode) != 0) {
    SetErrorFromErrno(errno);
    return false;
  }
  return true;
}

bool DeleteFile(const std::string& Path) {
  std::string native;
  if (!MapPath(Path, native)) return false;
  struct stat st;
  if (!StatNative(native, st)) {
    SetMissingError(native);
    return false;
  }
  // Windows refuses to delete a read-only file, a folder, or a file open
  // without delete sharing.
  if (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR)) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  if (!host::MayDelete(native)) {
    SetLastError(kErrorSharingViolation);
    return false;
  }
  if (LinkInTheWay(Path, native)) return false;
  if (!host::FileOperationAllowed()) return false;
  if (::unlink(native.c_str()) != 0) {
    SetErrorFromErrno(errno);
    return false;
  }
  host::FolderChanged(native);
  return true;
}

bool MoveFile(const std::string& From, const std::string& To, bool ReplaceExisting) {
  std::string from, to;
  if (!MapPath(From, from) || !MapPath(To, to)) return false;
  struct stat st;
  if (!StatNative(from, st)) {
    SetMissingError(from);
    return false;
  }
  struct stat dst;
  if (StatNative(to, dst) && host::ToLowerAscii(from) != host::ToLowerAscii(to)) {
    if (!ReplaceExisting || S_ISDIR(dst.st_mode)) {
      SetLastError(S_ISDIR(dst.st_mode) ? kErrorAccessDenied : kErrorAlreadyExists);
      return false;
    }
    if (!host::MayDelete(to)) {
      SetLastError(kErrorSharingViolation);
      return false;
    }
  }
  if (!host::MayDelete(from)) {
    SetLastError(kErrorSharingViolation);
    return false;
  }
  if (LinkInTheWay(From, from) || LinkInTheWay(To, to)) return false;
  if (!host::FileOperationAllowed()) return false;
  if (::rename(from.c_str(), to.c_str()) != 0) {
    SetErrorFromErrno(errno);
    return false;
  }
  host::FolderChanged(from);
  host::FolderChanged(to);
  return true;
}

bool CopyFile(const std::string& From, const std::string& To, bool FailIfExists) {
  File in;
  if (!in.Open(From, kAccessRead, kShareRead, FileDisposition::kOpenExisting)) return false;
  File out;
  if (!out.Open(To, kAccessWrite, kShareNone,
                FailIfExists ? FileDisposition::kCreateNew : FileDisposition::kCreateAlways)) {
    return false;
  }
  std::vector<uint8_t> buffer(1 << 20);
  for (;;) {
    uint32_t n = in.Read(buffer.data(), static_cast<uint32_t>(buffer.size()));
    if (n == 0) break;
    if (out.Write(buffer.data(), n) != n) return false;
  }
  return true;
}

bool CreateDirectory(const std::string& Path) {
  std::string native;
  if (!MapPath(Path, native)) return false;
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  struct stat st;
  if (StatNative(native, st)) {
    SetLastError(kErrorAlreadyExists);
    return false;
  }
  if (LinkInTheWay(Path, native)) return false;
  if (!host::FileOperationAllowed()) return false;
  if (::mkdir(native.c_str(), 0755) != 0) {
    int err = errno;
    if (err == ENOENT) {
      SetLastError(kErrorPathNotFound);
    } else {
      SetErrorFromErrno(err, true);
    }
    return false;
  }
  host::FolderChanged(native);
  return true;
}

bool RemoveDirectory(const std::string& Path) {
  std::string native;
  if (!MapPath(Path, native)) return false;
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  // The root of an emulated drive is never removed.
  if (host::IsMachinePath(Path) && native == ToNative(Path.substr(0, 2))) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  if (LinkInTheWay(Path, native)) return false;
  if (!host::FileOperationAllowed()) return false;
  if (::rmdir(native.c_str()) != 0) {
    SetErrorFromErrno(errno, true);
    return false;
  }
  host::FolderChanged(native);
  return true;
}

bool ListDirectory(const std::string& Path, std::vector<DirEntry>& Entries) {
  Entries.clear();
  std::string native;
  if (!MapPath(Path, native)) return false;
  DIR* d = ::opendir(native.c_str());
  if (!d) {
    SetErrorFromErrno(errno);
    return false;
  }
  while (dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    struct stat st;
    std::string full = native + "/" + e->d_name;
    if (::lstat(full.c_str(), &st) != 0) continue;
    DirEntry entry;
    entry.Name = e->d_name;
    entry.Attributes = S_ISDIR(st.st_mode) ? kAttributeDirectory : kAttributeArchive;
    if (S_ISLNK(st.st_mode)) entry.Attributes |= kAttributeReparsePoint;
    if (!(st.st_mode & S_IWUSR)) entry.Attributes |= kAttributeReadOnly;
    entry.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    entry.Modified =
        static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ull + static_cast<uint64_t>(st.st_mtim.tv_nsec);
    Entries.push_back(std::move(entry));
  }
  ::closedir(d);
  // NTFS lists names in case-insensitive order; so does the emulated machine.
  std::sort(Entries.begin(), Entries.end(), [](const DirEntry& a, const DirEntry& b) {
    std::string la = host::ToLowerAscii(a.Name), lb = host::ToLowerAscii(b.Name);
    return la != lb ? la < lb : a.Name < b.Name;
  });
  return true;
}

std::string TempPath() {
  std::string temp = host::Machine().TempDir;
  if (temp.empty() || temp.back() != '\\') temp += '\\';
  // A machine has its temporary folder.
  std::string native = ToNative(temp);
  if (!native.empty()) {
    std::string cur;
    for (size_t i = 0; i < native.size(); ++i) {
      cur += native[i];
      if (native[i] == '/' && i > 0 && ::mkdir(cur.c_str(), 0755) == 0) host::FolderChanged(cur);
    }
    if (::mkdir(native.c_str(), 0755) == 0) host::FolderChanged(native);
  }
  return temp;
}

uint32_t LogicalDriveStrings(uint32_t BufferChars, std::string& Strings) {
  std::vector<char> letters;
  for (const host::DriveConfig& d : host::Machine().Drives) letters.push_back(d.Letter);
  std::sort(letters.begin(), letters.end());
  std::string all;
  for (char l : letters) {
    all += l;
    all += ":\\";
    all += '\0';
  }
  Strings.clear();
  if (all.size() + 1 > BufferChars) return static_cast<uint32_t>(all.size() + 1);
  Strings = all + '\0';
  return static_cast<uint32_t>(all.size());
}

DriveType GetDriveType(const std::string& Root) {
  if (!host::IsMachinePath(Root)) return DriveType::kNoRootDir;
  const host::DriveConfig* d = host::FindDrive(Root[0]);
  return d ? d->Type : DriveType::kNoRootDir;
}

bool FreeBytes(const std::string& Path, uint64_t& Free) {
  Free = 0;
  if (host::IsMachinePath(Path)) {
    const host::DriveConfig* d = host::FindDrive(Path[0]);
    if (!d || d->NoMedium) {
      SetLastError(d ? kErrorNotReady : kErrorPathNotFound);
      return false;
    }
    Free = d->FreeBytes;
    return true;
  }
  struct statvfs vfs;
  if (::statvfs(ToNative(Path).c_str(), &vfs) != 0) {
    SetErrorFromErrno(errno);
    return false;
  }
  Free = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  return true;
}

}  // namespace platform
