// An undo journal beside a file that is changed in place: before a range of
// the file is overwritten for the first time, its old bytes go to the journal
// and the journal is flushed. The journal also holds the old contents of side
// files that belong with the file. A run that finishes deletes the journal; a
// run cut short leaves it, and the next open puts everything back as it was.
//
// Journal: magic "WZUNDOJ1", the file's old size (u64), the side-file count
// (u32), each side file (name length u16, name, existed u8, length u32,
// bytes), the CRC-32 of all that; then records: offset (u64), length (u32),
// the old bytes, the CRC-32 of the record. A record cut short ends the list:
// it was being written, so the range it covers was not touched yet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Observers.h"
#include "platform/Platform.h"

// The journal's name is the file's name with this appended.
constexpr char kUndoSuffix[] = ".undo";

class TUndoJournal {
 public:
  // Target is the open (read-write) file the journal protects; Path is the
  // journal's own file.
  TUndoJournal(platform::File& Target, std::string Path) : target_(Target), path_(std::move(Path)) {}

  bool Active() const { return active_; }
  // A run undone as a whole keeps each update's journal: Begin asks it for
  // the name, Commit renames the journal to it instead of deleting it.
  TUndoKeeper* Keeper = nullptr;
  const std::string& Path() const { return path_; }

  // Starts the journal when it is not active yet: the target's size and the
  // side files' contents, flushed. Raises ESetupError when it cannot be written.
  void Begin(const std::vector<std::string>& SideFiles);
  // Saves the old bytes of [Offset, Offset + Length) that are not saved yet,
  // a little ahead of the range so that a run of writes flushes seldom. The
  // target's file pointer is where it was. Raises ESetupError on failure.
  void Protect(uint64_t Offset, uint64_t Length);
  // The changes are on the disk: the journal goes (or, with a keeper, is
  // renamed to the name it gave). False when it cannot be deleted or renamed
  // (the next open would undo the run, so the caller reports it).
  bool Commit();
  // Puts the target and its side files back as they were at Begin and
  // deletes the journal. Raises ESetupError when that fails; the journal
  // stays then for the next open.
  void Rollback();

  // For a file being opened: applies a journal an interrupted run left,
  // restoring only the side files named in SideFiles. Returns true when
  // something was put back, false when there was no journal or only one that
  // was cut short while it was started (or does not fit the file and its side
  // files: it is dropped). Raises ESetupError when a journal is there but
  // cannot be applied.
  static bool Recover(platform::File& Target, const std::string& Path, const std::vector<std::string>& SideFiles);

 private:
  void Append(const uint8_t* Data, size_t Size);

  platform::File& target_;
  std::string path_;
  std::vector<std::string> sideFiles_;
  platform::File journal_;
  bool active_ = false;
  std::string keepAs_;
  uint64_t originalSize_ = 0;
  // Per 64 KiB granule of the target's old length: its bytes are saved.
  std::vector<uint8_t> saved_;
};
