// Where the service's program goes on Windows Vista and later, and how the
// service manager is to start it. No platform calls.
#pragma once

#include <string>

constexpr const char* kServiceAccount = "NT AUTHORITY\\LocalService";
constexpr const char* kServiceDescription =
    "Keeps the PC's clock right with the time of public DAYTIME servers.";

// "<programFiles>\Vorn": a folder of its own under the 32-bit Program Files
// folder.
std::string ProgramFolderIn(const std::string& programFiles);

// The command line the service manager runs: the program in double quotes
// (a blank in an unquoted path would let it run C:\Program.exe), then the
// service switch.
std::string ServiceCommand(const std::string& installedPath);

// Whether `exePath` lies straight in `programFolder` (letter case aside):
// only that folder is the program's own, for the removal script to remove
// once it is empty.
bool LiesInProgramFolder(const std::string& exePath, const std::string& programFolder);
