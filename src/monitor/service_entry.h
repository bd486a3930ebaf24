// The monitor as the service "Vorn", on Windows Vista and later: the same
// checks every two minutes, run by the service manager under an account that
// holds the right to change the system time.
#pragma once

#include "platform/win_service.h"

constexpr const char* kServiceName = "Vorn";

// On Vista and later, hands this process to the service manager when the
// manager started it as the service, and returns true once the service has
// stopped. False everywhere else (started by hand, from StartUp, by a test,
// or on an older Windows): the caller is then the monitor with a window.
bool RunAsServiceIfStartedSo();

// What the service manager calls (on threads of its own).
void WINAPI ServiceMain(DWORD argc, LPSTR* argv);
void WINAPI ServiceControl(DWORD control);

// Enables "Change the system time" in this process's token. False when the
// token does not hold it (SetSystemTime will then fail) or a call failed.
bool EnableSystemTimePrivilege();
