// The compile-time context the commands' compile steps work on: the setup
// information being built, the lines being compiled, the files to pack by
// group, and the errors found.
//
// The operations the compile steps call are virtual. The setup runtime holds
// the command classes, and so their compile steps, but never compiles: with
// the calls going through the objects' tables it links none of the compiler.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "package/ZUI_CompLines.h"
#include "package/ZUI_SetupInfo.h"

class TCompiler;

struct TCompilerError {
  std::string Text;
  int32_t Row = -1;
};

// One file to pack: where it is read from, its entry name and the group it
// was finally filed under. Row is the script line that added it.
struct TFile {
  std::string SourcePath;
  std::string EntryName;
  uint16_t Group = 0;
  int32_t Row = -1;
};

struct TGroup {
  std::string Name;  // lower-cased; empty for unnamed groups
  std::vector<TFile> Files;
};

class TCompilerFileList {
 public:
  explicit TCompilerFileList(TCompiler& Owner);
  virtual ~TCompilerFileList();
  TCompilerFileList(const TCompilerFileList&) = delete;
  TCompilerFileList& operator=(const TCompilerFileList&) = delete;

  // Group 0 only, counters at 0.
  void Clear();
  // Grows the list to hold Index, naming the new group at Index; an existing
  // group is not changed.
  void EnsureGroup(uint16_t Index, const std::string& Name);
  // Adds the file Path, or every file below the folder Path (entry names
  // relative to it), to Group. Relative paths are taken from the compiler's
  // source directory unless Absolute is set. A path that is neither file nor
  // folder adds nothing.
  virtual void AddPath(const std::string& Path, uint16_t Group, bool Absolute, const std::string& GroupName,
                       int32_t Row = -1);
  // Adds one existing file. Groups sharing a name pack into the first of them,
  // and a later file with the same entry name replaces the earlier one's source.
  virtual void AddFile(const std::string& SourcePath, const std::string& EntryName, uint16_t Group, int32_t Row = -1);

  std::vector<TGroup> Groups;
  uint16_t GroupCounter = 0;
  int32_t FileCount = 0;

 private:
  TCompiler& owner_;
};

class TCompiler {
 public:
  TCompiler();
  virtual ~TCompiler();
  TCompiler(const TCompiler&) = delete;
  TCompiler& operator=(const TCompiler&) = delete;

  // Records an error for line Row; LastError keeps the latest, Errors all.
  void Error(const std::string& Text, int32_t Row);
  void Message(const std::string& Text) const;
  void Detail(const std::string& Text) const;
  // SourceDir + "\" + Path, or Path when the source directory is empty.
  virtual std::string FromSourceDir(const std::string& Path) const;
  // FileList, for the compile steps (through the table, see above).
  virtual TCompilerFileList& Files();
  // The index, as decimal text, of the last label line named Name (compared
  // ignoring case); Name itself when none matches, which is recorded as the
  // error "Label not found - " + Name unless Name is a decimal number.
  virtual std::string ResolveLabel(const std::string& Name, int32_t Row);

  std::function<void(const std::string&)> OnMessage;
  std::function<void(const std::string&)> OnDetail;
  std::string SourceDir;  // relative source paths are taken from here
  // The builder's data folders, holding languages and layout, searched in
  // order after the script's own folder.
  std::vector<std::string> DataDirs;
  // The script's folder, then each data folder: where page sets and
  // language files are looked for.
  std::vector<std::string> DataSearch() const;
  // The first of those folders' Relative ("languages\install\english.wri")
  // that exists, file or folder; empty when none has it.
  std::string FindData(const std::string& Relative) const;
  // "FOLDER, FOLDER": the folders searched, for a message.
  std::string DataSearchText() const;
  TSetupInfoFile SetupInfo;
  // The "ProductInfo" entry's text: "Name=Value" lines of the product's
  // Uninstall key ("version", "publisher", "url"); empty when none is set.
  std::string ProductInfo;
  TCompLines Lines;
  TCompilerFileList FileList;
  TCompilerError LastError;
  std::vector<TCompilerError> Errors;
};
