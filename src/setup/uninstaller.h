// The uninstaller role.
#pragma once

// Deletes the Add/Remove Programs entry, stops a running monitor, writes the
// removal script and starts it, suspended until this process is about to
// end, to delete the running executable. A failure to write the script is
// raised as an InOutError.
void RunUninstaller();
