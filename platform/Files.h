// Files, folders and drives. Paths are Windows paths in the ANSI code page.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Errors.h"

namespace platform {

enum FileAccess : uint32_t {
  kAccessRead = 1,
  kAccessWrite = 2,
  kAccessReadWrite = 3,
};

enum FileShare : uint32_t {
  kShareNone = 0,
  kShareRead = 1,
  kShareWrite = 2,
  kShareReadWrite = 3,
  kShareDelete = 4,
};

enum class FileDisposition {
  kOpenExisting,  // fail when the file does not exist
  kCreateAlways,  // create, or truncate an existing file
  kCreateNew,     // fail when the file exists
  kOpenAlways,    // open, or create when missing
};

enum class SeekOrigin { kBegin, kCurrent, kEnd };

// An open file. Owns its handle; closes it when destroyed. Not copyable.
class File {
 public:
  File();
  ~File();
  File(File&& Other) noexcept;
  File& operator=(File&& Other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens Path; false (and LastError) on failure, with this object left closed.
  bool Open(const std::string& Path, uint32_t Access, uint32_t Share, FileDisposition Disposition);
  bool IsOpen() const;
  void Close();

  // Read and Write return the number of bytes transferred; fewer than asked on
  // end of file or failure.
  uint32_t Read(void* Buffer, uint32_t Count);
  uint32_t Write(const void* Buffer, uint32_t Count);
  // Moves the file pointer; false when the move fails. NewPosition may be null.
  bool Seek(int64_t Distance, SeekOrigin Origin, uint64_t* NewPosition = nullptr);
  uint64_t Position();
  // The file's size, or -1 when it cannot be taken.
  int64_t Size();
  // When it was last written, in the platform's own units (compare it only
  // with times this platform gave); 0 when it cannot be taken.
  uint64_t ModifiedTime();
  // Cuts the file at the current position.
  bool Truncate();
  bool Flush();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

constexpr uint32_t kAttributeReadOnly = 0x01;
constexpr uint32_t kAttributeHidden = 0x02;
constexpr uint32_t kAttributeSystem = 0x04;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kAttributeNormal = 0x80;
constexpr uint32_t kAttributeReparsePoint = 0x400;  // a symbolic link, a junction
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

bool FileExists(const std::string& Path);             // an existing file, not a directory
bool DirectoryExists(const std::string& Path);        // an existing directory
uint32_t GetFileAttributes(const std::string& Path);  // kInvalidAttributes when missing
bool SetFileAttributes(const std::string& Path, uint32_t Attributes);
bool DeleteFile(const std::string& Path);
// Renames or moves a file or folder; replaces an existing file when asked.
bool MoveFile(const std::string& From, const std::string& To, bool ReplaceExisting);
bool CopyFile(const std::string& From, const std::string& To, bool FailIfExists);
bool CreateDirectory(const std::string& Path);  // one level; false when it exists
bool RemoveDirectory(const std::string& Path);  // only an empty directory

struct DirEntry {
  std::string Name;
  uint32_t Attributes = 0;
  uint64_t Size = 0;
  uint64_t Modified = 0;  // as File::ModifiedTime gives it
  bool IsDirectory() const { return (Attributes & kAttributeDirectory) != 0; }
};
// The entries of a folder, without "." and ".."; false when it cannot be listed.
bool ListDirectory(const std::string& Path, std::vector<DirEntry>& Entries);

// The temporary folder, ending in "\".
std::string TempPath();
// A folder of the caller's own in the temporary folder, made new under a
// name nobody can guess (from the system's random source): a name that
// exists already, as a folder, a file or a link, is never taken. Its path
// without a trailing backslash; empty (the last error says why) when none
// could be made.
std::string CreatePrivateTempFolder();

// Drives

enum class DriveType : uint32_t {
  kUnknown = 0,
  kNoRootDir = 1,
  kRemovable = 2,
  kFixed = 3,
  kRemote = 4,
  kCdRom = 5,
  kRamDisk = 6,
};

// The logical drive strings ("C:\\0D:\\0\\0") as the system gives them: when
// they fit into BufferChars characters (terminators included) Strings holds
// them and the result is their length without the final terminator; otherwise
// Strings is empty and the result is the length needed.
uint32_t LogicalDriveStrings(uint32_t BufferChars, std::string& Strings);
DriveType GetDriveType(const std::string& Root);
// Bytes free for the caller on the drive or folder; false when unknown.
bool FreeBytes(const std::string& Path, uint64_t& Free);

// While it lives, writes, folder creation, attribute changes, moves and
// deletions of paths below Root refuse a path that passes through a symbolic
// link (a reparse point on Windows) below Root: the call fails with
// kErrorLinkInPath and changes nothing, so a link planted in an install or
// extraction folder cannot lead a write or a delete out of it. Root itself
// may be reached through links. Process-wide; roots of nested objects add
// up. (On the emulated machine every path below a drive's root is checked
// this way in any case.)
class WriteConfinement {
 public:
  explicit WriteConfinement(const std::string& Root);
  ~WriteConfinement();
  WriteConfinement(const WriteConfinement&) = delete;
  WriteConfinement& operator=(const WriteConfinement&) = delete;

 private:
  std::string root_;
};

// A file another program holds open so that it cannot be written, renamed or
// deleted now, and the programs holding it as the system names them ("Demo
// Game (demo.exe)"; none where the system cannot tell).
struct FileInUse {
  std::string Path;
  std::vector<std::string> Programs;
};
// Of Paths, the existing files held that way, in the order given. Each is
// opened for writing without sharing, which is the whole cost when nothing
// is held; for those that cannot be, the programs are asked of the Restart
// Manager where the system has one (Windows Vista and later, loaded at run
// time; on the emulated machine its "[in use]" section).
std::vector<FileInUse> FilesInUse(const std::vector<std::string>& Paths);
// True for the errors of a file another program holds (a sharing or a lock
// violation).
bool IsInUseError(uint32_t Code);

// Deletes Path as soon as the system allows: at the next restart for a file
// in use (the running program itself), at once where the system permits.
bool DeleteFileLater(const std::string& Path);

}  // namespace platform
