// Simulated deletion at the next restart: MoveFileExA with
// MOVEFILE_DELAY_UNTIL_REBOOT on NT, WININIT.INI's [rename] section on 9x.
#pragma once

#include <string>
#include <vector>

namespace sim {

// The paths MoveFileExA set for deletion at the next restart, in order.
std::vector<std::string> PendingDeletions();

// The Windows folder's WININIT.INI as a file of the simulated file system.
std::string WininitPath();

}  // namespace sim
