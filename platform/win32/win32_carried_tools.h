#pragma once

#include "platform/carried_tools.h"

namespace kestrune::platform::win32 {

/// The tools are resources of type "FILE" in the program itself.
class Win32CarriedTools : public CarriedTools {
 public:
  bool WriteTool(int resourceId, const std::wstring& targetPath) override;
};

}  // namespace kestrune::platform::win32
