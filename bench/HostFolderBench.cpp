// The emulated machine with many files in one folder: N files written into
// one folder through the host layer (each name resolved without regard to
// case, as on Windows), checked for programs holding them (the check before
// a run over an installation), then deleted again; prints the time of each
// step and files per second. Usage: wizpak-bench-host-folder [N...] (default 2000
// 8000 16000 64000). Time should grow linearly with N.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/host/HostMachine.h"

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {2000, 8000, 16000, 64000};
  char templ[] = "/tmp/wizpak-bench-XXXXXX";
  if (!::mkdtemp(templ)) return 1;
  for (int n : sizes) {
    platform::host::SetRoot(std::string(templ) + "/m" + std::to_string(n));
    const std::string dir = "C:\\Games\\Many";
    platform::CreateDirectory("C:\\Games");
    platform::CreateDirectory(dir);
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
      platform::File f;
      if (!f.Open(dir + "\\File" + std::to_string(i) + ".DAT", platform::kAccessWrite, platform::kShareNone,
                  platform::FileDisposition::kCreateAlways)) {
        std::fprintf(stderr, "cannot create file %d\n", i);
        return 1;
      }
      f.Write("x", 1);
    }
    double written = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<std::string> paths;
    for (int i = 0; i < n; ++i) paths.push_back(dir + "\\file" + std::to_string(i) + ".dat");
    start = Clock::now();
    if (!platform::FilesInUse(paths).empty()) {
      std::fprintf(stderr, "files reported in use\n");
      return 1;
    }
    double checked = std::chrono::duration<double>(Clock::now() - start).count();
    start = Clock::now();
    for (int i = 0; i < n; ++i) platform::DeleteFile(dir + "\\file" + std::to_string(i) + ".dat");
    double deleted = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%6d files: written in %.2f s (%.0f/s), checked in %.2f s (%.0f/s), deleted in %.2f s (%.0f/s)\n", n,
                written, n / written, checked, n / checked, deleted, n / deleted);
  }
  std::string cleanup = std::string("rm -rf ") + templ;
  return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
