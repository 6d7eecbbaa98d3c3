// finalise.exe: removes an uninstaller after it has ended. Built without
// exceptions and without the C++ library (see platform/Finaliser.h).
#include "platform/Finaliser.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
  platform::HardenDllSearchPath();
  return platform::RunFinaliser(argc > 1 ? argv[1] : nullptr, 60000);
}
