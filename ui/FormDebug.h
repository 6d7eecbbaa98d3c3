// The debug window: the package's entries and the setup information with the
// compiled lines, as `wizpak list` and `wizpak dump` print them (the CLI
// prints these same texts).
#pragma once

#include <string>

class TPak;
struct TSetupInfo;
class TCompLines;
struct TProgram;

// The trailer line and one line per entry (index, group, sizes, offset,
// checksum, name) of the package at Path.
std::string PackageListing(TPak& Pak, const std::string& Path);
// "SetupInfo:" with every field, then "CompiledLines:" with every line.
std::string SetupDump(const TSetupInfo& Info, const TCompLines& Lines);

class TFrmDebug {
 public:
  explicit TFrmDebug(TProgram& Program);
  // What the window shows: the listing, then the dump.
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};
