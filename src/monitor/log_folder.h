// Where the service keeps its log on Windows Vista and later: a Vorn folder
// in the all-users application data folder (C:\ProgramData by default).
//
// That folder lets every user create folders and files (and be their owner),
// so the service makes its own folder its own: owned by the service's
// account, with an access list that inherits nothing from above and that
// everything inside inherits, granting full access to the service's account,
// SYSTEM and the Administrators, and reading to Users. A folder or log that
// someone else made first is taken over (owner and list replaced) or, where
// that is refused, not used: no other account can plant or alter the log.
#pragma once

#include <string>

// "<commonAppData>\Vorn". Pure.
std::string ServiceLogFolderIn(const std::string& commonAppData);

// Makes the folder, or takes over the one there and the log in it; returns
// its path, or "" when it cannot be had safely.
std::string PrepareServiceLogFolder();
