// The monitor as the service "Vorn", on Windows Vista and later: the same
// checks every two minutes, the first soon after the start and one soon after
// the PC wakes, run by the service manager under an account that holds the
// right to change the system time.
#pragma once

#include "platform/win_service.h"

constexpr const char* kServiceName = "Vorn";

// The first check comes soon after the start, and one after the PC wakes
// once its network is likely back (a wireless one takes a few seconds).
constexpr DWORD kFirstCheckDelayMs = 5000;
constexpr DWORD kResumeCheckDelayMs = 10000;
// NIST asks for no more than one query to a server every 4 seconds, and a
// check may ask two servers in a row: checks never come closer than that.
constexpr DWORD kMinCheckGapMs = 4000;

// On Vista and later, hands this process to the service manager, and returns
// true once the service has stopped. False when the manager did not start it
// (the switch given by hand) or on an older Windows: the caller is then the
// monitor with a window.
//
// Only a command line with the service switch (entry.h) tries: Wine's
// dispatcher takes 10 s to find that no service manager started a process,
// which a monitor started from StartUp would otherwise wait at every log-on.
bool RunAsServiceIfStartedSo();

// What the service manager calls (on threads of its own).
void WINAPI ServiceMain(DWORD argc, LPSTR* argv);
DWORD WINAPI ServiceControl(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);

// Enables "Change the system time" in this process's token. False when the
// token does not hold it (SetSystemTime will then fail) or a call failed.
bool EnableSystemTimePrivilege();
