// What GetVersion's answer says about the Windows the program runs on.
#pragma once

#include <cstdint>

// Windows 95, 98 and ME: the high bit is set.
bool IsWindows9x(uint32_t version);
// NT 6.0 or later: User Account Control may hold back the account's rights.
bool IsVistaOrLater(uint32_t version);
// NT 5.0 or later: a new file or folder takes its parent's inheritable
// access entries into the list it is given, unless that list is protected.
bool MergesInheritedAccess(uint32_t version);
// NT 5.0 or later: cmd runs the registry's AutoRun commands unless told /d
// (both came with Windows 2000's cmd).
bool CmdRunsAutoRun(uint32_t version);
