// The run journal: how to undo each change a setup's run makes to the
// machine, written and flushed before the change, in a folder of its own in
// the install directory. A run that did everything deletes it as its very
// last step (Commit); a run that cannot finish undoes every change in reverse
// order (RollBack); a journal that a killed run left behind is rolled back by
// the next start (RollBackFolder).
//
// Folder: Prefix + "run-journal" in the install directory. File "journal" in
// it: the magic "WZRUNJ01", then records: kind (u8), payload length (u32),
// the payload, the CRC-32 of kind, length and payload. A string in a payload
// is its length (u32) and its bytes. A file the run overwrites or deletes is
// moved into the folder (a rename, under its record's number) before the
// change; one on another drive is moved beside itself instead.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/FunctionRef.h"
#include "common/Observers.h"
#include "platform/Platform.h"

// What a roll-back did: how many changes it undid, what it could not put
// back, what cannot be undone at all (programs the run started).
struct TRollBackReport {
  uint32_t Total = 0;
  uint32_t Undone = 0;
  std::vector<std::string> Problems;
  std::vector<std::string> Started;
  // The journal ended in a damaged record: what it named after it is unknown.
  bool Damaged = false;
  // The folder held no journal: what a finished run left, or one ended while
  // it made the folder; it was only cleared.
  bool Leftover = false;
  bool Complete() const { return Problems.empty() && !Damaged; }
  // Lines for the failure text and the error log.
  std::string Text() const;
};

// Used by the thread that runs the script only (extraction calls it from
// there too, in entry order).
class TRunJournal : public TInstallRecorder, public TUndoKeeper {
 public:
  // The journal folder of an install directory.
  static std::string FolderOf(const std::string& InstallDir, const std::string& Prefix);

  // Next receives the recorder calls as well (the uninstall list; may be
  // null). Registry is the run's registry, for values and keys.
  TRunJournal(std::string Folder, TInstallRecorder* Next, platform::Registry* Registry);
  ~TRunJournal() override;
  TRunJournal(const TRunJournal&) = delete;
  TRunJournal& operator=(const TRunJournal&) = delete;

  // Makes the folder (new: one that exists, or a link, is refused) and the
  // journal in it. False with the last error set when it cannot.
  bool Start();
  const std::string& Folder() const { return folder_; }
  // Folders the run made before the journal existed (the install directory
  // and its parents), outermost first: undone last.
  bool RecordDirectoriesMade(const std::vector<std::string>& Paths);

  // TInstallRecorder: files and folders about to be written.
  void AddInstalledFile(const std::string& Path) override;
  void AddDirectory(const std::string& Path) override;
  bool BeforeFile(const std::string& Path) override;
  bool BeforeDirectory(const std::string& Path) override;
  bool BeforeFiles(const std::vector<std::string>& Paths, std::string& Failed) override;
  // TUndoKeeper: a container or archive updated in place.
  std::string KeepUndoOf(const std::string& Target, const std::vector<std::string>& Sides) override;

  // The script's deletes: the file or folder tree is moved aside, which is
  // the deletion. False with the last error when it could not be.
  bool RemoveFile(const std::string& Path);
  bool RemoveFolder(const std::string& Path);
  // Before From is renamed to To (which the rename never replaces).
  bool BeforeRename(const std::string& From, const std::string& To);
  // Before value Name of Key under the registry's current root is written.
  bool BeforeValue(const std::string& Key, const std::string& Name);
  // A program the run started: it cannot be undone, only named.
  void NoteStarted(const std::string& Program);

  // Makes the run final: the journal is deleted (false, Problem saying why,
  // when it cannot be: the run is not final then), then what was moved aside,
  // every kept undo journal and the folder (Problem names what stays).
  bool Commit(std::string& Problem);
  // Undoes every recorded change, newest first, then deletes the journal.
  // Progress is told (done, total) as it goes.
  TRollBackReport RollBack(TFunctionRef<void(uint32_t, uint32_t)> Progress);
  // The same for a journal folder a run left behind (killed, power lost).
  static TRollBackReport RollBackFolder(const std::string& Folder, platform::Registry* Registry,
                                        TFunctionRef<void(uint32_t, uint32_t)> Progress);

  // Asked when a file to be moved aside is held by another program: true to
  // try again (a person closed it and chose Retry). Unset: it fails at once.
  std::function<bool(const std::string& Path)> RetryInUse;

  // The number of records written so far.
  uint32_t Records() const { return records_; }

 private:
  // One record, written (and flushed unless batched); false when it could not be.
  bool Append(uint8_t Kind, const std::string_view* Strings, size_t StringCount,
              std::initializer_list<uint32_t> Numbers = {});
  bool Append(uint8_t Kind, std::initializer_list<std::string_view> Strings,
              std::initializer_list<uint32_t> Numbers = {}) {
    return Append(Kind, Strings.begin(), Strings.size(), Numbers);
  }
  bool FileRecord(const std::string& Path);
  bool MissingParents(const std::string& Path);
  std::string StashName();

  std::string folder_;
  TInstallRecorder* next_;
  platform::Registry* registry_;
  platform::File file_;
  uint32_t records_ = 0;
  bool batch_ = false;
  // Lower-cased paths already journaled: a second change of one needs no record.
  std::set<std::string> files_;
  std::set<std::string> dirs_;
  std::set<std::string> keys_;
  // Folders found there before the run: their files need no look at them again.
  std::set<std::string> present_;
  bool Present(const std::string& Bare);
};
