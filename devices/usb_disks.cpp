#include "devices/usb_disks.h"

namespace kestrune {

// Placeholder until the enumeration is built: no disk qualifies.
void EnumUSBDisks(platform::DiskInventory&, platform::DeviceTree&,
                  std::vector<CVantorEnumUSBDetail>&) {}

}  // namespace kestrune
