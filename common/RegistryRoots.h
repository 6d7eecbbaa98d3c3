// The five registry roots by the numbers the records store.
#pragma once

#include <string>

// "HKLM" 0, "HKCU" 1, "HKCR" 2, "HKU" 3, "HKCC" 4, compared after upper-casing;
// any other name (long names too) gives 0.
int RootNumberOf(const std::string& Name);
// "HKEY_LOCAL_MACHINE" ... "HKEY_CURRENT_CONFIG"; "!ERROR!" for any other number.
std::string RootName(int Number);
// The root a number selects in a registry accessor, -1 (no key) for any other.
int RootKeyOf(int Number);
