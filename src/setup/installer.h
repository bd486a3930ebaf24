// The installer role: on 98, ME, NT 4.0, 2000 and XP the monitor in the
// all-users StartUp folder; on Vista and later the service "Vorn", its
// program in a folder of its own under Program Files.
#pragma once

void RunInstaller();
