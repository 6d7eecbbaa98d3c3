#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Platform.h"
#include "platform/host/HostMachine.h"

const std::string& FuzzDir() {
  static const std::string dir = [] {
    uint32_t id = 0;
    platform::RandomBytes(&id, sizeof(id));
    std::filesystem::path d = std::filesystem::temp_directory_path() / ("wizpak-fuzz-" + std::to_string(id));
    std::filesystem::create_directories(d);
    platform::host::SetRoot(d.string() + "/machine");
    return d.string();
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
