// The undo journal beside a container: the input is a container (its length
// in the first two bytes) and the journal after it. The container is opened,
// which applies the journal, then checked.
#include "common/Exceptions.h"
#include "fuzz/FuzzSupport.h"
#include "gamedata/VFS_Check.h"
#include "gamedata/VFS_Unit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 2) return 0;
  size_t length = std::min<size_t>(Data[0] | (Data[1] << 8), Size - 2);
  std::string path = WriteInput("journal.vfs", Data + 2, length);
  WriteInput("journal.vfs.undo", Data + 2 + length, Size - 2 - length);
  try {
    TVFSFile vfs;
    vfs.Open(path, true);
    static const uint8_t bytes[700] = {7};
    vfs.Tree.AddFile("added.dat", bytes, sizeof(bytes));
    vfs.Save(false);
  } catch (const ESetupError&) {
    return 0;
  }
  CheckVFSContainer(path);
  return 0;
}
