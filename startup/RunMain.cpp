// wizpak-run: the runtime on the emulated machine named by WIZPAK_HOST_ROOT.
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/Strings.h"
#include "platform/Widgets.h"
#include "platform/host/HostMachine.h"
#include "startup/Startup.h"

namespace {

// The working page's texts, printed as they come.
class PrintingObserver : public TSetupObserver {
 public:
  void SetStatusText(const WideString& Text) override { Print("Status", WideToUtf8(Text)); }
  void StepProgress(bool) override { Print("Progress", DecimalText(++count_)); }
  void SetFinishText(const WideString& Text, bool) override { Print("Finish", WideToUtf8(Text)); }
  void SetProgress(uint32_t Position, uint32_t Maximum) override {
    Print("Progress", Concat({DecimalText(Position), " of ", DecimalText(Maximum)}));
  }

 private:
  static void Print(const char* what, const std::string& text) {
    std::printf("[%s] %s\n", what, text.c_str());
    std::fflush(stdout);
  }
  uint32_t count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::printf(
        "usage: wizpak-run PROGRAM [ARGS...]\n"
        "\n"
        "Runs a setup, patch or uninstaller on the emulated Windows machine in the\n"
        "folder WIZPAK_HOST_ROOT (machine.ini, drives/, registry.reg). PROGRAM is the\n"
        "setup or uninstaller file, standing for the running executable; ARGS are\n"
        "its command line (a package file as first argument is run instead of\n"
        "PROGRAM's own). The wizard runs headless: its actions come from\n"
        "machine.ini's [wizard] section (1=next, 2=back, 3=dir C:\\Games, 4=tree PATH,\n"
        "5=language N, 6=debug, 7=cancel, 8=close); when they run out, Next while it\n"
        "can, then Finish. Pages, message boxes, status lines and progress are\n"
        "printed as they are shown; message boxes are answered from machine.ini's\n"
        "[messageboxes] answers=. WIZPAK_UI_DUMP=FILE appends a JSON line of every\n"
        "control each time the wizard is idle.\n"
        "PROGRAM's switches work here too: /S (unattended: no wizard, no boxes),\n"
        "/LOG=FILE (the install log, a path on the machine) and /D=PATH (the\n"
        "install directory; the last switch, taking the rest of the line).\n"
        "Exit status: 0 installed (closed from a finish page), 1 after a fatal\n"
        "start-up message, 2 after an error log, 3 closed anywhere else, 4 the\n"
        "script's \"failure\" line stopped the run, 5 unattended: the drive cannot\n"
        "take the files, 6 the run could not do everything (an error log says what).\n");
    return argc < 2 ? 2 : 0;
  }
  PrintingObserver observer;
  std::vector<std::string> args(argv + 1, argv + argc);
  // Every path the setup uses is a place on the machine; of the host's own
  // files it sees only the program, its package and the UI dump.
  std::vector<std::string> allowed = {args[0], platform::UiDumpPath()};
  if (args.size() >= 2) allowed.push_back(args[1]);
  platform::host::ConfineToMachine(allowed);
  return RunProgram(args, &observer, RunWizard);
}
