#include "platform/host/host_carried_tools.h"

#include "platform/native_path.h"

namespace kestrune::platform::host {

HostCarriedTools::HostCarriedTools(std::filesystem::path toolsFolder)
    : toolsFolder_(std::move(toolsFolder)) {}

const char* HostCarriedTools::CarriedFileName(int resourceId) {
  switch (resourceId) {
    case tool_resource::kSevenZipExe:
      return "7z.exe";
    case tool_resource::kSevenZipDll:
      return "7z.dll";
    case tool_resource::kSabrel32:
    case tool_resource::kSabrel64:
      return "Sabrel.exe";
    case tool_resource::kHarlune:
      return "Harlune.exe";
    default:
      return nullptr;
  }
}

bool HostCarriedTools::WriteTool(int resourceId, const std::wstring& targetPath) {
  const char* name = CarriedFileName(resourceId);
  if (name == nullptr) return false;
  std::error_code error;
  // copy_file keeps the permission bits, so the written tool stays executable.
  return std::filesystem::copy_file(toolsFolder_ / name, ToNativePath(targetPath),
                                    std::filesystem::copy_options::overwrite_existing, error) &&
         !error;
}

}  // namespace kestrune::platform::host
