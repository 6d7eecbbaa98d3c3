// finalise.exe: removes an uninstaller after it has ended.
#include <vector>

#include "platform/Platform.h"
#include "startup/Finalise.h"

int main(int argc, char** argv) {
  platform::HardenDllSearchPath();
  std::vector<std::string> args(argv, argv + argc);
  if (args.empty()) args.emplace_back();
  args[0] = platform::ExecutablePath();
  return RunFinaliser(args, 60000);
}
