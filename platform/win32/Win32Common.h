// <windows.h> for the Win32 layer, with the A/W name macros that collide with
// the seam's own function names taken away again.
#pragma once

#ifndef WINVER
#define WINVER 0x0501
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0501
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef FatalAppExit
#undef GetDriveType
#undef GetFileAttributes
#undef MessageBox
#undef MoveFile
#undef RemoveDirectory
#undef SetFileAttributes
#undef ShellExecute
// The 64-bit headers define this one as a macro over __rdtsc.
#undef ReadTimeStampCounter

#include "platform/Platform.h"

namespace platform::win32 {

// UTF-16 for the wide entry points, held in the program's own UTF-16
// string (no second string type is built for the system's wchar_t).
struct WideText {
  WideString Text;
  const wchar_t* c_str() const { return reinterpret_cast<const wchar_t*>(Text.c_str()); }
  wchar_t* data() { return reinterpret_cast<wchar_t*>(Text.data()); }
  size_t size() const { return Text.size(); }
  bool empty() const { return Text.empty(); }
};

// The header of a 32-bit top-down device-independent bitmap (pixels
// 0x00RRGGBB, rows top to bottom: the toolkit's Picture).
BITMAPINFO TopDownBitmapInfo(LONG Width, LONG Height);
// UTF-8 text as the UTF-16 the wide entry points take.
WideText Wide(const std::string& Text);
// A path for the wide file functions: past the classic limit of 260
// characters (248 for a folder) it is given in the "\\?\" form, made whole
// first (the system takes such a path literally: no "/", "." or "..").
WideText WidePath(const std::string& Path);
// UTF-16 from the system as UTF-8.
std::string Narrow(const wchar_t* Text);
std::string Narrow(const wchar_t* Text, size_t Length);
// A DLL from the system folder only (never one planted beside the setup),
// for the services looked up at run time; null when it is not there.
HMODULE LoadSystemLibrary(const char16_t* Name);

}  // namespace platform::win32
