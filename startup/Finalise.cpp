#include "startup/Finalise.h"

#include "common/FileUtils.h"
#include "platform/Platform.h"

namespace {
constexpr uint32_t kRetryMs = 200;
}

int RunFinaliser(const std::vector<std::string>& Args, uint32_t TimeoutMs) {
  if (Args.size() < 2) return 2;
  std::string target = Args[1];
  if (target.size() >= 2 && target.front() == '"' && target.back() == '"') target = target.substr(1, target.size() - 2);
  bool deleted = false;
  uint32_t start = platform::TickCount();
  while (!(deleted = platform::DeleteFile(target)) && platform::FileExists(target) &&
         platform::TickCount() - start < TimeoutMs) {
    platform::Sleep(kRetryMs);
  }
  std::string folder = ExtractFilePath(target);
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  if (!folder.empty()) platform::RemoveDirectory(folder);  // only when empty
  if (!Args[0].empty()) platform::DeleteFileLater(Args[0]);
  return deleted || !platform::FileExists(target) ? 0 : 1;
}
