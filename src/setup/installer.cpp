#include "setup/installer.h"

void RunInstaller() {}
