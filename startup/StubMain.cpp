// wizpak-stub.exe: the Windows runtime.
#include <vector>

#include "platform/Platform.h"
#include "startup/Startup.h"

int main(int argc, char** argv) {
  platform::HardenDllSearchPath();
  return RunProgram(std::vector<std::string>(argv + 1, argv + argc));
}
