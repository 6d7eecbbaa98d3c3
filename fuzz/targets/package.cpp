// The package reader: trailer, directory, every entry read and verified, the
// parallel verification and the extraction of group 1.
#include "common/Exceptions.h"
#include "common/FileUtils.h"
#include "fuzz/FuzzSupport.h"
#include "package/ZUI_PakFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TSilentPrompt silent;
  TPromptScope scope(silent);
  std::string path = WriteInput("input.pak", Data, Size);
  TPak pak(path, false, false);
  for (uint32_t i = 0; i < pak.Entries.size(); ++i) {
    pak.VerifyEntry(i);
    pak.ReadEntry(i);
  }
  pak.VerifyEntries(pak.Trailer.Count, 2, [](uint32_t, bool) { return true; });
  uint32_t size = 0;
  pak.FindEntry("SetupInfo", 0, size);
  std::string target = FuzzDir() + "/out";
  pak.ExtractThreads = 1;
  pak.ExtractGroup(target, 1, TExtractSink{});
  RemoveTree(target);
  return 0;
}
