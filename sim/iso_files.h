#pragma once

#include <filesystem>

namespace kestrune::sim {

/// Unpacks the files of an ISO 9660 image with a Joliet tree (what the sample sets and the
/// makers' images are) into `folder`, copying each file's extents inside the kernel, so that
/// making a written disc readable costs about one copy of its data. False, with `folder`
/// possibly half filled, when the image has no Joliet tree or does not read as one; the
/// caller then unpacks it with 7-Zip.
bool ExtractIsoFiles(const std::filesystem::path& image, const std::filesystem::path& folder);

}  // namespace kestrune::sim
