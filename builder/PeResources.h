// The resources of a Windows executable, read from its bytes and written
// back, so the builder gives a setup its icon and version resource on any
// system (no Debian package edits a cross-built executable's resources).
// Only the bytes are touched: the resource section is laid out anew and the
// sections after it move with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Bytes.h"

constexpr uint16_t kResourceIcon = 3;
constexpr uint16_t kResourceVersion = 16;
constexpr uint16_t kResourceGroupIcon = 14;

// A resource's type or name: a number, or a name when Name is not empty.
struct TResourceKey {
  uint16_t Id = 0;
  WideString Name;
  bool operator==(const TResourceKey&) const = default;
};

struct TResource {
  TResourceKey Type, Name;
  uint16_t Language = 0;
  TBytes Data;
};

// What a version resource says.
struct TVersionInfo {
  std::string ProductName, Version, Publisher, Description, FileName;
};

// Whether Image starts as a Windows executable does ("MZ", then "PE\0\0").
bool IsPortableExecutable(const TBytes& Image);

// The resources of the executable Image, in the order its tree lists them.
// False with Error for a damaged executable.
bool ReadResources(const TBytes& Image, std::vector<TResource>& Resources, std::string& Error);

// Makes Resources the executable's resources: its resource section is written
// anew and the sections after it (and the data directories that point into
// them) move by what it grew or shrank. False with Error, Image unchanged,
// for an executable it cannot rewrite (no resource section of its own, data
// after the last section, a signature).
bool WriteResources(TBytes& Image, const std::vector<TResource>& Resources, std::string& Error);

// Every image of the icon file Icon as icon images 1 to N and icon group 1,
// in place of the icons and icon groups Resources had (their language kept).
// False with Error for a file that is no icon.
bool SetIcon(std::vector<TResource>& Resources, const TBytes& Icon, std::string& Error);

// Version resource 1 (US English, Unicode) with Info's texts and its version
// ("1.2.3.4"; parts missing or not numbers count 0), in place of any other.
void SetVersion(std::vector<TResource>& Resources, const TVersionInfo& Info);
