#include <iostream>

#include "cli/WizpakCli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunWizpakCli(args, std::cout, std::cerr);
}
