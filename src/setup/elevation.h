// Administrator rights for the installer and uninstaller under User Account
// Control (Windows Vista and later).
#pragma once

// On Vista and later, a process whose token is not elevated, while User
// Account Control is on, starts this program again with the same parameters
// through the shell's "runas" verb (the consent prompt), waits for that copy
// to end and returns true: the caller then ends without changing anything.
// When the user declines, one box with `caption` says that the role needs
// administrator rights, and the result is true as well. Any other failure
// of the new start is raised as an OSError. Elsewhere, and for an elevated
// token, nothing happens and the result is false.
bool HandedToElevatedCopy(const char* caption, const char* declinedText);

// The box's texts when the user declines the consent prompt.
constexpr const char* kInstallNeedsRightsText =
    "Installing Vorn requires administrator rights.\r\n\r\n"
    "Vorn has not been installed. To install it, run it again and allow it to make "
    "changes when Windows asks.";
constexpr const char* kUninstallNeedsRightsText =
    "Removing Vorn requires administrator rights.\r\n\r\n"
    "Vorn has not been removed. To remove it, uninstall it again and allow it to make "
    "changes when Windows asks.";
