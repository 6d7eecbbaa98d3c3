#include "gamedata/VFS_Unit.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "common/BufferManager.h"
#include "common/FileUtils.h"
#include "common/Strings.h"

namespace {

constexpr uint32_t kHeaderFixedSize = 44;
constexpr uint32_t kMd5Piece = 262144;
constexpr uint32_t kHashRecordSize = 21;
constexpr uint32_t kFreeNode = 0xFFFFFFFF;
constexpr uint32_t kFreeChild = 0xFFFFFFFF;

std::string NameOf(const uint8_t* field) {
  size_t n = 0;
  while (n < kVFSNameSize && field[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(field), n);
}

}  // namespace

void EncodeEntry(const TVFSEntry& Entry, TBytes& Out) {
  size_t start = Out.size();
  Out.resize(start + kVFSNameSize + 3, 0);
  std::memcpy(Out.data() + start, Entry.Name.data(), std::min<size_t>(Entry.Name.size(), kVFSNameSize));
  ::WriteU32(Out, Entry.Flags);
  ::WriteU32(Out, Entry.Date);
  ::WriteU32(Out, static_cast<uint32_t>(Entry.FirstBlock));
  ::WriteU32(Out, static_cast<uint32_t>(Entry.Size));
  ::WriteU32(Out, static_cast<uint32_t>(Entry.OrigSize));
}

TVFSEntry DecodeEntry(const uint8_t* Record) {
  TVFSEntry e;
  e.Name = NameOf(Record);
  e.Flags = GetU32(Record + 68);
  e.Date = GetU32(Record + 72);
  e.FirstBlock = static_cast<int32_t>(GetU32(Record + 76));
  e.Size = static_cast<int32_t>(GetU32(Record + 80));
  e.OrigSize = static_cast<int32_t>(GetU32(Record + 84));
  return e;
}

std::string DirectoryPart(const std::string& Path) {
  if (Path.find('.') == std::string::npos || Path.find('\\') == std::string::npos) return {};
  return Path.substr(0, Path.rfind('\\'));
}

std::string ParentPath(const std::string& Path) {
  size_t slash = Path.rfind('\\');
  return slash == std::string::npos ? std::string() : Path.substr(0, slash);
}

uint32_t HashName(const std::string& Path, const std::string& Name) {
  std::string prefix = Path.size() >= Name.size() ? Path.substr(0, Path.size() - Name.size()) : std::string();
  std::string key = Name;
  if (prefix.size() >= 2 && prefix.back() == '\\') key = Concat({prefix.substr(0, prefix.size() - 1), "/", Name});
  uint32_t hash = 0;
  for (char c : key) hash = hash * 65599u + static_cast<uint8_t>(c);
  return hash;
}

std::string HashFilePath(const std::string& ContainerName) {
  size_t slash = ContainerName.find_last_of("\\/");
  size_t dot = ContainerName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return ContainerName + ".ht";
  return ContainerName.substr(0, dot) + ".ht";
}

void InsertHashEntry(std::vector<TVFSHashEntry>& Table, uint32_t Last, const TVFSHashEntry& Entry, uint32_t& Count) {
  size_t position = Table.size();
  bool greaterSeen = false;
  for (size_t i = 0; i <= Last && i < Table.size(); ++i) {
    TVFSHashEntry& r = Table[i];
    if (r.Hash == Entry.Hash && i < Count) {
      r.Unique = 0;
      return;
    }
    if (i >= Count) {  // the first empty record
      if (position == Table.size()) position = i;
      break;
    }
    if (r.Hash > Entry.Hash && !greaterSeen) {
      position = i;
      greaterSeen = true;
    }
  }
  if (position >= Table.size()) return;
  ++Count;
  for (size_t i = Table.size() - 1; i > position; --i) Table[i] = Table[i - 1];
  Table[position] = Entry;
}

namespace {

// The used-block count as the header holds it: a 32-bit field that wraps
// (a damaged header may hold any value, and an int must not overflow).
int32_t AddToCount(int32_t Count, int32_t Delta) {
  return static_cast<int32_t>(static_cast<uint32_t>(Count) + static_cast<uint32_t>(Delta));
}

}  // namespace

// --- TVFSFile ---

TVFSFile::TVFSFile() : Tree(*this), HashFile(*this) {}

TVFSFile::~TVFSFile() { Close(); }

void TVFSFile::Read(void* Dest, uint32_t Count) {
  if (!Handle.IsOpen() || Handle.Read(Dest, Count) != Count) {
    ReadError = true;
    VFS_CHECK(false, "Open: ", FileName, " ends early or cannot be read");
  }
}

void TVFSFile::Write(const void* Data, uint32_t Count) {
  VFS_CHECK(Handle.IsOpen() && undo_, "Write: ", FileName, " is not open");
  VFS_CHECK(!writeFailed_, "Write: an earlier write to ", FileName, " failed; the update is undone when it is closed");
  writeFailed_ = true;  // until this write is through
  if (!undo_->Active()) undo_->Begin({HashFilePath(FileName)});
  undo_->Protect(Handle.Position(), Count);
  VFS_CHECK(Handle.Write(Data, Count) == Count, "Write: cannot write to ", FileName, ": ",
            platform::DescribeError(platform::LastError()));
  writeFailed_ = false;
}

void TVFSFile::WriteU32(uint32_t Value) {
  uint8_t b[4] = {static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8), static_cast<uint8_t>(Value >> 16),
                  static_cast<uint8_t>(Value >> 24)};
  Write(b, 4);
}

void TVFSFile::SeekBlock(int32_t Index) {
  Handle.Seek(static_cast<int64_t>(DataStart + static_cast<uint64_t>(Index) * Header.BlockSize),
              platform::SeekOrigin::kBegin);
}

void TVFSFile::SeekBlockLink(int32_t Index) {
  Handle.Seek(static_cast<int64_t>(BlockTableStart + 8ull * static_cast<uint64_t>(Index)),
              platform::SeekOrigin::kBegin);
}

void TVFSFile::SeekRootEntry(uint32_t Slot) {
  Handle.Seek(static_cast<int64_t>(RootTableStart + static_cast<uint64_t>(kVFSEntrySize) * Slot),
              platform::SeekOrigin::kBegin);
}

void TVFSFile::WriteEntryRecord(const TVFSEntry& Entry) {
  TBytes record;
  EncodeEntry(Entry, record);
  Write(record.data(), static_cast<uint32_t>(record.size()));
}

// The platform's date (the emulated machine's own on the host), as the
// archive code takes it.
uint32_t TVFSFile::Today() const { return FixedDate ? FixedDate : DosDate(platform::Today()); }

void TVFSFile::Open(const std::string& Name, bool Build, TFunctionRef<void(uint32_t, uint32_t)> Progress) {
  BuildTree = Build;
  FileName = Name;
  ReadError = false;
  if (Progress) Progress(0, 100);
  VFS_CHECK(Handle.Open(Name, platform::kAccessReadWrite, platform::kShareReadWrite | platform::kShareDelete,
                        platform::FileDisposition::kOpenExisting),
            "Open: cannot open ", Name, ": ", platform::DescribeError(platform::LastError()));
  writeFailed_ = false;
  undo_ = std::make_unique<TUndoJournal>(Handle, Name + kUndoSuffix);
  undo_->Keeper = Keeper;
  Restored = TUndoJournal::Recover(Handle, undo_->Path(), {HashFilePath(Name)});
  Handle.Seek(0, platform::SeekOrigin::kBegin);
  const uint64_t fileSize = static_cast<uint64_t>(std::max<int64_t>(Handle.Size(), 0));
  VFS_CHECK(fileSize >= kHeaderFixedSize + 4 + kDescriptionField + 4, "Open: ", Name, " is too short for a header");
  uint8_t fixed[kHeaderFixedSize + 4];
  Read(fixed, sizeof(fixed));
  TBufferManager b(fixed, sizeof(fixed));
  b.ReadInto(4, Header.Signature);
  Header.BlockSize = static_cast<int32_t>(ReadU32(b));
  Header.BlockCount = static_cast<int32_t>(ReadU32(b));
  Header.RootCount = ReadU32(b);
  Header.Reserved1 = ReadU32(b);
  Header.Reserved2 = ReadU32(b);
  Header.Reserved3 = static_cast<int32_t>(ReadU32(b));
  b.ReadInto(16, Header.MD5);
  Header.DescriptionSize = static_cast<int32_t>(ReadU32(b));
  VFS_CHECK(Header.BlockSize > 0, "Open: BlockSize ", DecimalText(Header.BlockSize), " is not positive");
  VFS_CHECK(Header.BlockCount > 0, "Open: BlockCount ", DecimalText(Header.BlockCount), " is not positive");
  VFS_CHECK(Header.RootCount > 0, "Open: RootCount is 0");
  VFS_CHECK(Header.DescriptionSize >= static_cast<int32_t>(kDescriptionField), "Open: DescriptionSize ",
            DecimalText(Header.DescriptionSize), " is below 256");
  // The tables must lie inside the file before anything is allocated for them.
  BlockTableStart = kHeaderFixedSize + 4 + static_cast<uint64_t>(Header.DescriptionSize) + 4;
  RootTableStart = BlockTableStart + 8ull * static_cast<uint64_t>(Header.BlockCount);
  DataStart = RootTableStart + static_cast<uint64_t>(kVFSEntrySize) * Header.RootCount;
  VFS_CHECK(DataStart <= fileSize, "Open: the tables of ", Name, " run past the end of the file");
  // Every data block starts inside the file (the last may be short): a
  // container cut short would otherwise grow by whole blocks at every write.
  VFS_CHECK(
      DataStart + static_cast<uint64_t>(Header.BlockCount - 1) * static_cast<uint64_t>(Header.BlockSize) <= fileSize,
      "Open: the data blocks of ", Name, " run past the end of the file");

  Header.Description.assign(kDescriptionField, '\0');
  Read(Header.Description.data(), kDescriptionField);
  Header.ExtraData.assign(static_cast<size_t>(Header.DescriptionSize) - kDescriptionField, 0);
  if (!Header.ExtraData.empty()) Read(Header.ExtraData.data(), static_cast<uint32_t>(Header.ExtraData.size()));
  uint8_t used[4];
  Read(used, 4);
  Header.UsedBlocks = static_cast<int32_t>(GetU32(used));
  const uint32_t total = Header.RootCount + static_cast<uint32_t>(Header.BlockCount);
  if (Progress) Progress(0, total);

  TBytes table(8ull * static_cast<uint64_t>(Header.BlockCount));
  Read(table.data(), static_cast<uint32_t>(table.size()));
  BlockLinks.resize(static_cast<size_t>(Header.BlockCount));
  freeBlocks_.clear();
  for (size_t i = 0; i < BlockLinks.size(); ++i) {
    BlockLinks[i].InUse = GetU32(&table[8 * i]);
    BlockLinks[i].Next = static_cast<int32_t>(GetU32(&table[8 * i + 4]));
    VFS_CHECK(BlockLinks[i].Next >= -1 && BlockLinks[i].Next <= Header.BlockCount, "Open: block ", DecimalText(i),
              " links outside the block table");
    if (BlockLinks[i].Next == 0) freeBlocks_.insert(static_cast<int32_t>(i));
  }
  if (Progress) Progress(static_cast<uint32_t>(Header.BlockCount), total);

  Tree.Clear();
  TBytes roots(static_cast<size_t>(kVFSEntrySize) * Header.RootCount);
  Read(roots.data(), static_cast<uint32_t>(roots.size()));
  RootEntries.assign(Header.RootCount, TVFSEntry{});
  for (uint32_t s = 0; s < Header.RootCount; ++s) {
    RootEntries[s] = DecodeEntry(&roots[static_cast<size_t>(kVFSEntrySize) * s]);
    if (!RootEntries[s].Name.empty()) Tree.AddNode(&RootEntries[s], -1, static_cast<int32_t>(s));
    if (Progress) Progress(static_cast<uint32_t>(Header.BlockCount) + s, total);
  }
  if (BuildTree) {
    Tree.LoadSubdirectories(0);
  } else {
    HashFile.Load();
  }
}

std::vector<int32_t> TVFSFile::ChainOf(int32_t FirstBlock) const {
  std::vector<int32_t> chain;
  // 64 bits: a damaged record's first block may be any 32-bit value.
  int64_t i = static_cast<int64_t>(FirstBlock) - 1;
  while (true) {
    VFS_CHECK(i >= 0 && i < Header.BlockCount, "Chain: block ", DecimalText(i + 1), " lies outside the table");
    VFS_CHECK(chain.size() < static_cast<size_t>(Header.BlockCount), "Chain: the chain from block ",
              DecimalText(FirstBlock), " loops");
    chain.push_back(static_cast<int32_t>(i));
    int32_t next = BlockLinks[static_cast<size_t>(i)].Next;
    if (next == -1) break;
    VFS_CHECK(next != 0, "Chain: block ", DecimalText(i + 1), " of a chain is marked free");
    i = static_cast<int64_t>(next) - 1;
  }
  return chain;
}

std::optional<TBytes> TVFSFile::ReadEntryData(const TVFSEntry& Entry) {
  if (Entry.Size <= 0) return std::nullopt;
  // No entry holds more than the container: checked before allocating.
  VFS_CHECK(Entry.Size <= Handle.Size(), "ReadEntryData: ", Entry.Name, " claims ", DecimalText(Entry.Size),
            " bytes, more than ", FileName, " holds");
  TBytes data(static_cast<size_t>(Entry.Size));
  uint32_t remaining = static_cast<uint32_t>(Entry.Size);
  for (int32_t block : ChainOf(Entry.FirstBlock)) {
    uint32_t n = std::min<uint32_t>(remaining, static_cast<uint32_t>(Header.BlockSize));
    SeekBlock(block);
    Read(data.data() + (Entry.Size - remaining), n);
    remaining -= n;
    if (remaining == 0) break;
  }
  VFS_CHECK(remaining == 0, "ReadEntryData: the chain of ", Entry.Name, " is shorter than its size");
  return data;
}

int32_t TVFSFile::FindFreeBlock(bool SkipFirst) const {
  auto it = freeBlocks_.begin();
  if (it != freeBlocks_.end() && SkipFirst) ++it;
  return it == freeBlocks_.end() ? -1 : *it;
}

uint32_t TVFSFile::FreeBlockCount() const { return static_cast<uint32_t>(freeBlocks_.size()); }

// One 8-byte write per link: every small write costs a system call.
void TVFSFile::WriteLink(int32_t Index, const TVFSBlockLink& Link) {
  TBytes b;
  ::WriteU32(b, Link.InUse);
  ::WriteU32(b, static_cast<uint32_t>(Link.Next));
  SeekBlockLink(Index);
  Write(b.data(), 8);
}

void TVFSFile::SetLink(int32_t Index, const TVFSBlockLink& Link) {
  BlockLinks[static_cast<size_t>(Index)] = Link;
  if (Link.Next == 0) {
    freeBlocks_.insert(Index);
  } else {
    freeBlocks_.erase(Index);
  }
}

void TVFSFile::WriteFile(TVFSEntry& Entry, const uint8_t* Data, uint32_t Size) {
  VFS_CHECK(!(Size == 0 && Data), "WriteFile: Error Buffer is Assigned but size is 0");
  const uint32_t blockSize = static_cast<uint32_t>(Header.BlockSize);
  const uint64_t needed = Size == 0 ? 1 : (static_cast<uint64_t>(Size) + blockSize - 1) / blockSize;
  // The whole chain must fit before anything is touched.
  VFS_CHECK(needed <= FreeBlockCount(), "WriteFile: ", DecimalText(needed), " blocks needed for ", Entry.Name, ", ",
            DecimalText(FreeBlockCount()), " free in ", FileName);
  // An empty file still owns one zeroed block, written in pieces so a large
  // block size costs no large buffer.
  TBytes zero;
  if (Size == 0) zero.assign(std::min<uint32_t>(blockSize, 65536), 0);
  Entry.FirstBlock = FindFreeBlock(false) + 1;
  Entry.Size = static_cast<int32_t>(Size);
  Entry.Date = Today();
  int32_t current = Entry.FirstBlock - 1;
  uint64_t written = 0;
  do {
    int32_t next = Size > written + blockSize ? FindFreeBlock(true) + 1 : -1;
    TVFSBlockLink link{1, next};
    SetLink(current, link);
    WriteLink(current, link);
    SeekBlock(current);
    if (Size == 0) {
      for (uint32_t done = 0; done < blockSize; done += static_cast<uint32_t>(zero.size())) {
        Write(zero.data(), std::min<uint32_t>(static_cast<uint32_t>(zero.size()), blockSize - done));
      }
    } else {
      Write(Data + written, static_cast<uint32_t>(std::min<uint64_t>(blockSize, Size - written)));
    }
    current = next - 1;
    written += blockSize;
    Header.UsedBlocks = AddToCount(Header.UsedBlocks, 1);
  } while (Size > written);
}

void TVFSFile::OverwriteFile(TVFSEntry& Entry, const uint8_t* Data, uint32_t Size) {
  Entry.Date = Today();
  uint32_t done = 0;
  for (int32_t block : ChainOf(Entry.FirstBlock)) {
    if (done >= Size) break;
    uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(Header.BlockSize), Size - done);
    SeekBlock(block);
    Write(Data + done, n);
    done += n;
  }
  VFS_CHECK(done == Size, "OverwriteFile: the chain of ", Entry.Name, " is too short");
}

void TVFSFile::ReleaseChain(int32_t FirstBlock) {
  if (FirstBlock <= 0) return;
  for (int32_t block : ChainOf(FirstBlock)) {
    SetLink(block, TVFSBlockLink{});
    WriteLink(block, TVFSBlockLink{});
    Header.UsedBlocks = AddToCount(Header.UsedBlocks, -1);
  }
}

void TVFSFile::CalculateMD5() {
  platform::Md5 md5;
  if (!md5.Ready()) return;
  int64_t size = Handle.Size();
  Handle.Seek(kHeaderFixedSize, platform::SeekOrigin::kBegin);
  TBytes piece(kMd5Piece);
  for (int64_t done = kHeaderFixedSize; done < size;) {
    uint32_t n = static_cast<uint32_t>(std::min<int64_t>(kMd5Piece, size - done));
    Read(piece.data(), n);
    VFS_CHECK(md5.Update(piece.data(), n), "MD5 Error");
    done += n;
  }
  uint8_t digest[16];
  if (md5.Final(digest)) std::memcpy(Header.MD5, digest, 16);
}

void TVFSFile::Save(bool SkipMD5) {
  VFS_CHECK(!writeFailed_, "Save: an earlier write to ", FileName, " failed; the update is undone when it is closed");
  Handle.Seek(kHeaderFixedSize, platform::SeekOrigin::kBegin);
  WriteU32(static_cast<uint32_t>(Header.DescriptionSize));
  std::string description = Header.Description;
  description.resize(kDescriptionField, '\0');
  Write(description.data(), kDescriptionField);
  if (!Header.ExtraData.empty()) Write(Header.ExtraData.data(), static_cast<uint32_t>(Header.ExtraData.size()));
  WriteU32(static_cast<uint32_t>(Header.UsedBlocks));
  if (SkipMD5) {
    std::memset(Header.MD5, 0, 16);
  } else {
    CalculateMD5();
  }
  Handle.Seek(0, platform::SeekOrigin::kBegin);
  Write(Header.Signature, 4);
  WriteU32(static_cast<uint32_t>(Header.BlockSize));
  WriteU32(static_cast<uint32_t>(Header.BlockCount));
  WriteU32(Header.RootCount);
  WriteU32(Header.Reserved1);
  WriteU32(Header.Reserved2);
  WriteU32(static_cast<uint32_t>(Header.Reserved3));
  Write(Header.MD5, 16);
  writeFailed_ = true;  // until the side file is written and the journal gone
  VFS_CHECK(Handle.Flush(), "Save: cannot flush ", FileName, ": ", platform::DescribeError(platform::LastError()));
  if (BuildTree) {
    Tree.SaveHashFile();
  } else if (HashFile.Loaded) {
    HashFile.Save();
  }
  // The update is whole on the disk once its journal is gone; a journal that
  // stays would undo it at the next open, so it is undone now as well.
  if (!undo_->Commit()) {
    RaiseSetupError({"Unable to delete ", undo_->Path(), ": ", platform::DescribeError(platform::LastError()),
                     "; the update of ", FileName, " is undone"});
  }
  writeFailed_ = false;
}

void TVFSFile::Close() {
  if (undo_ && undo_->Active()) {
    // What fails here is put back at the next open, from the journal.
    try {
      undo_->Rollback();
    } catch (const ESetupError&) {
    }
  }
  undo_.reset();
  Tree.Clear();
  HashFile.Clear();
  Header.ExtraData.clear();
  Header.Description.clear();
  RootEntries.clear();
  BlockLinks.clear();
  freeBlocks_.clear();
  Handle.Close();
}

// --- TVFSTree ---

void TVFSTree::Clear() {
  // A node with a parent owns its record; a root node's record is its root
  // slot's (slot 255 of a container with more roots is a root too, so the
  // slot number cannot tell).
  for (TTreeFileInfo& n : Nodes) {
    if (n.Index != kFreeNode && n.Parent != -1) delete n.Entry;
  }
  Nodes.clear();
  freeNodes_.clear();
  byPath_.clear();
}

uint32_t TVFSTree::CountFiles() const {
  uint32_t n = 0;
  for (const TTreeFileInfo& node : Nodes) n += node.Index != kFreeNode && (node.Entry->Flags & vfFile);
  return n;
}

uint32_t TVFSTree::CountChildren(uint32_t Node) const {
  uint32_t n = 0;
  for (uint32_t c : Nodes[Node].Children) n += c != kFreeChild;
  return n;
}

void TVFSTree::SetPath(uint32_t Node, const std::string& Path) {
  TTreeFileInfo& n = Nodes[Node];
  if (!n.Path.empty() || n.Index != kFreeNode) {
    auto it = byPath_.find(LowerAscii(n.Path));
    if (it != byPath_.end()) {
      it->second.erase(Node);
      if (it->second.empty()) byPath_.erase(it);
    }
  }
  n.Path = Path;
  byPath_[LowerAscii(Path)].insert(Node);
}

uint32_t TVFSTree::AddNode(TVFSEntry* Entry, int32_t Parent, int32_t RootSlot) {
  uint32_t index;
  // The first free node slot, as the lowest index.
  if (!freeNodes_.empty()) {
    auto lowest = std::min_element(freeNodes_.begin(), freeNodes_.end());
    index = *lowest;
    freeNodes_.erase(lowest);
  } else {
    index = static_cast<uint32_t>(Nodes.size());
    Nodes.emplace_back();
  }
  TTreeFileInfo& n = Nodes[index];
  n.Entry = Entry;
  n.Parent = Parent;
  n.RootSlot = RootSlot;
  n.Children.clear();
  n.Path.clear();
  n.Index = index;
  SetPath(index, Parent == -1 ? Entry->Name : Concat({Nodes[static_cast<size_t>(Parent)].Path, "\\", Entry->Name}));
  if (Parent != -1) {
    std::vector<uint32_t>& children = Nodes[static_cast<size_t>(Parent)].Children;
    auto slot = std::find(children.begin(), children.end(), kFreeChild);
    if (slot != children.end()) {
      *slot = index;
    } else {
      children.push_back(index);
    }
  }
  return index;
}

void TVFSTree::FreeNode(uint32_t Node) {
  TTreeFileInfo& n = Nodes[Node];
  auto it = byPath_.find(LowerAscii(n.Path));
  if (it != byPath_.end()) {
    it->second.erase(Node);
    if (it->second.empty()) byPath_.erase(it);
  }
  if (n.Parent != -1) delete n.Entry;
  n.Index = kFreeNode;
  n.Entry = nullptr;
  n.Path.clear();
  n.Children.clear();
  freeNodes_.push_back(Node);
}

void TVFSTree::RemoveChild(uint32_t Parent, uint32_t Child) {
  for (uint32_t& c : Nodes[Parent].Children) {
    if (c == Child) c = kFreeChild;
  }
}

void TVFSTree::LoadSubdirectories(uint32_t Start) {
  // Each directory owns its blocks: a block met twice is a chain shared with
  // another directory or a loop in a damaged container, which would otherwise
  // be expanded without end. Every block is walked at most once, so loading
  // costs no more than the container's size whatever its chains.
  std::vector<uint8_t> owned(file_.BlockLinks.size(), 0);
  for (size_t i = Start; i < Nodes.size(); ++i) {
    if (Nodes[i].Index == kFreeNode) continue;
    const TVFSEntry entry = *Nodes[i].Entry;
    if (!(entry.Flags & vfDirectory) || entry.Size == 0) continue;
    VFS_CHECK(entry.Size % kVFSEntrySize == 0, "LoadSubdirectories: directory ", Nodes[i].Path, " has ",
              DecimalText(entry.Size), " bytes, not a multiple of 88");
    for (int64_t b = static_cast<int64_t>(entry.FirstBlock) - 1;;) {
      VFS_CHECK(b >= 0 && static_cast<size_t>(b) < owned.size(), "LoadSubdirectories: the chain of directory ",
                Nodes[i].Path, " leaves the block table");
      VFS_CHECK(!owned[static_cast<size_t>(b)], "LoadSubdirectories: directory ", Nodes[i].Path, " shares block ",
                DecimalText(b + 1), " with another directory, or its chain loops");
      owned[static_cast<size_t>(b)] = 1;
      const int32_t next = file_.BlockLinks[static_cast<size_t>(b)].Next;
      if (next == -1) break;
      VFS_CHECK(next != 0, "LoadSubdirectories: block ", DecimalText(b + 1), " of directory ", Nodes[i].Path,
                " is marked free");
      b = static_cast<int64_t>(next) - 1;
    }
    std::optional<TBytes> data = file_.ReadEntryData(entry);
    if (!data) continue;
    for (size_t r = 0; r + kVFSEntrySize <= data->size(); r += kVFSEntrySize) {
      AddNode(new TVFSEntry(DecodeEntry(data->data() + r)), static_cast<int32_t>(i), kVFSNoRootSlot);
    }
  }
}

int32_t TVFSTree::FindByPath(const std::string& Path) const {
  auto it = byPath_.find(LowerAscii(Path));
  return it == byPath_.end() || it->second.empty() ? -1 : static_cast<int32_t>(*it->second.begin());
}

int32_t TVFSTree::FindChild(int32_t Parent, const std::string& Name) const {
  if (Parent == -1) return FindByPath(Name);
  const TTreeFileInfo& p = Nodes[static_cast<size_t>(Parent)];
  // Through the path index; the first child in slot order when names repeat.
  auto it = byPath_.find(LowerAscii(Concat({p.Path, "\\", Name})));
  if (it == byPath_.end()) return -1;
  for (uint32_t c : p.Children) {
    if (c != kFreeChild && it->second.count(c) && SameTextAscii(Nodes[c].Entry->Name, Name)) {
      return static_cast<int32_t>(c);
    }
  }
  return -1;
}

int32_t TVFSTree::FindDeepestDirectory(std::string Dir) const {
  if (!Dir.empty() && Dir.back() == '\\') Dir.pop_back();
  while (!Dir.empty()) {
    int32_t found = FindByPath(Dir);
    if (found >= 0 && (Nodes[static_cast<size_t>(found)].Entry->Flags & vfDirectory)) return found;
    Dir = ParentPath(Dir);
  }
  return -1;
}

int32_t TVFSTree::EnsurePath(int32_t Parent, const std::string& RelPath) {
  size_t start = 0;
  for (;;) {
    size_t end = RelPath.find('\\', start);
    std::string part = RelPath.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!part.empty()) Parent = FindOrCreateDirectory(Parent, part);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return Parent;
}

int32_t TVFSTree::FindOrCreateDirectory(int32_t Parent, const std::string& Name) {
  int32_t found = FindChild(Parent, Name);
  if (found >= 0) return found;
  return static_cast<int32_t>(CreateNewFileDir(Parent, Name, 0, 0, 0, 0, true, vfDirectory));
}

uint32_t TVFSTree::CreateNewFileDir(int32_t Parent, const std::string& Name, uint32_t Date, int32_t OrigSize,
                                    int32_t Size, int32_t FirstBlock, bool WriteNow, uint32_t Flags) {
  const std::string name = Name.substr(0, kVFSNameSize);
  uint32_t index;
  if (Parent == -1) {
    auto& roots = file_.RootEntries;
    size_t slot = 0;
    while (slot < roots.size() && !roots[slot].Name.empty()) ++slot;
    VFS_CHECK(slot < roots.size(), "CreateNewFileDir: no free root slot for \"", name, "\": all ",
              DecimalText(roots.size()), " root entries of the container are in use, nothing was added");
    roots[slot] = TVFSEntry{};
    roots[slot].Name = name;
    index = AddNode(&roots[slot], -1, static_cast<int32_t>(slot));
    SetPath(index, Name);
  } else {
    auto* entry = new TVFSEntry{};
    entry->Name = name;
    index = AddNode(entry, Parent, kVFSNoRootSlot);
  }
  TVFSEntry& e = *Nodes[index].Entry;
  e.Name = name;
  e.Flags = Flags;
  e.FirstBlock = FirstBlock;
  e.Size = Size;
  e.OrigSize = OrigSize;
  e.Date = Date;
  if (WriteNow) {
    file_.WriteFile(e, nullptr, 0);
    if (Parent == -1) {
      WriteRootEntry(index);
    } else {
      RewriteParent(index);
    }
  }
  return index;
}

std::optional<TBytes> TVFSTree::InternalCompressFile(const uint8_t* Data, uint32_t Length) const {
  TBytes out;
  out.reserve(Length);
  uint32_t consumed = 0;
  do {
    uint32_t n = std::min(kVFSChunkSize, Length - consumed);
    uLongf c = compressBound(n);
    TBytes chunk(c);
    VFS_CHECK(compress2(chunk.data(), &c, Data + consumed, n, 9) == Z_OK, "TVFSTree.InternalCompressFile: zlib");
    if (out.size() + 4 + c > Length) return std::nullopt;
    VFS_CHECK(c != 0, "TVFSTree.InternalCompressFile: ACSize = 0");
    ::WriteU32(out, static_cast<uint32_t>(c));
    out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(c));
    consumed += n;
  } while (consumed < Length);
  return out;
}

void TVFSTree::StoreFileData(TVFSEntry& Entry, const uint8_t* Data, uint32_t Length) {
  Entry.Size = static_cast<int32_t>(Length);
  Entry.Date = file_.Today();
  if (!(Entry.Flags & vfFile)) return;
  Entry.OrigSize = static_cast<int32_t>(Length);
  std::optional<TBytes> packed = Length ? InternalCompressFile(Data, Length) : std::nullopt;
  if (packed) {
    Entry.Flags |= vfCompressed;
    file_.WriteFile(Entry, packed->data(), static_cast<uint32_t>(packed->size()));
  } else {
    Entry.OrigSize = 0;
    file_.WriteFile(Entry, Length ? Data : nullptr, Length);
  }
}

TBytes TVFSTree::BuildDirectoryData(uint32_t Dir) const {
  TBytes out;
  out.reserve(static_cast<size_t>(kVFSEntrySize) * CountChildren(Dir));
  for (uint32_t c : Nodes[Dir].Children) {
    if (c != kFreeChild) EncodeEntry(*Nodes[c].Entry, out);
  }
  return out;
}

void TVFSTree::WriteRootEntry(uint32_t Node) {
  file_.SeekRootEntry(static_cast<uint32_t>(Nodes[Node].RootSlot));
  file_.WriteEntryRecord(*Nodes[Node].Entry);
}

void TVFSTree::RewriteParent(uint32_t Node) {
  int32_t parent = Nodes[Node].Parent;
  if (parent < 0) return;
  uint32_t p = static_cast<uint32_t>(parent);
  TBytes data = BuildDirectoryData(p);
  TVFSEntry& entry = *Nodes[p].Entry;
  // A directory that keeps its size is rewritten where it is.
  if (static_cast<int32_t>(data.size()) == entry.Size && entry.FirstBlock > 0) {
    if (!data.empty()) file_.OverwriteFile(entry, data.data(), static_cast<uint32_t>(data.size()));
    return;
  }
  ReleaseChain(p);
  file_.WriteFile(entry, data.empty() ? nullptr : data.data(), static_cast<uint32_t>(data.size()));
  if (Nodes[p].Parent == -1) {
    WriteRootEntry(p);
  } else {
    RewriteParent(p);
  }
}

void TVFSTree::ReleaseChain(uint32_t Node) { file_.ReleaseChain(Nodes[Node].Entry->FirstBlock); }

void TVFSTree::DeleteNode(uint32_t Node, bool AsChild) {
  std::vector<uint32_t> children = Nodes[Node].Children;
  for (uint32_t c : children) {
    if (c != kFreeChild) DeleteNode(c, true);
  }
  ReleaseChain(Node);
  int32_t parent = Nodes[Node].Parent;
  if (AsChild && parent >= 0) {
    RemoveChild(static_cast<uint32_t>(parent), Node);
    FreeNode(Node);
    return;
  }
  if (parent < 0) {
    file_.SeekRootEntry(static_cast<uint32_t>(Nodes[Node].RootSlot));
    file_.WriteEntryRecord(TVFSEntry{});
  } else {
    RemoveChild(static_cast<uint32_t>(parent), Node);
    RewriteParent(Node);
  }
  FreeNode(Node);
}

void TVFSTree::DeleteByPath(const std::string& Path, bool AsChild) {
  int32_t found = FindByPath(Path);
  if (found >= 0) DeleteNode(static_cast<uint32_t>(found), AsChild);
}

uint32_t TVFSTree::AddFile(const std::string& Path, const uint8_t* Data, uint32_t Length) {
  std::string d = DirectoryPart(Path);
  int32_t b = -1;
  if (!d.empty()) {
    b = FindDeepestDirectory(d);
    if (b == -1) {
      b = EnsurePath(-1, d);
    } else if (!SameTextAscii(Nodes[static_cast<size_t>(b)].Path, d)) {
      b = EnsurePath(b, d.substr(Nodes[static_cast<size_t>(b)].Path.size() + 1));
    }
  }
  size_t slash = Path.rfind('\\');
  std::string n = slash == std::string::npos ? Path : Path.substr(slash + 1);
  DeleteByPath(b == -1 ? n : Concat({Nodes[static_cast<size_t>(b)].Path, "\\", n}), true);
  uint32_t i = CreateNewFileDir(b, n, 0, 0, 0, 0, false, vfFile);
  StoreFileData(*Nodes[i].Entry, Data, Length);
  if (b == -1) {
    WriteRootEntry(i);
  } else {
    RewriteParent(i);
  }
  return i;
}

std::vector<TVFSHashEntry> TVFSTree::BuildHashTable() const {
  // The table InsertHashEntry builds record by record, made in one sort: the
  // first file of each hash in node order, ascending by hash, Unique 0 where
  // another file had the same hash. Inserting one by one moves the table for
  // every file, which is quadratic in large containers.
  std::vector<TVFSHashEntry> files;
  files.reserve(CountFiles());
  for (const TTreeFileInfo& node : Nodes) {
    if (node.Index == kFreeNode || !(node.Entry->Flags & vfFile)) continue;
    const TVFSEntry& e = *node.Entry;
    files.push_back({HashName(node.Path, e.Name), e.Flags, e.Size, e.OrigSize, e.FirstBlock, 1});
  }
  // Hash above, node index below: one sort of plain numbers orders by hash
  // and keeps node order within a hash.
  std::vector<uint64_t> order(files.size());
  for (size_t i = 0; i < files.size(); ++i) order[i] = (uint64_t{files[i].Hash} << 32) | i;
  std::sort(order.begin(), order.end());
  std::vector<TVFSHashEntry> table;
  table.reserve(files.size());
  for (uint64_t key : order) {
    const TVFSHashEntry& e = files[static_cast<uint32_t>(key)];
    if (!table.empty() && table.back().Hash == e.Hash) {
      table.back().Unique = 0;
    } else {
      table.push_back(e);
    }
  }
  return table;
}

namespace {

void WriteHashFile(const std::string& path, const std::vector<TVFSHashEntry>& entries) {
  TBytes out;
  WriteU32(out, static_cast<uint32_t>(entries.size()));
  for (const TVFSHashEntry& r : entries) {
    WriteU32(out, r.Hash);
    WriteU32(out, r.Flags);
    WriteU32(out, static_cast<uint32_t>(r.Size));
    WriteU32(out, static_cast<uint32_t>(r.OrigSize));
    WriteU32(out, static_cast<uint32_t>(r.FirstBlock));
    out.push_back(r.Unique);
  }
  platform::File f;
  VFS_CHECK(f.Open(path, platform::kAccessWrite, platform::kShareNone, platform::FileDisposition::kCreateAlways) &&
                f.Write(out.data(), static_cast<uint32_t>(out.size())) == out.size() && f.Flush(),
            "SaveHashFile: cannot write ", path, ": ", platform::DescribeError(platform::LastError()));
}

}  // namespace

void TVFSTree::SaveHashFile() {
  std::string path = HashFilePath(file_.FileName);
  VFS_CHECK(!platform::FileExists(path) || platform::DeleteFile(path), "SaveHashFile: cannot delete ", path, ": ",
            platform::DescribeError(platform::LastError()));
  if (CountFiles() == 0) return;
  WriteHashFile(path, BuildHashTable());
}

std::vector<TVFSHashEntry> ReadHashRecords(const TBytes& Data, const std::string& Path, size_t* Trailing) {
  TBufferManager b(Data);
  uint32_t count = ReadU32(b);
  VFS_CHECK(count <= b.Remaining() / kHashRecordSize, "Load: ", Path, " holds fewer records than it counts");
  std::vector<TVFSHashEntry> records(count);
  for (TVFSHashEntry& r : records) {
    r.Hash = ReadU32(b);
    r.Flags = ReadU32(b);
    r.Size = static_cast<int32_t>(ReadU32(b));
    r.OrigSize = static_cast<int32_t>(ReadU32(b));
    r.FirstBlock = static_cast<int32_t>(ReadU32(b));
    b.ReadInto(1, &r.Unique);
  }
  if (Trailing) *Trailing = b.Remaining();
  return records;
}

void TVFSHashFile::Load() {
  Clear();
  Loaded = false;
  std::string path = HashFilePath(file_.FileName);
  if (!platform::FileExists(path)) return;
  Entries = ReadHashRecords(LoadWholeFile(path), path);
  Loaded = true;
}

void TVFSHashFile::Save() {
  if (!Loaded) return;
  std::string path = HashFilePath(file_.FileName);
  VFS_CHECK(!platform::FileExists(path) || platform::DeleteFile(path), "Save: cannot delete ", path, ": ",
            platform::DescribeError(platform::LastError()));
  if (!Entries.empty()) WriteHashFile(path, Entries);
}
