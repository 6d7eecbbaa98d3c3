// "install.log": loaded, saved and loaded again.
#include "common/Exceptions.h"
#include "fuzz/FuzzSupport.h"
#include "script/SE_Uninstall_List.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  WriteInput("install.log", Data, Size);
  auto fields = [] {
    TPathFields f;
    f.InstallDir = "C:\\Games\\X";
    return f;
  };
  TUninstallList list(fields);
  try {
    list.LoadLog(FuzzDir(), "");
  } catch (const ESetupError&) {
    return 0;
  }
  for (const std::string& r : list.RegistryRecords()) SplitRegistryRecord(r);
  if (!list.SaveLog(FuzzDir(), "again")) __builtin_trap();
  TUninstallList second(fields);
  second.LoadLog(FuzzDir(), "again");
  if (second.Files() != list.Files() || second.RegistryRecords() != list.RegistryRecords() ||
      second.Directories() != list.Directories()) {
    __builtin_trap();
  }
  return 0;
}
