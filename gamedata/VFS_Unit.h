// The game's virtual-file-system container: a header, a block table, a root
// table and fixed-size data blocks, with the directory tree in memory and the
// ".ht" side file of path hashes beside it. Every change is written through,
// after the bytes it overwrites are kept in an undo journal beside the
// container ("<container>.undo"); Save deletes the journal once the header,
// digest and side file are on the disk. A container closed without a finished
// Save, or opened after an interrupted update, is put back as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "common/Exceptions.h"
#include "gamedata/UndoJournal.h"
#include "platform/Platform.h"

// A failed internal check of the game-data code; the text names the check,
// the unit and the line.
class EAssertionFailed : public ESetupError {
 public:
  using ESetupError::ESetupError;
};
// Raises EAssertionFailed with "<Text> (<Unit>, line <Line>)"; one call site
// per check instead of the whole message and throw at each.
[[noreturn]] void RaiseAssertion(const std::string& Text, const char* Unit, int Line);
// The VFS code's internal check.
#define VFS_CHECK(cond, text)                                \
  do {                                                       \
    if (!(cond)) RaiseAssertion(text, "VFS_Unit", __LINE__); \
  } while (0)

constexpr uint32_t vfFile = 1;
constexpr uint32_t vfDirectory = 2;
constexpr uint32_t vfCompressed = 8;
constexpr uint32_t kVFSEntrySize = 88;
constexpr uint32_t kVFSNameSize = 65;
constexpr uint32_t kVFSChunkSize = 50000;
constexpr int32_t kVFSNoRootSlot = 255;
// The fixed width of the header's description text.
constexpr uint32_t kDescriptionField = 256;

struct TVFSEntry {
  std::string Name;  // at most 65 characters
  uint32_t Flags = 0;
  uint32_t Date = 0;
  int32_t FirstBlock = 0;  // 1-based; 0: no chain yet
  int32_t Size = 0;
  int32_t OrigSize = 0;
};

struct TVFSBlockLink {
  uint32_t InUse = 0;
  int32_t Next = 0;  // 1-based next block; -1 last; 0 free
};

struct TVFSHeader {
  char Signature[4] = {0, 0, 0, 0};
  int32_t BlockSize = 0;
  int32_t BlockCount = 0;
  uint32_t RootCount = 0;
  uint32_t Reserved1 = 0;
  uint32_t Reserved2 = 0;
  int32_t Reserved3 = 0;
  uint8_t MD5[16] = {};
  int32_t DescriptionSize = 256;
  std::string Description;  // up to 256 bytes, zero bytes included as read
  TBytes ExtraData;
  int32_t UsedBlocks = 0;
};

struct TVFSHashEntry {
  uint32_t Hash = 0;
  uint32_t Flags = 0;
  int32_t Size = 0;
  int32_t OrigSize = 0;
  int32_t FirstBlock = 0;
  uint8_t Unique = 1;
};

struct TTreeFileInfo {
  uint32_t Index = 0xFFFFFFFF;  // -1: a free node slot
  std::string Path;
  TVFSEntry* Entry = nullptr;  // a root slot's record (Parent -1), else owned
  std::vector<uint32_t> Children;  // -1: a free child slot
  int32_t Parent = -1;
  int32_t RootSlot = kVFSNoRootSlot;
};

class TVFSFile;

class TVFSTree {
 public:
  explicit TVFSTree(TVFSFile& File) : file_(File) {}
  ~TVFSTree() { Clear(); }
  TVFSTree(const TVFSTree&) = delete;
  TVFSTree& operator=(const TVFSTree&) = delete;

  void Clear();
  uint32_t CountFiles() const;
  uint32_t CountChildren(uint32_t Node) const;
  uint32_t AddNode(TVFSEntry* Entry, int32_t Parent, int32_t RootSlot);
  void FreeNode(uint32_t Node);
  void RemoveChild(uint32_t Parent, uint32_t Child);
  // Reads the records of every directory from node Start on, breadth first.
  void LoadSubdirectories(uint32_t Start);
  // First node in index order whose path equals Path ignoring ASCII case.
  int32_t FindByPath(const std::string& Path) const;
  int32_t FindChild(int32_t Parent, const std::string& Name) const;
  int32_t FindDeepestDirectory(std::string Dir) const;
  int32_t EnsurePath(int32_t Parent, const std::string& RelPath);
  int32_t FindOrCreateDirectory(int32_t Parent, const std::string& Name);
  uint32_t CreateNewFileDir(int32_t Parent, const std::string& Name, uint32_t Date, int32_t OrigSize, int32_t Size,
                            int32_t FirstBlock, bool WriteNow, uint32_t Flags);
  void StoreFileData(TVFSEntry& Entry, const uint8_t* Data, uint32_t Length);
  // The chunked zlib form, or nothing when it would not be shorter.
  std::optional<TBytes> InternalCompressFile(const uint8_t* Data, uint32_t Length) const;
  TBytes BuildDirectoryData(uint32_t Dir) const;
  void RewriteParent(uint32_t Node);
  void WriteRootEntry(uint32_t Node);
  void ReleaseChain(uint32_t Node);
  void DeleteByPath(const std::string& Path, bool AsChild);
  void DeleteNode(uint32_t Node, bool AsChild);
  // Adds or replaces the file Path; returns its node.
  uint32_t AddFile(const std::string& Path, const uint8_t* Data, uint32_t Length);
  // Rebuilds the ".ht" side file from the tree (none when it holds no file).
  void SaveHashFile();
  // The side file's records as SaveHashFile would write them.
  std::vector<TVFSHashEntry> BuildHashTable() const;

  std::vector<TTreeFileInfo> Nodes;

 private:
  void SetPath(uint32_t Node, const std::string& Path);

  TVFSFile& file_;
  std::vector<uint32_t> freeNodes_;
  // Lower-cased path -> nodes in use with that path, for FindByPath.
  std::map<std::string, std::set<uint32_t>> byPath_;
};

class TVFSHashFile {
 public:
  explicit TVFSHashFile(TVFSFile& File) : file_(File) {}
  void Clear() { Entries.clear(); }
  void Load();
  void Save();

  bool Loaded = false;
  std::vector<TVFSHashEntry> Entries;

 private:
  TVFSFile& file_;
};

class TVFSFile {
 public:
  TVFSFile();
  ~TVFSFile();
  TVFSFile(const TVFSFile&) = delete;
  TVFSFile& operator=(const TVFSFile&) = delete;

  // Opens and reads the container, first putting back what an interrupted
  // update left (Restored). Raises EAssertionFailed for a file that cannot be
  // opened or a header, table or chain that does not make sense, ESetupError
  // when an undo journal is there but cannot be applied.
  void Open(const std::string& FileName, bool BuildTree,
            const std::function<void(uint32_t, uint32_t)>& Progress = {});
  // Rewrites the header (with a fresh digest unless SkipMD5) and the side
  // file, then ends the update's journal. Refused after a failed write.
  void Save(bool SkipMD5);
  // Closes the file; changes not ended by Save are undone.
  void Close();

  // The whole chain of an entry (Size bytes); nothing for Size 0.
  std::optional<TBytes> ReadEntryData(const TVFSEntry& Entry);
  // Stores Size bytes in a new chain; fails before touching anything when the
  // free blocks do not hold them.
  void WriteFile(TVFSEntry& Entry, const uint8_t* Data, uint32_t Size);
  void OverwriteFile(TVFSEntry& Entry, const uint8_t* Data, uint32_t Size);
  // The first free block (or the second with SkipFirst), -1 when none.
  int32_t FindFreeBlock(bool SkipFirst) const;
  uint32_t FreeBlockCount() const;
  void CalculateMD5();
  // Frees the chain starting at FirstBlock (1-based).
  void ReleaseChain(int32_t FirstBlock);
  // The 0-based blocks of a chain; raises for a loop or a link outside the table.
  std::vector<int32_t> ChainOf(int32_t FirstBlock) const;

  void SeekBlock(int32_t Index);
  void SeekBlockLink(int32_t Index);
  void SeekRootEntry(uint32_t Slot);
  void WriteEntryRecord(const TVFSEntry& Entry);
  uint32_t Today() const;

  std::string FileName;
  platform::File Handle;
  bool ReadError = false;
  // Set when Open put back the container from an interrupted update's journal.
  bool Restored = false;
  uint64_t BlockTableStart = 0;
  uint64_t RootTableStart = 0;
  uint64_t DataStart = 0;
  TVFSHeader Header;
  std::vector<TVFSEntry> RootEntries;
  std::vector<TVFSBlockLink> BlockLinks;
  TVFSTree Tree;
  TVFSHashFile HashFile;
  bool BuildTree = false;
  // Fixes the date written into changed entries (tests); 0: today.
  uint32_t FixedDate = 0;

 private:
  void SetLink(int32_t Index, const TVFSBlockLink& Link);
  void WriteLink(int32_t Index, const TVFSBlockLink& Link);
  // The free blocks (Next 0) in index order, so allocation needs no scan.
  std::set<int32_t> freeBlocks_;
  std::unique_ptr<TUndoJournal> undo_;
  // Set while a write or the end of Save is under way and left set when it
  // fails: nothing more is written then, and Close undoes the update.
  bool writeFailed_ = false;

  void Read(void* Dest, uint32_t Count);
  void Write(const void* Data, uint32_t Count);
  void WriteU32(uint32_t Value);
};

// "maps\desert" for "maps\desert\a.dat"; empty unless the path holds both a
// "." and a "\".
std::string DirectoryPart(const std::string& Path);
std::string ParentPath(const std::string& Path);
// The 65599 hash of a file's key: the last separator becomes "/".
uint32_t HashName(const std::string& Path, const std::string& Name);
std::string HashFilePath(const std::string& ContainerName);
void InsertHashEntry(std::vector<TVFSHashEntry>& Table, uint32_t Last, const TVFSHashEntry& Entry, uint32_t& Count);
// Encodes and decodes one 88-byte entry record.
void EncodeEntry(const TVFSEntry& Entry, TBytes& Out);
TVFSEntry DecodeEntry(const uint8_t* Record);
