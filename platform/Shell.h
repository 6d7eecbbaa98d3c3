// The shell: special folders, shell links, starting a document or program
// through the shell, COM for the calling thread and icon resources.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Errors.h"

namespace platform {

constexpr int kCsidlPrograms = 2;
constexpr int kCsidlPersonal = 5;
constexpr int kCsidlStartMenu = 11;
constexpr int kCsidlDesktopDirectory = 16;
constexpr int kCsidlCommonStartMenu = 22;
constexpr int kCsidlCommonPrograms = 23;
constexpr int kCsidlCommonDesktopDirectory = 25;
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

// Starts File through the shell with the default verb. With Wait set, returns
// when the started process has ended (at once when the shell started no
// process) or as soon as KeepWaiting, asked every millisecond, says no.
// ShowCommand: 1 normal, 3 maximised. False when nothing started.
bool ShellExecute(const std::string& File, const std::string& Parameters, int ShowCommand, bool Wait,
                  const std::function<bool()>& KeepWaiting = {});

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

}  // namespace platform
