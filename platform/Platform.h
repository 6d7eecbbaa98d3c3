// The seam between the engine and an operating system. Everything above this
// folder calls only what is declared here; each target links exactly one
// implementation (win32/ on Windows, host/ on Linux, an emulated Windows machine).
//
// Paths are Windows paths ("C:\Games\X\data.pak"), 8-bit text in the ANSI code
// page, as the stored formats hold them. The host layer maps a path with a drive
// letter into its emulated machine and treats any other path as a native one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// UTF-16 text, one code unit per element, on every target.
using WideString = std::u16string;

// ---------------------------------------------------------------------------
// Errors: every failing call leaves a Windows error code behind for its thread.

constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorOutOfMemory = 14;
constexpr uint32_t kErrorWriteFault = 29;
constexpr uint32_t kErrorReadFault = 30;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorHandleEof = 38;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorAlreadyExists = 183;
// A write or delete refused because its path passes through a symbolic link
// or reparse point inside a confined folder (see WriteConfinement).
constexpr uint32_t kErrorLinkInPath = 681;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorKeyDeleted = 1018;

uint32_t LastError();
void SetLastError(uint32_t Code);
// The system's message text for an error code, without a trailing line break.
std::string ErrorText(uint32_t Code);
// "access denied (5)": the message text and the code, for error messages.
std::string DescribeError(uint32_t Code);

// ---------------------------------------------------------------------------
// Files

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
  bool IsDirectory() const { return (Attributes & kAttributeDirectory) != 0; }
};
// The entries of a folder, without "." and ".."; false when it cannot be listed.
bool ListDirectory(const std::string& Path, std::vector<DirEntry>& Entries);

// The temporary folder, ending in "\".
std::string TempPath();

// ---------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------
// Registry. Roots are the numbers the records store: 0 HKLM, 1 HKCU, 2 HKCR,
// 3 HKU, 4 HKCC.

constexpr int kRootLocalMachine = 0;
constexpr int kRootCurrentUser = 1;
constexpr int kRootClassesRoot = 2;
constexpr int kRootUsers = 3;
constexpr int kRootCurrentConfig = 4;

// A registry accessor: one root, at most one open key at a time.
class Registry {
 public:
  Registry();
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // Selects the root for later calls; an unknown number selects no root, so
  // every later call fails. Closes an open key.
  void SetRoot(int Root);
  int Root() const;
  // Opens Path below the root, creating missing keys when Create is set.
  bool OpenKey(const std::string& Path, bool Create);
  bool KeyExists(const std::string& Path);
  void CloseKey();
  bool HasOpenKey() const;

  // On the open key. An empty Name is the key's default value.
  bool ReadString(const std::string& Name, std::string& Value);
  bool WriteString(const std::string& Name, const std::string& Value);
  // A DWORD value.
  bool WriteInteger(const std::string& Name, uint32_t Value);
  bool ValueExists(const std::string& Name);
  bool DeleteValue(const std::string& Name);
  // Deletes Path below the root with all its subkeys.
  bool DeleteKey(const std::string& Path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------------------------
// Shell

constexpr int kCsidlPrograms = 2;
constexpr int kCsidlPersonal = 5;
constexpr int kCsidlStartMenu = 11;
constexpr int kCsidlDesktopDirectory = 16;
constexpr int kCsidlCommonStartMenu = 22;
constexpr int kCsidlCommonPrograms = 23;
constexpr int kCsidlAppData = 26;
constexpr int kCsidlWindows = 36;
constexpr int kCsidlSystem = 37;
constexpr int kCsidlProgramFiles = 38;

// The path of a special folder, or empty when the shell cannot give it.
std::string SpecialFolder(int Csidl);

struct ShellLink {
  std::string Target;
  std::string Arguments;
  std::string WorkingDir;
  int ShowCommand = 1;
  std::string IconPath;  // empty: no icon location stored
  int IconIndex = 0;
};
// Writes a shell link (.lnk) at LinkPath; false when it cannot be saved.
bool SaveShellLink(const std::string& LinkPath, const ShellLink& Link);
// Reads one back; false when the file is missing or not a shell link.
bool LoadShellLink(const std::string& LinkPath, ShellLink& Link);

// ---------------------------------------------------------------------------
// Dialogs

constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbOkCancel = 0x01;
constexpr uint32_t kMbYesNo = 0x04;
constexpr uint32_t kMbRetryCancel = 0x05;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconQuestion = 0x20;
constexpr uint32_t kMbIconWarning = 0x30;
constexpr uint32_t kMbIconInformation = 0x40;

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdRetry = 4;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Shows a message box with no owner; returns the button chosen.
int MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags);
int MessageBoxWide(const WideString& Text, const WideString& Caption, uint32_t Flags);

// ---------------------------------------------------------------------------
// Process

// Standard output takes bytes as they are (no line-end translation).
void SetStdoutBinary();

// The full path of the running executable.
std::string ExecutablePath();
// The process's command line as the system gave it, unsplit (the program's
// name first); empty where there is none (the emulated machine).
std::string CommandLine();
// Makes the process load DLLs only from the system folder, so a setup started
// from a downloads folder never loads a DLL planted beside it. Call first.
void HardenDllSearchPath();

// Shows Text in the system's fatal-application-exit box and ends the process
// at once, without running any cleanup. The process ends with
// kFatalAppExitCode (its low 8 bits where exit codes are 8 bits wide).
constexpr uint32_t kFatalAppExitCode = 0x40000015;
[[noreturn]] void FatalAppExit(const std::string& Text);
// Ends the process at once with Code.
[[noreturn]] void ExitProcess(uint32_t Code);

// Fills Buffer with bytes from the system's cryptographic random source;
// false when it cannot.
bool RandomBytes(void* Buffer, uint32_t Count);

struct CalendarDate {
  uint16_t Year = 1980;
  uint16_t Month = 1;  // 1..12
  uint16_t Day = 1;    // 1..31
};
// Today's date in local time.
CalendarDate Today();

// The system's default language identifier (GetSystemDefaultLangID).
uint16_t DefaultLanguageId();
// Milliseconds since the system started, wrapping at 2^32.
uint32_t TickCount();
void Sleep(uint32_t Milliseconds);

struct OsVersion {
  uint32_t PlatformId = 2;  // 1 Windows 9x, 2 NT
  uint32_t Major = 5;
  uint32_t Minor = 1;
  uint32_t Build = 2600;
  std::string ServicePackText;
  bool HasExtended = false;  // the extended query answered
  uint16_t ServicePackMajor = 0;
  uint16_t ServicePackMinor = 0;
  uint16_t SuiteMask = 0;
  uint8_t ProductType = 1;  // 1 workstation, 2 domain controller, 3 server
  bool MediaCenter = false;
  bool TabletPC = false;
};
OsVersion GetOsVersion();
// Total physical memory as the 32-bit figure the system reports.
uint32_t PhysicalMemoryBytes();
uint64_t ReadTimeStampCounter();

// While it lives, the file Path is deleted when the process is interrupted
// (Ctrl-C, SIGTERM or SIGHUP; on Windows Ctrl-C, Ctrl-Break or the console
// closing), and the process then ends as it would have. For a half-written
// output: one path at a time, a later guard takes over while it lives.
class RemoveOnInterrupt {
 public:
  explicit RemoveOnInterrupt(const std::string& Path);
  ~RemoveOnInterrupt();
  RemoveOnInterrupt(const RemoveOnInterrupt&) = delete;
  RemoveOnInterrupt& operator=(const RemoveOnInterrupt&) = delete;
};

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

// Raises the process to the real-time class and the calling thread to
// time-critical priority for its lifetime, then restores both.
class PriorityBoost {
 public:
  PriorityBoost();
  ~PriorityBoost();
  PriorityBoost(const PriorityBoost&) = delete;
  PriorityBoost& operator=(const PriorityBoost&) = delete;

 private:
  uint32_t processClass_ = 0;
  int threadPriority_ = 0;
};

// Deletes Path as soon as the system allows: at the next restart for a file
// in use (the running program itself), at once where the system permits.
bool DeleteFileLater(const std::string& Path);

// Runs Program (looked up on the PATH when it names no folder) with Args,
// each passed to it as one argument whatever its blanks and quotes, and waits
// for it to end; its output goes where the caller's goes. False when it could
// not be started (the last error says why); else ExitCode is its status.
bool RunProgram(const std::string& Program, const std::vector<std::string>& Args, uint32_t& ExitCode);

// Starts File through the shell with the default verb. With Wait set, returns
// when the started process has ended (at once when the shell started no
// process) or as soon as KeepWaiting, asked every millisecond, says no.
// ShowCommand: 1 normal, 3 maximised. False when nothing started.
bool ShellExecute(const std::string& File, const std::string& Parameters, int ShowCommand, bool Wait,
                  const std::function<bool()>& KeepWaiting = {});

// A worker thread running one function. Join waits for it to end.
class Thread {
 public:
  Thread();
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  bool Start(std::function<void()> Body);
  void Join();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The number of processors the process may run on (at least 1).
uint32_t ProcessorCount();

// A wake-up call between threads: Notify wakes one Wait (or the next one to
// come); Wait returns after Timeout milliseconds at the latest.
class Signal {
 public:
  Signal();
  ~Signal();
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;
  void Notify();
  void Wait(uint32_t TimeoutMs);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// COM entered for the calling thread while the object lives (shell links).
class ComScope {
 public:
  ComScope();
  ~ComScope();
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool entered_ = false;
};

// Replaces icon resource Id (language neutral) of an executable with Image,
// the bytes of one icon image. False when the resources cannot be updated.
bool ReplaceIconResource(const std::string& Executable, uint16_t Id, const std::vector<uint8_t>& Image);

// SHA-256 of a block of bytes: CryptoAPI's AES provider on Windows (XP SP3
// and later), libmd on the host. False when the platform cannot compute it.
bool Sha256(const void* Data, size_t Size, uint8_t Digest[32]);

// MD5 over a stream of pieces: CryptoAPI on Windows, libmd on the host.
class Md5 {
 public:
  Md5();
  ~Md5();
  Md5(const Md5&) = delete;
  Md5& operator=(const Md5&) = delete;
  // False when the platform could not supply the hash.
  bool Ready() const;
  bool Update(const void* Data, uint32_t Size);
  // The 16-byte digest; false when it cannot be fetched.
  bool Final(uint8_t Digest[16]);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------------------------
// Text

// ANSI code page <-> UTF-16, as the system converts them.
WideString AnsiToWide(const std::string& Text);
std::string WideToAnsi(const WideString& Text);

}  // namespace platform
