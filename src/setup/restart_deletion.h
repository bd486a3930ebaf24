// Deleting files that are still in use when Windows next starts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Sets `paths` to be deleted when Windows next starts, in their order (a
// folder after what lies in it; the system deletes it only when empty). On
// NT with MoveFileExA ("MoveFileEx function", MOVEFILE_DELAY_UNTIL_REBOOT),
// which needs an administrator. On 9x, which has no such call, as "NUL="
// lines of the [rename] section of WININIT.INI in the Windows folder, which
// WININIT.EXE carries out at the next start before long names exist, so
// each path must be in 8.3 form as the OEM code page spells it (Microsoft
// Knowledge Base Q140570, "Moving Files in Windows 95"); the section is read
// and written whole, because a key written alone would replace an earlier
// line of the same "NUL" key. True when every path is set; reports nothing.
// `version` is GetVersion's.
bool DeleteAtRestart(uint32_t version, const std::vector<std::string>& paths);
