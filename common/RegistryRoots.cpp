#include "common/RegistryRoots.h"

#include "common/Strings.h"

namespace {
const char* const kShortNames[] = {"HKLM", "HKCU", "HKCR", "HKU", "HKCC"};
const char* const kLongNames[] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT", "HKEY_USERS",
                                  "HKEY_CURRENT_CONFIG"};
}  // namespace

int RootNumberOf(const std::string& Name) {
  for (int i = 0; i < 5; ++i) {
    if (SameTextAscii(Name, kShortNames[i])) return i;
  }
  return 0;
}

bool IsRootName(const std::string& Name) {
  for (const char* root : kShortNames) {
    if (SameTextAscii(Name, root)) return true;
  }
  return false;
}

std::string RootNameList() { return "HKLM, HKCU, HKCR, HKU, HKCC"; }

std::string RootName(int Number) { return Number >= 0 && Number < 5 ? kLongNames[Number] : "!ERROR!"; }

int RootKeyOf(int Number) { return Number >= 0 && Number < 5 ? Number : -1; }
