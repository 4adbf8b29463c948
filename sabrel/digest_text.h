#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sabrel/md5.h"

namespace kestrune::sabrel {

/// Exactly 32 hexadecimal digits, either letter case; anything else is no digest.
[[nodiscard]] std::optional<Md5Digest> ParseDigest(std::string_view text);

/// Lower-case hexadecimal, as md5sum prints it.
std::string DigestToHex(const Md5Digest& digest);

}  // namespace kestrune::sabrel
