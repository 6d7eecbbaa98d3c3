// The emulated Windows machine of the host build: a folder holding
//   machine.ini      drives, language, version, folders, message-box answers
//   drives/<l>/      the contents of drive L:
//   registry.reg     the registry, as the registry editor exports it (version 5)
// The folder is WIZPAK_HOST_ROOT, or the one a test sets with SetRoot.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace platform::host {

struct DriveConfig {
  char Letter = 'C';  // upper case
  DriveType Type = DriveType::kFixed;
  uint64_t FreeBytes = 0;
  bool NoMedium = false;  // "nomedium" for the free bytes: a removable drive with nothing in it
};

struct MachineConfig {
  uint16_t LanguageId = 0x0409;
  std::string Version = "Windows XP";
  std::string TempDir = "C:\\Temp";
  std::string ServicePack = "Service Pack 3";
  uint32_t PhysicalMemory = 0;  // 0: the host's own figure
  uint32_t CpuMhz = 0;          // a time-stamp counter at this clock over the tick count; 0: the host's own
  std::vector<DriveConfig> Drives;
  std::map<int, std::string> Folders;        // CSIDL -> path
  std::vector<int> Answers;                  // message-box answers, used in order
  std::string Date;                          // "YYYY-MM-DD" for a fixed today; empty: the host's
  std::map<int, std::string> WizardActions;  // [wizard]: what the headless wizard does, by number
  // [in use]: files another program of the machine holds, by their path as
  // written, with the program its Restart Manager names; release=N frees
  // them after the N-th Retry of a message box (0: never); from=N holds
  // them only from the machine's N-th change of its disks on (0: from the
  // start), so a check before a run finds them free.
  std::vector<std::pair<std::string, std::string>> InUse;
  uint32_t InUseRelease = 0;
  uint64_t InUseFrom = 0;
};

// Makes Root (a native folder) the machine for everything that follows and
// drops what was cached of the previous one. Creates the folder when missing.
void SetRoot(const std::string& Root);
// The current machine's folder: the one set, else WIZPAK_HOST_ROOT, else
// "./wizpak-machine".
std::string Root();
// Counts SetRoot calls, so caches of a machine know when to read it anew.
uint64_t Generation();
// The machine's configuration, read from machine.ini once per root; defaults
// stand for what the file does not say.
MachineConfig& Machine();
const DriveConfig* FindDrive(char Letter);

// For a program that runs on the machine (wizpak-run): from now on a path
// without a drive letter maps to nothing, as it names no place on a Windows
// machine, except the native files named in Allowed (the program's own file,
// a package named on its command line, the UI dump). The CLI keeps native
// paths.
void ConfineToMachine(const std::vector<std::string>& Allowed);

// True when Path names a place on the emulated machine ("C:\..." or "C:").
bool IsMachinePath(const std::string& Path);
// The native path for a Windows path: names that exist are matched without
// regard to case, the rest are taken as written. Native paths pass through
// with "\" turned into "/". Empty when the path cannot be mapped (an unknown
// drive, a network path).
std::string ToNative(const std::string& Path);

// The host layer's own changes tell the name index of the folder holding
// NativePath (a file or folder created, deleted or renamed there); the index
// then holds that one name as it is now on the disk.
void FolderChanged(const std::string& NativePath);

// Sets the thread's last error from an errno value.
void SetErrorFromErrno(int Errno, bool IsDirectory = false);

// What the machine "showed": message boxes, in order (caption, then text).
struct ShownMessage {
  std::string Caption;
  std::string Text;
  uint32_t Flags = 0;
  int Answer = 0;
};
std::vector<ShownMessage>& Transcript();

// Open-file bookkeeping that gives the host layer Windows share modes.
bool RegisterOpen(const std::string& NativePath, uint32_t Access, uint32_t Share, uint64_t& Token);
void UnregisterOpen(uint64_t Token);
// False when an open handle forbids deleting or renaming the file.
bool MayDelete(const std::string& NativePath);
// True while a program of the machine's "[in use]" section holds
// NativePath; Program (may be null) receives its name, empty when the
// section names none.
bool HeldByOther(const std::string& NativePath, std::string* Program = nullptr);
// A message box answered Retry: counted for "[in use]" release=N.
void NoteRetry();

std::string ToLowerAscii(std::string Text);

// Fault injection for tests: file operations that change the disk (create,
// write, truncate, flush, rename, delete, attribute change, folder create and
// remove) are counted from 1; operation N fails as a full disk would, and
// with Persist every operation after it fails too, as after a crash.
// N = 0 switches injection off. The counter restarts with every call.
void InjectFileFault(uint64_t N, bool Persist);
// The exit status of a process that WIZPAK_HOST_KILL_AT ended.
constexpr int kKilledExitCode = 137;
// Operations counted since the last InjectFileFault call.
uint64_t FileOperationCount();
// True once an injected fault has fired.
bool FileFaultFired();
// Counts one operation; false when it must fail (the last error is then set).
bool FileOperationAllowed();

// For tests that start many runs: Sleep returns at once and moves TickCount
// on by the time it was asked to wait.
void SetFastClock(bool On);

}  // namespace platform::host
