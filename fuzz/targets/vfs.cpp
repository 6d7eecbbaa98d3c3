// The VFS container: open with the tree, its files read back as `vfs cat`
// reads them, a file added and one replaced, saved, then checked.
#include "common/Exceptions.h"
#include "fuzz/FuzzSupport.h"
#include "gamedata/VFS_Check.h"
#include "gamedata/VFS_Unit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string path = WriteInput("input.vfs", Data, Size);
  try {
    TVFSFile vfs;
    vfs.Open(path, true);
    for (size_t n = 0; n < vfs.Tree.Nodes.size() && n < 64; ++n) {
      const TTreeFileInfo& node = vfs.Tree.Nodes[n];
      if (node.Index == 0xFFFFFFFF || (node.Entry->Flags & vfDirectory)) continue;
      try {
        if (std::optional<TBytes> stored = vfs.ReadEntryData(*node.Entry)) UnpackStoredData(*node.Entry, *stored);
      } catch (const ESetupError&) {
      }
    }
    static const uint8_t bytes[3000] = {1, 2, 3};
    vfs.Tree.AddFile("maps\\desert\\new.dat", bytes, sizeof(bytes));
    if (!vfs.Tree.Nodes.empty() && vfs.Tree.Nodes.size() > 1) {
      const std::string existing = vfs.Tree.Nodes.back().Path;
      if (!existing.empty()) vfs.Tree.AddFile(existing, bytes, 10);
    }
    vfs.Save(false);
    vfs.Close();
  } catch (const ESetupError&) {
    return 0;
  }
  CheckVFSContainer(path);
  return 0;
}
