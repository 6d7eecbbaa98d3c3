// Process facts of the host build.
#include <unistd.h>

#include <climits>

#include "platform/Platform.h"

namespace platform {

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// Linux loads no DLLs from the current folder.
void HardenDllSearchPath() {}

}  // namespace platform
