#include "platform/Finaliser.h"

#include "platform/win32/Win32Common.h"

namespace platform {

namespace {
constexpr DWORD kRetryMs = 200;
constexpr int kPathChars = 32768;

bool Exists(const char* Path) { return ::GetFileAttributesA(Path) != INVALID_FILE_ATTRIBUTES; }
}  // namespace

int RunFinaliser(const char* Target, uint32_t TimeoutMs) {
  char target[kPathChars];
  if (!Target) return 2;
  int length = ::lstrlenA(Target);
  if (length >= 2 && Target[0] == '"' && Target[length - 1] == '"') {
    ++Target;
    length -= 2;
  }
  if (length <= 0 || length >= kPathChars) return 2;
  ::lstrcpynA(target, Target, length + 1);

  bool deleted = false;
  DWORD start = ::GetTickCount();
  while (!(deleted = ::DeleteFileA(target)) && Exists(target) && ::GetTickCount() - start < TimeoutMs) {
    ::Sleep(kRetryMs);
  }

  // The folder it was in goes only when nothing else is left there.
  char folder[kPathChars];
  ::lstrcpyA(folder, target);
  int end = ::lstrlenA(folder);
  while (end > 0 && folder[end - 1] != '\\') --end;
  while (end > 3 && folder[end - 1] == '\\') --end;
  folder[end] = '\0';
  if (end > 0) ::RemoveDirectoryA(folder);

  // A running program cannot delete its own file: it goes at the next start.
  char self[MAX_PATH * 4];
  DWORD selfLength = ::GetModuleFileNameA(nullptr, self, sizeof(self));
  if (selfLength > 0 && selfLength < sizeof(self) && !::DeleteFileA(self)) {
    ::MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    // The folder the uninstaller made for it ("wizpak-" and a random name)
    // goes after it, once empty.
    int cut = ::lstrlenA(self);
    while (cut > 0 && self[cut - 1] != '\\') --cut;
    if (cut > 1) {
      self[cut - 1] = '\0';
      int name = cut - 1;
      while (name > 0 && self[name - 1] != '\\') --name;
      if (::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, self + name, 7, "wizpak-", 7) == CSTR_EQUAL) {
        ::MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      }
    }
  }
  return deleted || !Exists(target) ? 0 : 1;
}

}  // namespace platform
