#pragma once

#include <cstdint>

#include "app/run_context.h"

namespace kestrune {

/// Measures the source files and fills the run context: each entry's size and `sourceCount`
/// (stopping at the first entry whose status cannot be read), `requiredMB`, `usbSizeGB`,
/// `allowedMediaMask` and `estimatedMinutes`. Returns RESULT_OK, or RESULT_NO_SOURCES when not
/// even the first entry can be measured (then only the counts are reset).
[[nodiscard]] uint32_t RunSourceSurvey(RunContext& context);

}  // namespace kestrune
