#include <cstddef>
#include <cstdint>
#include <span>

#include "sabrel/md5_list.h"

/// Any byte string must parse without a crash, and every entry it yields must hold only
/// names that stay below the drive root.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto list = kestrune::sabrel::ParseMd5List(
      std::as_bytes(std::span(reinterpret_cast<const char*>(data), size)));
  for (const auto& entry : list.entries) {
    if (entry.components.empty()) __builtin_trap();
    for (const auto& name : entry.components) {
      if (name.empty() || name == "." || name == ".." || name.find_first_of(":\\/") != name.npos) {
        __builtin_trap();
      }
    }
  }
  return 0;
}
