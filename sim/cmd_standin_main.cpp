// kestrune-cmd: the host build's stand-in for "cmd.exe" (see sim/cmd_standin.h).
#include <filesystem>
#include <iostream>

#include "sim/cmd_standin.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  std::error_code error;
  const auto folder = std::filesystem::current_path(error);
  return kestrune::sim::RunCommandInterpreter(arguments, folder, std::cout, std::cerr);
}
