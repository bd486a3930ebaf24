#include "setup/uninstaller.h"

void RunUninstaller() {}
