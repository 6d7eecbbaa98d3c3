// Whole-file reading and writing, directory creation that feeds the uninstall
// log, tree removal and shell links.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "common/Observers.h"
#include "common/Strings.h"

// For a path of more than three characters beginning "X:\": creates every
// missing folder from the drive root on, parents first, and reports each one
// it created to Recorder (which may be null).
void ForceInstallDirs(const std::string& Path, TInstallRecorder* Recorder);
// The folder part of Path ("C:\A\b.txt" -> "C:\A\"), empty when it has none.
std::string ExtractFilePath(const std::string& Path);
// The name after the last "\", "/" or drive colon ("C:\A\b.txt" -> "b.txt").
std::string ExtractFileName(const std::string& Path);

// Creates the file's folders, then creates or replaces the file with Count
// bytes of Data (an empty file when Data is null). Reports nothing; a failure
// shows up as a missing or short file. Returns whether all bytes were written.
bool WriteWholeFile(const std::string& Path, const uint8_t* Data, uint32_t Count, TInstallRecorder* Recorder);
// The whole file. Raises ESetupError naming the file and the reason when it
// cannot be opened or read.
TBytes LoadWholeFile(const std::string& Path);

// Deletes Dir with everything below it. What cannot be deleted stays, and so
// do its parents; returns whether Dir is gone.
bool RemoveTree(const std::string& Dir);

// Writes a shell link. The icon location is stored only when IconPath differs
// from Target. Reports nothing; returns whether the link was saved.
bool CreateShellLink(const std::string& LinkPath, const std::string& Target, const std::string& Arguments,
                     int IconIndex, const std::string& IconPath, int ShowCommand, const std::string& WorkDir,
                     TInstallRecorder* Recorder);
// Short forms: the target as icon (or IconPath, index 0), show command 1 and
// the target's folder as working directory.
bool CreateShellLink(const std::string& LinkPath, const std::string& Target, const std::string& Arguments,
                     TInstallRecorder* Recorder);
bool CreateShellLink(const std::string& LinkPath, const std::string& Target, const std::string& Arguments,
                     const std::string& IconPath, TInstallRecorder* Recorder);

// Sorts a folder listing by name, ignoring ASCII case, so that what is built
// from it does not depend on the file system's listing order. Inline: only
// the builder sorts listings, and a Windows program carries every function of
// each object file it links.
inline void SortByName(std::vector<platform::DirEntry>& Entries) {
  std::sort(Entries.begin(), Entries.end(), [](const platform::DirEntry& a, const platform::DirEntry& b) {
    std::string la = LowerAscii(a.Name), lb = LowerAscii(b.Name);
    return la != lb ? la < lb : a.Name < b.Name;
  });
}

// Why an entry name may not be written below a folder, or empty when it may:
// "would leave its target folder" (empty, absolute, a drive or stream ":",
// a ".." component) or "names the device CON" (a component that Windows
// opens as a device whatever its extension: CON, PRN, AUX, NUL, COM1-COM9,
// LPT1-LPT9).
std::string UnsafeNameReason(const std::string& Name);
// The device ("CON", "LPT1") a folder or file name of Path (after its drive)
// opens as on Windows; empty when none does.
std::string DeviceNameIn(const std::string& Path);
// "names the device CON" when DeviceNameIn(Path) finds one; empty otherwise.
std::string DevicePathReason(const std::string& Path);

// The reason a file operation on Path failed with Code, as DescribeError
// gives it, except that a folder named where a file was wanted (which the
// system reports as "access denied") is called what it is.
std::string DescribeFileError(const std::string& Path, uint32_t Code);
// True when UnsafeNameReason has nothing to say.
inline bool IsSafeRelativeName(const std::string& Name) { return UnsafeNameReason(Name).empty(); }
