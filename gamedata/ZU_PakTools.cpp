// Making a new, empty archive: the tools' work, in an object of its own so
// that a setup, which only updates archives, does not carry it.
#include "gamedata/UndoJournal.h"
#include "gamedata/ZU_PakSystem.h"

void TPakSystem::CreateArchive(const std::string& Path, const std::string& Password) {
  CloseArchive();
  ArchivePath = Path;
  undo_ = std::make_unique<TUndoJournal>(ArchiveHandle, Path + kUndoSuffix);
  if (!ArchiveHandle.Open(Path, platform::kAccessReadWrite, platform::kShareRead,
                          platform::FileDisposition::kCreateNew)) {
    throw ESetupError("Unable to create " + Path + ": " + platform::DescribeError(platform::LastError()));
  }
  ExtraInfo = TExtraInfo{};
  ExtraInfo.Password = Password;
  ExtraInfo.HasPassword = !Password.empty();
  try {
    WriteDirectory();
  } catch (...) {
    CloseArchive();
    platform::DeleteFile(Path);
    throw;
  }
  CloseArchive();
}
