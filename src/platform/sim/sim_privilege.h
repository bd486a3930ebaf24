// The privileges of this process's simulated token.
//
// After sim::Reset() the token holds "Change the system time"
// (SeSystemtimePrivilege), disabled, as an administrator's does on Windows
// XP and the LOCAL SERVICE account's does on Vista and later; SetSystemTime
// fails with ERROR_PRIVILEGE_NOT_HELD when the token does not hold it.
#pragma once

#include <string>

#include "platform/win_privilege.h"

namespace sim {

// The token no longer holds the privilege: an administrator's filtered token
// under User Account Control.
void RemovePrivilege(const std::string& name);
bool HoldsPrivilege(const std::string& name);
bool PrivilegeEnabled(const std::string& name);

}  // namespace sim
