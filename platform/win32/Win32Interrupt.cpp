// The half-written output an interrupted command removes, in an object of its
// own: only the command-line tool needs it.
#include "platform/win32/Win32Common.h"

#include <algorithm>

namespace platform {

namespace {
char g_interruptPath[MAX_PATH];
volatile LONG g_interruptArmed = 0;

BOOL WINAPI OnInterrupt(DWORD) {
  if (g_interruptArmed) ::DeleteFileA(g_interruptPath);
  return FALSE;  // the default handling ends the process
}
}  // namespace

RemoveOnInterrupt::RemoveOnInterrupt(const std::string& Path) {
  g_interruptArmed = 0;
  if (Path.size() >= sizeof(g_interruptPath)) return;
  std::copy(Path.begin(), Path.end(), g_interruptPath);
  g_interruptPath[Path.size()] = '\0';
  ::SetConsoleCtrlHandler(OnInterrupt, TRUE);
  g_interruptArmed = 1;
}

RemoveOnInterrupt::~RemoveOnInterrupt() {
  g_interruptArmed = 0;
  ::SetConsoleCtrlHandler(OnInterrupt, FALSE);
}

}  // namespace platform
