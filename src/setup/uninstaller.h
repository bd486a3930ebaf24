// The uninstaller role.
#pragma once

// On Vista and later without elevation, hands the work to an elevated copy
// of itself first (see elevation.h). Then writes the removal script (on NT a
// fresh file in a fresh folder under the Windows folder, both of which only
// SYSTEM and the Administrators may change; on 9x c:\DelAll.bat) and creates
// its process, suspended until this process is about to end; only then
// stops (waiting at most kServiceStopWaitMs) and deletes the service "Vorn"
// on Vista and later, and deletes the Add/Remove Programs entry and stops the
// monitors of every session (stop_monitor.h). When one still runs, the
// program file (with the script and its folder) is set to be deleted at the
// next restart and the box says so; when that fails too, it says the file
// stays. Run from the service's program folder, the script
// removes that folder too. A service that cannot be stopped or deleted
// takes back the script and its process and is raised as an OSError. A
// failure to make the script is raised as an InOutError, with nothing of it
// left on NT. When the script cannot name the executable in the OEM code
// page, or cannot be started, no script is left and the user is told that
// the program file stays. Either way nothing has been removed.
void RunUninstaller();
