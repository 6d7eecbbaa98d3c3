// The DLL search path, in a file of its own: the finaliser links it, and
// nothing else of the system layer.
#include "platform/win32/Win32Common.h"

namespace platform {

void HardenDllSearchPath() {
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  // SetDefaultDllDirectories: Windows 8, or 7 and Vista with KB2533623.
  using SetDefaultFn = BOOL(WINAPI*)(DWORD);
  auto setDefault =
      reinterpret_cast<SetDefaultFn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault) setDefault(kSearchSystem32);
  // SetDllDirectoryA(""): XP SP1 on; takes the current folder out of the search.
  using SetDllDirFn = BOOL(WINAPI*)(LPCSTR);
  auto setDllDir = reinterpret_cast<SetDllDirFn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDllDirectoryA")));
  if (setDllDir) setDllDir("");
}

}  // namespace platform
