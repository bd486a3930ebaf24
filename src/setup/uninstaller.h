// The uninstaller role.
#pragma once

// Deletes the Add/Remove Programs entry, stops a running monitor, writes the
// removal script and starts it, suspended until this process is about to
// end, to delete the running executable. A failure to write the script is
// raised as an InOutError. When the script cannot name the executable in the
// OEM code page, or cannot be started, no script is left and the user is told
// that the program file stays.
void RunUninstaller();
