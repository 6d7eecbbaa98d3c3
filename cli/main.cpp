#include <iostream>

#include "cli/WizpakCli.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
  platform::SetStdoutBinary();
  std::vector<std::string> args = platform::ProgramArguments(argc, argv);
  if (!args.empty()) args.erase(args.begin());
  return RunWizpakCli(args, std::cout, std::cerr);
}
