// Where the service's program goes on Windows Vista and later, and how the
// service manager is to start it. No platform calls.
#pragma once

#include <string>

#include "monitor/entry.h"
#include "monitor/log_folder.h"
#include "setup/install_text.h"

constexpr const char* kServiceAccount = "NT AUTHORITY\\LocalService";
constexpr const char* kServiceDescription = "Sets the PC's clock from public DAYTIME servers.";

// "<programFiles>\Vorn": a folder of its own under the 32-bit Program Files
// folder. The same rule names the service's log folder.
inline std::string ProgramFolderIn(const std::string& programFiles) {
  return ServiceLogFolderIn(programFiles);
}

// The command line the service manager runs: the program in `folder` in
// double quotes (a blank in an unquoted path would let it run
// C:\Program.exe), then the service switch.
inline std::string ServiceCommand(const std::string& folder) {
  return ProgramCommand(folder, kServiceSwitch);
}

// Whether `exePath` lies straight in `programFolder` (letter case aside):
// only that folder is the program's own, for the removal script to remove
// once it is empty.
bool LiesInProgramFolder(const std::string& exePath, const std::string& programFolder);
