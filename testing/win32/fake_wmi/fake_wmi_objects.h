#pragma once

// The stand-in WMI service's COM objects: the locator, the services of "root\cimv2" (with
// the client-security side that CoSetProxyBlanket asks for), the query enumerator and the
// result objects. Their answers come from the simulated machine in the folder that
// KESTRUNE_MACHINE names, through the same disk inventory the Linux build uses
// (sim/sim_disk_inventory.h), so both builds see the same rows.

#include "platform/win32/windows_support.h"

#include <wbemcli.h>

namespace kestrune::fake_wmi {

/// A new locator with one reference.
IWbemLocator* CreateLocator();

}  // namespace kestrune::fake_wmi
