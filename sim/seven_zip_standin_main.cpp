// kestrune-7z: the 7-Zip the host build carries (see sim/seven_zip_standin.h).
#include <iostream>
#include <string>
#include <vector>

#include "sim/seven_zip_standin.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return kestrune::sim::RunSevenZipStandIn(arguments, std::cout, std::cerr);
}
