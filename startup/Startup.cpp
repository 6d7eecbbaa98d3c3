#include "startup/Startup.h"

#include "common/ZUI_Global.h"
#include "package/ZUI_PakFile.h"

namespace {
constexpr char kCaption[] = "wizpak";
constexpr int kExitNotImplemented = 3;
}  // namespace

int RunProgram(const std::vector<std::string>& Args) {
  InitialiseGlobals();
  std::string package = !Args.empty() && platform::FileExists(Args[0]) ? Args[0] : platform::ExecutablePath();
  TPak pak(package, false, false);
  if (!pak.Trailer.HasMagic()) {
    platform::MessageBox("No setup package was found in " + package + ".", kCaption, platform::kMbIconError);
    return 1;
  }
  for (uint32_t i = 0; i < pak.Entries.size(); ++i) {
    if (pak.Entries[i].OrigSize > 0 && !pak.VerifyEntry(i)) {
      platform::MessageBox("Entry " + std::to_string(i) + " (" + pak.Entries[i].Name + ") of " + package +
                               " is damaged.",
                           kCaption, platform::kMbIconError);
      return 1;
    }
  }
  // The package is intact; what follows (setup information, script, wizard)
  // is not built yet and must not pretend to have run.
  platform::MessageBox("not implemented: running a setup (" + std::to_string(pak.Entries.size()) +
                           " entries verified in " + package + ")",
                       kCaption, platform::kMbIconError);
  return kExitNotImplemented;
}
