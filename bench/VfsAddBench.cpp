// How adding files to a VFS container grows with its size: a container holding
// N files in folders of 100 gets N * 0.4 more; the time per added file
// should stay flat as N grows. Usage: wizpak-bench-vfs [N...] (default 5000 50000).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "gamedata/VFS_Check.h"
#include "gamedata/VFS_Unit.h"
#include "platform/host/HostMachine.h"

namespace {

std::string FileName(uint32_t i) {
  char name[64];
  // Two levels of folders keep every directory near 100 records, so what is
  // measured is the lookup of paths, not the rewriting of one huge directory.
  std::snprintf(name, sizeof(name), "data\\g%03u\\d%04u\\file%06u.dat", i / 10000, i / 100, i);
  return name;
}

void Run(uint32_t existing) {
  const uint32_t added = existing * 2 / 5;
  char dir[] = "/tmp/wizpak-bench-XXXXXX";
  if (!::mkdtemp(dir)) return;
  platform::host::SetRoot(dir);
  std::string path = std::string(dir) + "/bench.vfs";
  const int32_t blocks = static_cast<int32_t>((existing + added) * 2 + 4096);
  CreateEmptyContainer(path, 256, blocks, 64, "BNCH");
  std::vector<uint8_t> data(200, 'x');
  {
    TVFSFile vfs;
    vfs.Open(path, true);
    for (uint32_t i = 0; i < existing; ++i) vfs.Tree.AddFile(FileName(i), data.data(), 200);
    vfs.Save(true);
  }
  TVFSFile vfs;
  using Clock = std::chrono::steady_clock;
  auto t0 = Clock::now();
  vfs.Open(path, true);
  auto t1 = Clock::now();
  for (uint32_t i = existing; i < existing + added; ++i) vfs.Tree.AddFile(FileName(i), data.data(), 200);
  auto t2 = Clock::now();
  vfs.Save(false);
  auto t3 = Clock::now();
  auto s = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
  std::printf("container of %7u files: %6u added in %7.3f s (%8.0f files/s); open %.3f s, save %.3f s\n", existing,
              added, s(t2 - t1), added / s(t2 - t1), s(t1 - t0), s(t3 - t2));
  vfs.Close();
  std::string cmd = std::string("rm -rf ") + dir;
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<uint32_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)));
  if (sizes.empty()) sizes = {5000, 50000};
  for (uint32_t n : sizes) Run(n);
  return 0;
}
