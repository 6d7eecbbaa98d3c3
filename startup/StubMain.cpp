// wizpak-stub.exe: the Windows runtime.
#include <cstdlib>
#include <vector>

#include "platform/Platform.h"
#include "startup/Startup.h"

// An uncaught exception ends the program as the default handler would, but
// without its message to a console a GUI program does not have, and without
// the symbol demangler that message needs (46 KB of every setup).
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int main(int argc, char** argv) {
  platform::HardenDllSearchPath();
  std::vector<std::string> args(argv, argv + argc);
  // The program's own full path, whatever the command line called it.
  if (args.empty()) args.emplace_back();
  args[0] = platform::ExecutablePath();
  return RunProgram(args, nullptr);
}
