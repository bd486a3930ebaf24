// The uninstaller role.
#pragma once

void RunUninstaller();
