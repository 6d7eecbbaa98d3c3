#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Platform.h"
#include "platform/host/HostMachine.h"

const std::string& FuzzDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/wizpak-fuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    std::string d = made ? made : "/tmp";
    platform::host::SetRoot(d + "/machine");
    return d;
  }();
  return dir;
}

std::string WriteInput(const std::string& Name, const uint8_t* Data, size_t Size) {
  std::string path = FuzzDir() + "/" + Name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (Size && std::fwrite(Data, 1, Size, f) != Size) std::abort();
  std::fclose(f);
  return path;
}
