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
#include "common/FunctionRef.h"
#include "gamedata/GameData.h"
#include "gamedata/UndoJournal.h"
#include "platform/Platform.h"

// The VFS code's internal check.
#define VFS_CHECK(cond, ...)                                          \
  do {                                                                \
    if (!(cond)) RaiseAssertion({__VA_ARGS__}, "VFS_Unit", __LINE__); \
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
  TVFSEntry* Entry = nullptr;      // a root slot's record (Parent -1), else owned
  std::vector<uint32_t> Children;  // -1: a free child slot
  int32_t Parent = -1;
  int32_t RootSlot = kVFSNoRootSlot;
};

class TVFSFile;

// The container's folders and files as nodes, built from the root entries
// and the directory records; the update operations write each change to the
// container at once (file data, the parent's records, the root entry). Node
// numbers are indexes into Nodes; a freed node keeps its place (its Index is
// then kFreeNode) and is reused, lowest first. A node with a parent owns its
// record; a root node's record is its root slot's. Operations that write
// raise EAssertionFailed when the container has no room (no free block, no
// free root slot) or its chains do not make sense; what was written before
// stays, and closing the container without Save undoes it.
class TVFSTree {
 public:
  explicit TVFSTree(TVFSFile& File) : file_(File) {}
  ~TVFSTree() { Clear(); }
  TVFSTree(const TVFSTree&) = delete;
  TVFSTree& operator=(const TVFSTree&) = delete;

  // The nodes in use that are files.
  uint32_t CountFiles() const;
  // The children of a node in use, freed slots not counted.
  uint32_t CountChildren(uint32_t Node) const;
  // The first node in index order whose path ("dir\sub\name") equals Path
  // ignoring ASCII case, or -1.
  int32_t FindByPath(const std::string& Path) const;
  // The folder RelPath ("a\b") below node Parent (-1: the roots), the
  // missing folders created and written; its node.
  int32_t EnsurePath(int32_t Parent, const std::string& RelPath);
  // Adds the file Path ("dir\name"), replacing one of that path, with its
  // folders; stored in chunked zlib form when that is shorter. Its node.
  uint32_t AddFile(const std::string& Path, const uint8_t* Data, uint32_t Length);
  // The chunked zlib form of Data (each chunk of at most kVFSChunkSize bytes as its
  // compressed length and bytes), or nothing when it would not be shorter.
  std::optional<TBytes> InternalCompressFile(const uint8_t* Data, uint32_t Length) const;
  // The ".ht" side file's records for the tree as it stands, in the order
  // SaveHashFile writes them.
  std::vector<TVFSHashEntry> BuildHashTable() const;

  std::vector<TTreeFileInfo> Nodes;

 private:
  friend class TVFSFile;  // builds the tree on open, empties it, saves the side file

  // Frees every node (and the records the tree owns).
  void Clear();
  // A node for Entry below Parent (-1: a root in RootSlot); its path follows
  // the parent's; the lowest free node is reused.
  uint32_t AddNode(TVFSEntry* Entry, int32_t Parent, int32_t RootSlot);
  // Marks the node free and forgets its path (the parent's child slot stays
  // until RemoveChild).
  void FreeNode(uint32_t Node);
  // Empties the parent's child slot that holds Child.
  void RemoveChild(uint32_t Parent, uint32_t Child);
  // Reads the records of every directory from node Start on, breadth first.
  // Each directory's chain is walked once: one shared with another
  // directory, or looping, raises EAssertionFailed.
  void LoadSubdirectories(uint32_t Start);
  // The child of Parent (-1: the roots) named Name ignoring ASCII case; the
  // first in slot order when names repeat; -1 when there is none.
  int32_t FindChild(int32_t Parent, const std::string& Name) const;
  // The deepest existing folder on the way to Dir, or -1.
  int32_t FindDeepestDirectory(std::string Dir) const;
  // The child folder Name of Parent, created and written when missing.
  int32_t FindOrCreateDirectory(int32_t Parent, const std::string& Name);
  // A new entry below Parent (-1: the first free root slot); with WriteNow
  // its (empty) data and its parent's records or root entry are written.
  uint32_t CreateNewFileDir(int32_t Parent, const std::string& Name, uint32_t Date, int32_t OrigSize, int32_t Size,
                            int32_t FirstBlock, bool WriteNow, uint32_t Flags);
  // Writes a file entry's data (compressed when shorter) and sets its sizes
  // and date; a folder entry gets only its size and date.
  void StoreFileData(TVFSEntry& Entry, const uint8_t* Data, uint32_t Length);
  // The records of a folder's children in slot order.
  TBytes BuildDirectoryData(uint32_t Dir) const;
  // Writes the records of the node's parent again, and so on up while a
  // folder's size changes (one that keeps its size is rewritten in place).
  void RewriteParent(uint32_t Node);
  // Writes a root node's record into its root slot.
  void WriteRootEntry(uint32_t Node);
  // Frees the node's blocks.
  void ReleaseChain(uint32_t Node);
  // Deletes the node at Path with everything below it (nothing when there
  // is none); AsChild leaves the parent's records to the caller.
  void DeleteByPath(const std::string& Path, bool AsChild);
  void DeleteNode(uint32_t Node, bool AsChild);
  // Rebuilds the ".ht" side file from the tree (none when it holds no file).
  void SaveHashFile();
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
  void Open(const std::string& FileName, bool BuildTree, TFunctionRef<void(uint32_t, uint32_t)> Progress = {});
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
  // Set before Open by a run that is undone as a whole.
  TUndoKeeper* Keeper = nullptr;
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
// The records of a ".ht" side file's bytes (a 32-bit count, then 21-byte
// records); raises the assertion, naming Path, when the bytes hold fewer
// records than counted. Trailing, when given, is the number of bytes after
// the records.
std::vector<TVFSHashEntry> ReadHashRecords(const TBytes& Data, const std::string& Path, size_t* Trailing = nullptr);
void InsertHashEntry(std::vector<TVFSHashEntry>& Table, uint32_t Last, const TVFSHashEntry& Entry, uint32_t& Count);
// Encodes and decodes one 88-byte entry record.
void EncodeEntry(const TVFSEntry& Entry, TBytes& Out);
TVFSEntry DecodeEntry(const uint8_t* Record);
