// Files, folders and drives through kernel32's wide entry points.
#include <cwchar>
#include <vector>

#include "platform/PlatformShared.h"
#include "platform/win32/Win32Common.h"

namespace platform {

namespace win32 {

WideText Wide(const std::string& Text) { return {TextToWide(Text)}; }

WideText WidePath(const std::string& Path) {
  WideText wide = Wide(Path);
  constexpr size_t kClassicLimit = 248;
  if (wide.size() < kClassicLimit || wide.Text.rfind(u"\\\\?\\", 0) == 0) return wide;
  // Room for the "\\?\UNC" in front of the whole path.
  WideText full{WideString(8, u'\\')};
  DWORD n = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return wide;
  full.Text.resize(8 + n);
  n = ::GetFullPathNameW(wide.c_str(), n, full.data() + 8, nullptr);
  full.Text.resize(8 + n);
  // "\\server\share\..." becomes "\\?\UNC\server\share\...", "C:\..." "\\?\C:\...".
  bool unc = full.Text.compare(8, 2, u"\\\\") == 0 && full.Text[10] != u'?';
  full.Text.replace(0, unc ? 10 : 8, unc ? u"\\\\?\\UNC\\" : u"\\\\?\\");
  return full;
}

std::string Narrow(const wchar_t* Text, size_t Length) {
  return WideToUtf8(WideString(reinterpret_cast<const char16_t*>(Text), Length));
}

std::string Narrow(const wchar_t* Text) { return Narrow(Text, std::wcslen(Text)); }

HMODULE LoadSystemLibrary(const char16_t* Name) {
  wchar_t system[MAX_PATH];
  UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH - 16) return nullptr;
  WideText path{WideString(reinterpret_cast<const char16_t*>(system), n)};
  path.Text += u'\\';
  path.Text += Name;
  return ::LoadLibraryW(path.c_str());
}

}  // namespace win32

namespace {

using win32::WidePath;

// True (with kErrorLinkInPath set) when Path lies below a confinement root
// and one of its components below the root is a reparse point (a symbolic
// link, a junction, a mount point), the last one included.
bool LinkInTheWay(const std::string& Path) {
  for (const std::string& root : shared::ConfinementRoots()) {
    size_t n = root.size();
    while (n > 0 && (root[n - 1] == '\\' || root[n - 1] == '/')) --n;
    if (n == 0 || Path.size() <= n || (Path[n] != '\\' && Path[n] != '/')) continue;
    win32::WideText a = win32::Wide(Path.substr(0, n)), b = win32::Wide(root.substr(0, n));
    if (::CompareStringW(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                         static_cast<int>(b.size())) != CSTR_EQUAL) {
      continue;
    }
    for (size_t end = n; end < Path.size();) {
      end = Path.find_first_of("\\/", end + 1);
      if (end == std::string::npos) end = Path.size();
      DWORD attributes = ::GetFileAttributesW(WidePath(Path.substr(0, end)).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        ::SetLastError(kErrorLinkInPath);
        return true;
      }
    }
    return false;
  }
  return false;
}

}  // namespace

uint32_t LastError() { return ::GetLastError(); }
void SetLastError(uint32_t Code) { ::SetLastError(Code); }

std::string ErrorText(uint32_t Code) {
  wchar_t* text = nullptr;
  DWORD n =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, Code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string result =
      n && text ? win32::Narrow(text, n) : Concat({"System Error.  Code: ", std::to_string(Code), "."});
  if (text) ::LocalFree(text);
  while (!result.empty() && (result.back() == '\r' || result.back() == '\n' || result.back() == ' ')) {
    result.pop_back();
  }
  return result;
}

struct File::Impl {
  HANDLE handle = INVALID_HANDLE_VALUE;
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
  DWORD access = 0;
  if (Access & kAccessRead) access |= GENERIC_READ;
  if (Access & kAccessWrite) access |= GENERIC_WRITE;
  DWORD share = 0;
  if (Share & kShareRead) share |= FILE_SHARE_READ;
  if (Share & kShareWrite) share |= FILE_SHARE_WRITE;
  if (Share & kShareDelete) share |= FILE_SHARE_DELETE;
  DWORD disposition = OPEN_EXISTING;
  switch (Disposition) {
    case FileDisposition::kOpenExisting:
      disposition = OPEN_EXISTING;
      break;
    case FileDisposition::kCreateAlways:
      disposition = CREATE_ALWAYS;
      break;
    case FileDisposition::kCreateNew:
      disposition = CREATE_NEW;
      break;
    case FileDisposition::kOpenAlways:
      disposition = OPEN_ALWAYS;
      break;
  }
  if ((access & GENERIC_WRITE || disposition != OPEN_EXISTING) && LinkInTheWay(Path)) return false;
  HANDLE h = ::CreateFileW(WidePath(Path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  impl_ = std::make_unique<Impl>();
  impl_->handle = h;
  return true;
}

bool File::IsOpen() const { return impl_ && impl_->handle != INVALID_HANDLE_VALUE; }

void File::Close() {
  if (!impl_) return;
  if (impl_->handle != INVALID_HANDLE_VALUE) ::CloseHandle(impl_->handle);
  impl_.reset();
}

uint32_t File::Read(void* Buffer, uint32_t Count) {
  if (!IsOpen()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  uint32_t done = 0;
  auto* out = static_cast<uint8_t*>(Buffer);
  while (done < Count) {
    DWORD n = 0;
    if (!::ReadFile(impl_->handle, out + done, Count - done, &n, nullptr) || n == 0) break;
    done += n;
  }
  return done;
}

uint32_t File::Write(const void* Buffer, uint32_t Count) {
  if (!IsOpen()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  uint32_t done = 0;
  const auto* in = static_cast<const uint8_t*>(Buffer);
  while (done < Count) {
    DWORD n = 0;
    if (!::WriteFile(impl_->handle, in + done, Count - done, &n, nullptr) || n == 0) break;
    done += n;
  }
  return done;
}

bool File::Seek(int64_t Distance, SeekOrigin Origin, uint64_t* NewPosition) {
  if (!IsOpen()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD method = Origin == SeekOrigin::kBegin ? FILE_BEGIN : Origin == SeekOrigin::kCurrent ? FILE_CURRENT : FILE_END;
  LONG high = static_cast<LONG>(Distance >> 32);
  ::SetLastError(NO_ERROR);
  DWORD low = ::SetFilePointer(impl_->handle, static_cast<LONG>(Distance & 0xFFFFFFFF), &high, method);
  if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) return false;
  if (NewPosition) *NewPosition = (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
  return true;
}

uint64_t File::Position() {
  uint64_t pos = 0;
  return Seek(0, SeekOrigin::kCurrent, &pos) ? pos : 0;
}

int64_t File::Size() {
  if (!IsOpen()) return -1;
  DWORD high = 0;
  ::SetLastError(NO_ERROR);
  DWORD low = ::GetFileSize(impl_->handle, &high);
  if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return -1;
  return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
}

uint64_t File::ModifiedTime() {
  FILETIME written;
  if (!IsOpen() || !::GetFileTime(impl_->handle, nullptr, nullptr, &written)) return 0;
  return (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

bool File::Truncate() { return IsOpen() && ::SetEndOfFile(impl_->handle); }

bool File::Flush() { return IsOpen() && ::FlushFileBuffers(impl_->handle); }

bool FileExists(const std::string& Path) {
  DWORD a = ::GetFileAttributesW(WidePath(Path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& Path) {
  DWORD a = ::GetFileAttributesW(WidePath(Path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

uint32_t GetFileAttributes(const std::string& Path) { return ::GetFileAttributesW(WidePath(Path).c_str()); }

bool SetFileAttributes(const std::string& Path, uint32_t Attributes) {
  return !LinkInTheWay(Path) && ::SetFileAttributesW(WidePath(Path).c_str(), Attributes);
}

bool DeleteFile(const std::string& Path) { return !LinkInTheWay(Path) && ::DeleteFileW(WidePath(Path).c_str()); }

bool MoveFile(const std::string& From, const std::string& To, bool ReplaceExisting) {
  DWORD flags = MOVEFILE_COPY_ALLOWED | (ReplaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
  return !LinkInTheWay(From) && !LinkInTheWay(To) && ::MoveFileExW(WidePath(From).c_str(), WidePath(To).c_str(), flags);
}

bool CopyFile(const std::string& From, const std::string& To, bool FailIfExists) {
  return !LinkInTheWay(To) && ::CopyFileW(WidePath(From).c_str(), WidePath(To).c_str(), FailIfExists);
}

bool CreateDirectory(const std::string& Path) {
  return !LinkInTheWay(Path) && ::CreateDirectoryW(WidePath(Path).c_str(), nullptr);
}

bool RemoveDirectory(const std::string& Path) {
  return !LinkInTheWay(Path) && ::RemoveDirectoryW(WidePath(Path).c_str());
}

bool ListDirectory(const std::string& Path, std::vector<DirEntry>& Entries) {
  Entries.clear();
  std::string pattern = Path;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAW data;
  HANDLE h = ::FindFirstFileW(WidePath(pattern).c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    std::string name = win32::Narrow(data.cFileName);
    if (name == "." || name == "..") continue;
    DirEntry e;
    e.Name = name;
    e.Attributes = data.dwFileAttributes;
    e.Size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    e.Modified =
        (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    Entries.push_back(std::move(e));
  } while (::FindNextFileW(h, &data));
  ::FindClose(h);
  return true;
}

std::string TempPath() {
  wchar_t buffer[MAX_PATH + 1];
  DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return {};
  std::string path = win32::Narrow(buffer, n);
  if (path.back() != '\\') path += '\\';
  return path;
}

uint32_t LogicalDriveStrings(uint32_t BufferChars, std::string& Strings) {
  Strings.clear();
  std::vector<wchar_t> buffer(BufferChars + 1, L'\0');
  DWORD n = ::GetLogicalDriveStringsW(BufferChars, buffer.data());
  if (n == 0 || n > BufferChars) return n;
  Strings = win32::Narrow(buffer.data(), n + 1);
  return n;
}

DriveType GetDriveType(const std::string& Root) {
  return static_cast<DriveType>(::GetDriveTypeW(win32::Wide(Root).c_str()));
}

bool FreeBytes(const std::string& Path, uint64_t& Free) {
  Free = 0;
  ULARGE_INTEGER avail, total, free;
  if (::GetDiskFreeSpaceExW(win32::Wide(Path).c_str(), &avail, &total, &free)) {
    Free = avail.QuadPart;
    return true;
  }
  return false;
}

}  // namespace platform
