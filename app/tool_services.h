#pragma once

#include "platform/carried_tools.h"
#include "platform/clock.h"
#include "platform/file_tree.h"
#include "platform/private_folders.h"
#include "platform/process_launcher.h"
#include "platform/restart_cleanup.h"
#include "platform/system_info.h"

namespace kestrune {

/// The platform services behind the tool runner and the carried tools.
struct ToolServices {
  platform::ProcessLauncher& processes;
  platform::CarriedTools& carriedTools;
  platform::SystemInfo& systemInfo;
  platform::RestartCleanup& restartCleanup;
  platform::Clock& clock;
  platform::FileTree& files;
  platform::PrivateFolders& privateFolders;
};

}  // namespace kestrune
