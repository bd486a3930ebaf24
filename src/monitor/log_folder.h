// Where the service keeps its log on Windows Vista and later: a Vorn folder
// in the all-users application data folder (C:\ProgramData by default).
//
// That folder lets every user create folders and files (and be their owner),
// so the log's folder is made by the elevated installer, owned by the
// Administrators, with a list that inherits nothing from above: full access
// for SYSTEM and the Administrators, changing its files for LocalService,
// reading for Users. The service makes and takes over nothing: before each
// line it checks that the folder is still such a folder and the log a plain
// file of one name (event_log.h), and otherwise writes nothing.
#pragma once

#include <string>

// "<commonAppData>\Vorn". Pure.
std::string ServiceLogFolderIn(const std::string& commonAppData);

// "<folder>\Vorn" for the system folder `systemFolder` (a CSIDL), or ""
// with the error as the last error when the system does not say where that
// is.
std::string VornFolderOf(int systemFolder);

// The folder's path, or "" when the system does not say where the all-users
// application data folder is (the error is the last error).
std::string ServiceLogFolder();
