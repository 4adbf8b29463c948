#pragma once

#include <string>
#include <string_view>

namespace kestrune::platform::host {

/// UTF-8 <-> wide text at the Linux boundaries (file names, argv, terminal), without the
/// process locale. Linux file names are bytes and need not be valid UTF-8: a byte that does
/// not decode becomes the lone surrogate U+DC80 + byte and is written back as that byte, so
/// every name survives the round trip.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace kestrune::platform::host
