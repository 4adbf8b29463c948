#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "sabrel/exit_codes.h"
#include "sabrel/sabrel_app.h"

int main(int argc, char** argv) {
  using namespace kestrune::sabrel;
  try {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return RunSabrel(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "Sabrel: " << e.what() << '\n';
    return ToInt(ExitCode::kInternalError);
  }
}
