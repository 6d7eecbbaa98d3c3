// The half-written output an interrupted command removes, in an object of its
// own: only the command-line tool needs it.
#include "platform/win32/Win32Common.h"

#include <algorithm>

namespace platform {

namespace {
wchar_t g_interruptPath[32768];
volatile LONG g_interruptArmed = 0;

BOOL WINAPI OnInterrupt(DWORD) {
  if (g_interruptArmed) ::DeleteFileW(g_interruptPath);
  return FALSE;  // the default handling ends the process
}
}  // namespace

RemoveOnInterrupt::RemoveOnInterrupt(const std::string& Path) {
  g_interruptArmed = 0;
  win32::WideText path = win32::WidePath(Path);
  if (path.size() >= 32768) return;
  std::copy(path.Text.begin(), path.Text.end(), g_interruptPath);
  g_interruptPath[path.size()] = L'\0';
  ::SetConsoleCtrlHandler(OnInterrupt, TRUE);
  g_interruptArmed = 1;
}

RemoveOnInterrupt::~RemoveOnInterrupt() {
  g_interruptArmed = 0;
  ::SetConsoleCtrlHandler(OnInterrupt, FALSE);
}

}  // namespace platform
