// Low-level packing: files and folders into the entries of one group, written
// as a new package file or appended to a copy of a stub executable.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "builder/Deflate.h"
#include "builder/PackCache.h"

#include "common/Bytes.h"

struct TPackInput {
  std::string SourcePath;  // a file on disk, unless Data is given
  std::string EntryName;   // its name in the package ("sub\file.txt")
  uint16_t Group = 1;
  std::optional<TBytes> Data;  // the entry's bytes, held in memory
};

// The bytes Input stands for: its Data, else its file's; nothing when the
// file cannot be read.
std::optional<TBytes> InputBytes(const TPackInput& Input);

struct TPackStats {
  uint32_t Files = 0;
  uint64_t BytesIn = 0;
  uint64_t BytesOut = 0;
  // Set by the setup builder: how many of the entries are files its
  // script's lines packed (the rest are the setup's own data).
  uint32_t ScriptFiles = 0;
};

// Adds File (as its own name) or every file below Folder (names relative to
// it, "\" between folders) to Inputs. False with Error for a missing path.
bool CollectPackInputs(const std::string& Path, uint16_t Group, std::vector<TPackInput>& Inputs, std::string& Error);

// What to pack and how.
struct TPackRequest {
  std::string Output{};
  std::string Stub{};         // a copy of it carries the package; empty: a package file of its own
  uint32_t Threads = 0;       // compressing threads; 0: one per processor
  int Level = kDefaultLevel;  // 1 to 12, see builder/Deflate.h
  // Called after every entry, when given.
  std::function<void(const TPackStats&, const TPackInput&)> Progress{};
  // Stored forms kept between builds (opened, of the same level), or null.
  TPackCache* Cache = nullptr;
};

// Writes Inputs to Request.Output, behind a copy of the stub when one is
// named. The package is written to a temporary file next to Output and
// renamed over it only when complete, so a failed pack leaves Output as it
// was. Refuses entry names that would leave their folder and names given twice
// in one group. Entries are compressed on worker threads, a bounded window
// ahead of the writer, and written in order: the bytes are those of a
// single-threaded build.
bool WritePackage(const TPackRequest& Request, const std::vector<TPackInput>& Inputs, TPackStats& Stats,
                  std::string& Error);
