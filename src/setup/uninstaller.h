// The uninstaller role.
#pragma once

// Writes the removal script (a fresh file that, on NT, only this account,
// SYSTEM and the Administrators may change) and creates its process,
// suspended until this process is about to end; only then deletes the
// Add/Remove Programs entry and stops a running monitor. A failure to write
// the script is raised as an InOutError. When the script cannot name the
// executable in the OEM code page, or cannot be started, no script is left
// and the user is told that the program file stays. Either way nothing has
// been removed.
void RunUninstaller();
