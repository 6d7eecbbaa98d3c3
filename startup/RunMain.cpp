// wizpak-run: the runtime on the emulated machine named by WIZPAK_HOST_ROOT.
#include <cstdio>
#include <cstring>
#include <vector>

#include "startup/Startup.h"

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "usage: wizpak-run [PKG]\n"
        "\n"
        "Runs a setup, patch or uninstaller on the emulated Windows machine in the\n"
        "folder WIZPAK_HOST_ROOT (machine.ini, drives/, registry.reg). PKG is a\n"
        "setup executable or package file; message boxes are printed and answered\n"
        "from machine.ini.\n");
    return 0;
  }
  return RunProgram(std::vector<std::string>(argv + 1, argv + argc));
}
