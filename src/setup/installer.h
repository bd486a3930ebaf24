// The installer role.
#pragma once

void RunInstaller();
