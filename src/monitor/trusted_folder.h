// Whether a folder is one that only the Administrators or the system could
// have made: what the elevated installer and the service may put their
// files in.
#pragma once

#include <string>

// True for a folder that is no reparse point of any kind (junction, mount
// point, symbolic link) and whose owner is the Administrators group or
// SYSTEM. No standard user, and no process without elevation, can give an
// object either owner; anyone who can create folders where the folder lies
// (C:\ProgramData lets every user) owns what they make there.
// With `account` (a SID), a folder that account owns counts too: the
// service's own, which only a service can run as.
bool IsAdministratorsFolder(const std::string& path, const void* account = nullptr);
