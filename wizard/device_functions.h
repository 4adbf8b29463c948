#pragma once

#include "platform/device_tree.h"
#include "platform/disk_inventory.h"
#include "platform/os_version.h"
#include "platform/volume_info.h"
#include "platform/volume_naming.h"
#include "wizard/wizard_context.h"

namespace kestrune {

/// The platform services behind the pages' device questions.
struct DeviceServices {
  platform::DiskInventory& inventory;
  platform::DeviceTree& deviceTree;
  platform::OsVersion& osVersion;
  platform::VolumeInfo& volumes;
  platform::VolumeNaming& volumeNaming;
};

/// The pages' device questions answered by the recorder and USB disk functions of devices/
/// and the platform's volume services.
class DeviceFunctions : public WizardDevices {
 public:
  DeviceFunctions(ImapiContext& imapi, const RunContext& context, DeviceServices& services)
      : imapi_(imapi), context_(context), services_(services) {}

  void EnumRecorders(std::vector<std::wstring>& entries) override;
  void EnumUSBDisks(std::vector<CVantorEnumUSBDetail>& list) override;
  platform::HResult ScanDriveMedia(wchar_t letter, uint32_t* supportedMediaMask,
                                   uint32_t* currentMediaCode) override;
  bool BindRecorder(wchar_t letter, uint32_t mediaCode) override;
  uint32_t CheckInsertedMedia() override;
  bool IsWindows8OrGreater() override;
  bool WorkVolumeFreeSpace(const std::wstring& folder, std::wstring& volumeName,
                           uint64_t& freeBytes) override;

 private:
  ImapiContext& imapi_;
  const RunContext& context_;
  DeviceServices& services_;
};

}  // namespace kestrune
