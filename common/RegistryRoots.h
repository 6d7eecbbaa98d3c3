// The five registry roots by the numbers the records store.
#pragma once

#include <string>

// "HKLM" 0, "HKCU" 1, "HKCR" 2, "HKU" 3, "HKCC" 4, compared after upper-casing;
// any other name (long names too) gives 0.
int RootNumberOf(const std::string& Name);
// Whether Name is one of the five short names (any letter case): what the
// builder accepts where a script names a root.
bool IsRootName(const std::string& Name);
// The short names for a message: "HKLM, HKCU, HKCR, HKU, HKCC".
std::string RootNameList();
// "HKEY_LOCAL_MACHINE" ... "HKEY_CURRENT_CONFIG"; "!ERROR!" for any other number.
std::string RootName(int Number);
// The root a number selects in a registry accessor, -1 (no key) for any other.
int RootKeyOf(int Number);
