// The game's own data archives: member data one after another, then a zlib
// directory of 152-byte records, a 20-byte directory header and a trailer that
// may carry an enciphered password and an "official" flag. Updates append new
// member data and write a new directory, header and trailer at the end.
//
// An update first saves the old directory, header and trailer to an undo
// journal beside the archive ("<archive>.undo"); it is deleted once the new
// ones are written and flushed. An archive opened while a journal is there
// gets its old end back, so an update cut short by a crash or a full disk
// leaves the archive as it was before that update.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "common/Exceptions.h"
#include "common/FunctionRef.h"
#include "common/Observers.h"
#include "gamedata/GameData.h"
#include "gamedata/UndoJournal.h"
#include "platform/Platform.h"

constexpr uint32_t kArchiveEntrySize = 152;
constexpr uint32_t kArchiveHeaderSize = 20;
constexpr uint32_t kArchiveVersion = 5;
constexpr uint32_t kArchiveNameMax = 127;
constexpr uint16_t kArchiveMarker = 0x0A0D;
constexpr uint8_t kMemberSound = 1;
constexpr uint8_t kMemberStream = 2;
constexpr uint32_t kSoundHeaderSize = 58;
constexpr uint32_t kAdpcmBlockBytes = 2048;
constexpr uint32_t kOldTrailerSize = 13;
constexpr char kOfficialAccessCode[] = "vormelk";

struct TArchiveEntry {
  uint16_t Marker = kArchiveMarker;
  uint8_t Kind = 0;
  uint32_t Date = 0;
  uint32_t StoredSize = 0;
  uint32_t OrigSize = 0;
  uint32_t Offset = 0;
  std::string Name;  // at most 127 characters

  // The 152-byte record: the name field zero after the name, offset 20 zero.
  void WriteTo(uint8_t* Out) const;
};

struct TExtraInfo {
  bool HasPassword = false;
  bool Official = false;
  std::string Password;
};

enum class TTrailerForm { kNone, kOld, kCurrent };

// The records of an open archive in file order, found by name ignoring case.
class TArchiveDirectory {
 public:
  const TArchiveEntry* Find(const std::string& Name) const;
  TArchiveEntry* Find(const std::string& Name);
  void Append(const TArchiveEntry& Entry);
  // Removes the first record under Name; false when there is none.
  bool Remove(const std::string& Name);
  void Clear();
  size_t Count() const { return records_.size(); }
  const std::list<TArchiveEntry>& Records() const { return records_; }

 private:
  std::list<TArchiveEntry> records_;
  // Lower-cased name -> record; equal keys stay in file order.
  std::multimap<std::string, std::list<TArchiveEntry>::iterator> index_;
};

// Where an update's members come from: a package group at run time, pairs of
// names and files in the command-line tool.
class TArchiveMembers {
 public:
  virtual ~TArchiveMembers() = default;
  virtual uint32_t Count() = 0;
  virtual void ForEach(TFunctionRef<void(uint32_t)> Callback) = 0;
  virtual std::string Name(uint32_t Index) = 0;
  virtual uint32_t OrigSize(uint32_t Index) = 0;
  // The member's bytes; nothing when they cannot be read.
  virtual std::optional<TBytes> Read(uint32_t Index) = 0;
};

// Members read from files, in the order given.
class TFileMembers : public TArchiveMembers {
 public:
  struct Item {
    std::string Name;    // the member name
    std::string Source;  // the file its bytes come from
  };
  explicit TFileMembers(std::vector<Item> Items) : items_(std::move(Items)) {}
  uint32_t Count() override { return static_cast<uint32_t>(items_.size()); }
  void ForEach(TFunctionRef<void(uint32_t)> Callback) override;
  std::string Name(uint32_t Index) override { return items_[Index].Name; }
  uint32_t OrigSize(uint32_t Index) override;
  std::optional<TBytes> Read(uint32_t Index) override;

 private:
  std::vector<Item> items_;
};

// Raised after FatalExit when the end handler returns (tests replace it); the
// operation does not go on, as the program would have ended.
class EArchiveFatal : public ESetupError {
 public:
  using ESetupError::ESetupError;
};

// The sound form of a ".WAV" member.
struct TSoundForm {
  TBytes Bytes;  // the 58-byte header and the payload
  bool Adpcm = false;
  int32_t LoopStart = -1;
  int32_t LoopEnd = -1;
  bool LoopToEnd = false;
};

// One run's access to the game's archives: the patch commands' operations,
// and reading an archive for the command-line tool. Not shared between
// threads; each run (and each tool invocation) makes its own.
//
// How the operations fail:
// - an archive that cannot be opened (missing, locked) asks Retry/Cancel
//   through the prompt; Cancel calls OnExit (by default the process ends
//   there) and, when that returns, raises EArchiveFatal;
// - a wrong password, a damaged archive (its trailer, header or directory
//   does not hold together, or members overlap) and a failed write whose old
//   end could not be put back show the fatal box through the prompt
//   (Prompt().FatalAppExit; by default the process ends) and, when that
//   returns, raise EArchiveFatal; a damaged archive is not changed;
// - a member that cannot be read, or a write that fails after the old end
//   was put back, raises ESetupError; the archive is as it was before the
//   operation (the undo journal beside it guarantees that across a crash).
// Nothing is changed on disk before the archive passed its checks.
class TPakSystem {
 public:
  TPakSystem();

  // Adds or replaces every member of Members in archive ArchiveName. An
  // archive with a password takes only that Password; one without gets it.
  void UpdateArchive(TArchiveMembers& Members, const std::string& ArchiveName, const std::string& Password);
  // The file an archive name stands for: relative to InstallDir, or the name
  // itself when InstallDir is empty.
  static std::string ArchivePathIn(const std::string& InstallDir, const std::string& Name);
  // Sets the official flag ("1", "t", "true") or clears it; a wrong
  // AccessCode changes nothing and opens nothing.
  void SetOfficial(const std::string& ArchiveName, const std::string& AccessCode, const std::string& FlagText);
  // Adds a record NewName for the data of SourceName; nothing when there is
  // no SourceName; a NewName with other data is left as it is.
  void DuplicateEntry(const std::string& ArchiveName, const std::string& SourceName, const std::string& NewName);
  // Writes a new archive with no members and Password; raises ESetupError
  // when Path exists or cannot be written (nothing is left behind then).
  void CreateArchive(const std::string& Path, const std::string& Password);

  // Reading: opens the archive at Path (a full path) and reads its trailer
  // and directory into the fields below, failing as the operations do; an
  // update cut short before is put back first (Restored). CloseArchive ends
  // it (and any operation's state); it never raises.
  void OpenArchive(const std::string& Path);
  void CloseArchive();
  // A record's stored bytes from the open archive; nothing when they lie
  // outside the member data or cannot be read.
  std::optional<TBytes> ReadStored(const TArchiveEntry& Entry);

  // Set by the caller. Archive names are relative to InstallDir; an empty
  // InstallDir takes them as paths. Observer and Text may be null (no
  // status texts, no progress).
  std::string InstallDir;
  TSetupObserver* Observer = nullptr;
  // Set by a run that is undone as a whole: each update keeps its undo journal.
  TUndoKeeper* Keeper = nullptr;
  const TTextSource* Text = nullptr;
  // How the program ends after a Cancel on the Retry/Cancel box: the
  // platform's exit, unless a test or a tool replaces it.
  std::function<void(uint32_t)> OnExit;

  // What the last open found, for reading; the operations change them.
  TArchiveDirectory Directory;
  TExtraInfo ExtraInfo;
  TTrailerForm TrailerForm = TTrailerForm::kNone;
  std::string TrailerTag;  // "EIH1", "EIH2" or empty
  uint8_t SeedA = 0;
  uint8_t SeedB = 0;
  uint64_t DirectoryOffset = 0;
  // Set when OpenArchive put back the end of an archive from its undo file.
  bool Restored = false;

 private:
  std::unique_ptr<TUndoJournal> undo_;
  uint8_t OldTrailer[kOldTrailerSize] = {};
  uint8_t TrailerRecord[6] = {};
  std::string ArchiveName;
  std::string ArchivePath;
  platform::File ArchiveHandle;
  uint64_t WritePosition = 0;
  bool WriteFailed = false;
  uint32_t MemberTotal = 0;
  uint32_t MemberCounter = 0;
  // The status texts' last percentage, so the bar moves only when it grows.
  uint32_t LastPercent = 0;

  std::string PathOf(const std::string& Name) const { return ArchivePathIn(InstallDir, Name); }
  uint32_t ReadTrailer();
  void ReadDirectory(uint32_t TrailerLength);
  void CutAtDirectory();
  void AddMember(TArchiveMembers& Members, uint32_t Index);
  void WriteDirectory();
  bool WriteTrailer();
  [[noreturn]] void FatalExit(const std::string& Text);
  // The first damage of the open archive's members that an update would make
  // worse (a member reaching into the directory, two members sharing part of
  // their bytes; a duplicate naming the same bytes is sound), or empty.
  std::string MemberDamage() const;
  void Finish();
  // Opens the archive for a change: a damaged one ends the operation with
  // its fatal text before anything is written.
  void OpenForChange(const std::string& Path);
  void ShowStatus(uint16_t Number, uint32_t Done);
  // Puts back the end the journal holds; false when that fails too (the
  // journal then stays for the next open).
  bool PutBackOldEnd();
  std::string Message(int Number) const;
};

// The member forms, usable on their own.
void ScrambleStream(uint8_t* Bytes, size_t Length);
TBytes CompressMember(const uint8_t* Data, size_t Size);  // zlib level 9, scrambled
// Nothing when the data is not a canonical 44-byte-header WAVE file.
std::optional<TSoundForm> EncodeSound(const std::string& Name, const uint8_t* Data, size_t Size);
void FindLoopPoints(const uint8_t* Data, size_t Size, uint32_t DataSize, TSoundForm& Form);
// Encodes Count 16-bit samples into Out (Count / 2 bytes); States holds the
// predictor and step index of each channel and carries between blocks.
struct TAdpcmState {
  int32_t Predictor = 0;
  int32_t Index = 0;
};
void EncodeAdpcmBlock(const int16_t* Samples, uint32_t Count, bool Stereo, TAdpcmState States[2], uint8_t* Out);
// A member's original bytes: the inflated stream for kind 2, a playable WAVE
// file (PCM as stored, ADPCM decoded) for kind 1. Nothing when malformed.
std::optional<TBytes> DecodeMember(const TArchiveEntry& Entry, const TBytes& Stored);
// The same bytes handed to Sink in pieces (an inflated stream never held
// whole); false when the member is malformed or Sink refused a piece, after
// the pieces before it were handed over.
bool DecodeMemberTo(const TArchiveEntry& Entry, const TBytes& Stored,
                    TFunctionRef<bool(const uint8_t* Piece, size_t Count)> Sink);

// Shared by the archive's writing and the tools' reading: the IMA ADPCM step
// and index tables.
extern const int16_t kAdpcmStepTable[89];
extern const int8_t kAdpcmIndexTable[16];
