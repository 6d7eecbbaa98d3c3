// A signed setup: the PE headers' security directory read from the input's
// first bytes, then the package found before the certificate table it names
// and read as the setup reads it.
#include "fuzz/FuzzSupport.h"
#include "package/ZUI_PakFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TSilentPrompt silent;
  TPromptScope scope(silent);
  SecurityDirectoryEntry(Data, Size);
  std::string path = WriteInput("signed.exe", Data, Size);
  TPak pak(path, false, false);
  for (uint32_t i = 0; i < pak.Entries.size(); ++i) pak.VerifyEntry(i);
  uint32_t digest = 0;
  pak.CheckDirectoryDigest(digest);
  return 0;
}
