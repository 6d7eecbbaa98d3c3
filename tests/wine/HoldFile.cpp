// A test helper standing for a running game: holds FILE open without
// sharing, writes MARKER.reached, then waits until MARKER.go exists (at most
// two minutes) and lets the file go. Exit status 0 when told to go, 1 when
// the file could not be opened, on the timeout or a missing argument.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc < 3) return 1;
  HANDLE held = ::CreateFileA(__argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 1;
  const std::string marker = __argv[2];
  HANDLE reached = ::CreateFileA((marker + ".reached").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (reached == INVALID_HANDLE_VALUE) return 1;
  ::CloseHandle(reached);
  const std::string go = marker + ".go";
  int status = 1;
  for (int i = 0; i < 2400 && status != 0; ++i) {
    if (::GetFileAttributesA(go.c_str()) != INVALID_FILE_ATTRIBUTES) status = 0;
    ::Sleep(50);
  }
  ::CloseHandle(held);
  return status;
}
