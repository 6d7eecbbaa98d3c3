#include <iostream>

#include "cli/WizpakCli.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
  platform::SetStdoutBinary();
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunWizpakCli(args, std::cout, std::cerr);
}
