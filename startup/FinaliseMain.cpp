// finalise.exe: removes an uninstaller after it has ended. Built without
// exceptions and without the C++ library (see platform/Finaliser.h).
#include "platform/Finaliser.h"
#include "platform/Platform.h"

int main() {
  platform::HardenDllSearchPath();
  return platform::RunFinaliser(60000);
}
