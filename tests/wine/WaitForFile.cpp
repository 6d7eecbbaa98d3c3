// A test helper a setup's script runs to hold the run at a known point:
// writes MARKER.reached, then waits until MARKER.go exists (at most a minute).
// Exit status 0 when told to go, 1 on the timeout or a missing argument.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc < 2) return 1;
  const std::string marker = __argv[1];
  HANDLE reached = ::CreateFileA((marker + ".reached").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (reached == INVALID_HANDLE_VALUE) return 1;
  ::CloseHandle(reached);
  const std::string go = marker + ".go";
  for (int i = 0; i < 1200; ++i) {
    if (::GetFileAttributesA(go.c_str()) != INVALID_FILE_ATTRIBUTES) return 0;
    ::Sleep(50);
  }
  return 1;
}
