// "SetupInfo": what a setup is installing and how it behaves. Eleven
// length-prefixed strings, a root byte and two flag bytes, back to back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "common/Strings.h"
#include "platform/Text.h"

struct TREGKEY {
  uint8_t HKEY = 0;  // root number, 0 HKLM .. 4 HKCC
  std::string Path;
  std::string Key;  // value name; empty: no registry value named
};

struct TSetupInfo {
  std::string SetupName;
  std::string SetupShortName;
  std::string SetupExeName;
  std::string UninstallExeName;
  std::string UninstallPrefix;
  std::string InstallDir;
  std::string Changelog;
  TREGKEY InstallDirRegKey;
  std::string InstallPages;
  std::string UninstallPages;
  uint8_t IsUninstaller = 0;
  uint8_t MakeUninstaller = 0;
};

class TSetupInfoFile {
 public:
  // Reads every field in order, replacing the held values. Raises ESetupError
  // when the data ends inside a string; a byte field beyond the end keeps its
  // value. Bytes after the last field are ignored.
  void LoadFromBuffer(const uint8_t* Data, uint32_t Size);
  // The record's bytes (25 for an empty record). Raises ESetupError for a
  // string longer than 65,535 bytes.
  TBytes SaveToBytes() const;
  // Creates or replaces FileName with the record; false when it cannot be written.
  bool SaveToFile(const std::string& FileName) const;

  TSetupInfo Info;
};

// The group-0 entry with the product's further Uninstall-key values, one
// "Name=Value" line each (CR LF); packages without it register only the name
// and the uninstaller.
constexpr char kProductInfoEntry[] = "ProductInfo";
// Calls Each(Name, Value) for each line of that entry's data, in order.
template <class Call>
void ForEachProductValue(const TBytes& Data, Call Each) {
  std::string text = platform::FromStoredText(std::string(Data.begin(), Data.end()));
  for (size_t pos = 0, end; pos < text.size(); pos = end == std::string::npos ? text.size() : end + 1) {
    end = text.find_first_of("\r\n", pos);
    std::string name, value;
    SplitKeyValue(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos), name, value);
    if (!name.empty()) Each(name, value);
  }
}

// The group-0 entry with the licence text a licence page shows (the script's
// "license" line).
constexpr char kLicenseEntry[] = "License";

// The group-0 entry of a signed setup that holds its uninstaller, made and
// signed when the setup was built; the setup writes it instead of building
// one (a setup cannot sign what it writes).
constexpr char kSignedUninstallerEntry[] = "SignedUninstaller";
