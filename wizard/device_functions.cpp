#include "wizard/device_functions.h"

#include "devices/recorders.h"

namespace kestrune {

void DeviceFunctions::EnumRecorders(std::vector<std::wstring>& entries) {
  // The page lists what was found; whether every call succeeded does not matter to it.
  static_cast<void>(kestrune::EnumRecorders(imapi_, entries));
}

void DeviceFunctions::EnumUSBDisks(std::vector<CVantorEnumUSBDetail>& list) {
  kestrune::EnumUSBDisks(services_.inventory, services_.deviceTree, list);
}

platform::HResult DeviceFunctions::ScanDriveMedia(wchar_t letter, uint32_t* supportedMediaMask,
                                                  uint32_t* currentMediaCode) {
  return kestrune::ScanDriveMedia(imapi_, letter, supportedMediaMask, currentMediaCode);
}

bool DeviceFunctions::BindRecorder(wchar_t letter, uint32_t mediaCode) {
  return kestrune::BindRecorder(imapi_, letter, mediaCode);
}

uint32_t DeviceFunctions::CheckInsertedMedia() {
  return kestrune::CheckInsertedMedia(imapi_, context_);
}

bool DeviceFunctions::IsWindows8OrGreater() { return services_.osVersion.IsWindows8OrGreater(); }

bool DeviceFunctions::WorkVolumeFreeSpace(const std::wstring& folder, std::wstring& volumeName,
                                          uint64_t& freeBytes) {
  std::wstring root;
  if (!services_.volumeNaming.VolumeOf(folder, root, volumeName)) return false;
  platform::VolumeSpace space;
  if (!services_.volumes.GetFreeSpace(root, space)) return false;
  freeBytes = space.totalFreeBytes;
  return true;
}

}  // namespace kestrune
