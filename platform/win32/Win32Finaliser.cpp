#include "platform/Finaliser.h"

#include "platform/win32/Win32Common.h"

namespace platform {

namespace {
constexpr DWORD kRetryMs = 200;
constexpr int kPathChars = 32768;
// Past this length a path is given in the "\\?\" form (see WidePath).
constexpr int kClassicLimit = 248;

bool Exists(const wchar_t* Path) { return ::GetFileAttributesW(Path) != INVALID_FILE_ATTRIBUTES; }

// What follows the program's own name on the command line, blanks skipped.
const wchar_t* Argument() {
  const wchar_t* p = ::GetCommandLineW();
  if (!p) return nullptr;
  if (*p == L'"') {
    for (++p; *p && *p != L'"'; ++p) {
    }
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return *p ? p : nullptr;
}
}  // namespace

int RunFinaliser(uint32_t TimeoutMs) {
  wchar_t target[kPathChars + 8];
  const wchar_t* given = Argument();
  if (!given) return 2;
  int length = ::lstrlenW(given);
  if (length >= 2 && given[0] == L'"' && given[length - 1] == L'"') {
    ++given;
    length -= 2;
  }
  if (length <= 0 || length >= kPathChars) return 2;
  int at = 0;
  // A long drive path ("C:\...") in the form the wide functions take whole.
  if (length >= kClassicLimit && given[1] == L':' && given[2] == L'\\') {
    ::lstrcpyW(target, L"\\\\?\\");
    at = 4;
  }
  ::lstrcpynW(target + at, given, length + 1);

  bool deleted = false;
  DWORD start = ::GetTickCount();
  while (!(deleted = ::DeleteFileW(target)) && Exists(target) && ::GetTickCount() - start < TimeoutMs) {
    ::Sleep(kRetryMs);
  }

  // The folder it was in goes only when nothing else is left there.
  wchar_t folder[kPathChars + 8];
  ::lstrcpyW(folder, target);
  int end = ::lstrlenW(folder);
  while (end > 0 && folder[end - 1] != L'\\') --end;
  while (end > 3 && folder[end - 1] == L'\\') --end;
  folder[end] = L'\0';
  if (end > at) ::RemoveDirectoryW(folder);

  // A running program cannot delete its own file: it goes at the next start.
  wchar_t self[kPathChars];
  DWORD selfLength = ::GetModuleFileNameW(nullptr, self, kPathChars);
  if (selfLength > 0 && selfLength < kPathChars && !::DeleteFileW(self)) {
    ::MoveFileExW(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    // The folder the uninstaller made for it ("wizpak-" and a random name)
    // goes after it, once empty.
    int cut = ::lstrlenW(self);
    while (cut > 0 && self[cut - 1] != L'\\') --cut;
    if (cut > 1) {
      self[cut - 1] = L'\0';
      int name = cut - 1;
      while (name > 0 && self[name - 1] != L'\\') --name;
      if (::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, self + name, 7, L"wizpak-", 7) == CSTR_EQUAL) {
        ::MoveFileExW(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      }
    }
  }
  return deleted || !Exists(target) ? 0 : 1;
}

}  // namespace platform
