// wizpak-stub.exe: the Windows runtime.
#include <vector>

#include "platform/Platform.h"
#include "startup/Startup.h"

int main(int argc, char** argv) {
  platform::HardenDllSearchPath();
  std::vector<std::string> args = platform::ProgramArguments(argc, argv);
  // The program's own full path, whatever the command line called it.
  if (args.empty()) args.emplace_back();
  args[0] = platform::ExecutablePath();
  return RunProgram(args, nullptr, RunWizard);
}
