#include "gamedata/VFS_Check.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "common/FileUtils.h"
#include "common/Strings.h"
#include "gamedata/VFS_Unit.h"

std::string CheckVFSContainer(const std::string& FileName, bool* Restored) {
  TVFSFile vfs;
  try {
    vfs.Open(FileName, true);
  } catch (const ESetupError& e) {
    return e.what();
  }
  if (Restored) *Restored = vfs.Restored;
  try {
    uint8_t stored[16];
    std::memcpy(stored, vfs.Header.MD5, 16);
    bool zero = true;
    for (uint8_t b : stored) zero = zero && b == 0;
    if (!zero) {
      vfs.CalculateMD5();
      if (std::memcmp(stored, vfs.Header.MD5, 16) != 0) return "the digest does not match bytes 44 to the end";
    }
    std::vector<int> owner(vfs.BlockLinks.size(), -1);
    int32_t inUse = 0;
    for (size_t n = 0; n < vfs.Tree.Nodes.size(); ++n) {
      const TTreeFileInfo& node = vfs.Tree.Nodes[n];
      if (node.Index == 0xFFFFFFFF) continue;
      if (node.Entry->FirstBlock <= 0) return node.Path + " has no chain";
      // One walk per chain that stops at the first block already owned: a
      // shared chain or a loop is found without walking it again, so the
      // check costs no more than the container's blocks.
      uint64_t length = 0;
      for (int32_t block = node.Entry->FirstBlock - 1;;) {
        if (block < 0 || static_cast<size_t>(block) >= owner.size()) {
          return Concat({"the chain of ", node.Path, " leaves the block table at block ", DecimalText(block + 1)});
        }
        const int other = owner[static_cast<size_t>(block)];
        if (other == static_cast<int>(n))
          return Concat({"the chain of ", node.Path, " loops at block ", DecimalText(block + 1)});
        if (other != -1) {
          return Concat({"block ", DecimalText(block + 1), " belongs to ", node.Path, " and to ",
                         vfs.Tree.Nodes[static_cast<size_t>(other)].Path});
        }
        owner[static_cast<size_t>(block)] = static_cast<int>(n);
        ++inUse;
        ++length;
        const int32_t next = vfs.BlockLinks[static_cast<size_t>(block)].Next;
        if (next == -1) break;
        if (next == 0) return Concat({"block ", DecimalText(block + 1), " of ", node.Path, " is marked free"});
        block = next - 1;
      }
      if (static_cast<uint64_t>(node.Entry->Size) > length * static_cast<uint64_t>(vfs.Header.BlockSize)) {
        return node.Path + " is larger than its chain";
      }
    }
    for (size_t b = 0; b < vfs.BlockLinks.size(); ++b) {
      if (owner[b] == -1 && vfs.BlockLinks[b].Next != 0)
        return Concat({"block ", DecimalText(b + 1), " is in no chain"});
    }
    if (inUse != vfs.Header.UsedBlocks) {
      return Concat(
          {"UsedBlocks is ", DecimalText(vfs.Header.UsedBlocks), ", ", DecimalText(inUse), " blocks are in use"});
    }
    std::vector<TVFSHashEntry> expected = vfs.Tree.BuildHashTable();
    std::string side = HashFilePath(FileName);
    if (expected.empty()) {
      if (platform::FileExists(side)) return "a side file exists for a container without files";
      return {};
    }
    if (!platform::FileExists(side)) return Concat({"the side file ", side, " is missing"});
    size_t trailing = 0;
    const std::vector<TVFSHashEntry> records = ReadHashRecords(LoadWholeFile(side), side, &trailing);
    if (records.size() != expected.size()) return "the side file's record count differs from the tree's";
    for (size_t i = 0; i < expected.size(); ++i) {
      const TVFSHashEntry &r = expected[i], &got = records[i];
      if (got.Hash != r.Hash || got.Flags != r.Flags || got.Size != r.Size || got.OrigSize != r.OrigSize ||
          got.FirstBlock != r.FirstBlock || got.Unique != r.Unique) {
        return Concat({"the side file's record for hash ", DecimalText(r.Hash), " differs from the tree's"});
      }
    }
    if (trailing != 0) return "the side file holds bytes after its records";
  } catch (const ESetupError& e) {
    return e.what();
  }
  return {};
}
