#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "package/ZUI_PakFile.h"
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

std::string PackInput(const std::string& File, std::initializer_list<const char*> Names, const uint8_t* Data,
                      size_t Size) {
  std::string path = FuzzDir() + "/" + File;
  TPak out(path, true, false);
  for (const char* name : Names) {
    uint32_t i = out.AddEntry(name, "", 0);
    out.WriteEntry(i, Data, static_cast<uint32_t>(Size));
  }
  if (!out.WriteDirectory()) __builtin_trap();
  return path;
}
