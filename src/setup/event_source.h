// The event source "Vorn" of the Application log (Windows Vista and later):
// the key under which Event Viewer finds the text of the service's events,
// in the message table of the installed program.
#pragma once

#include <string>

#include "platform/win_types.h"

constexpr const char* kEventSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Vorn";

// Registers `program` as the message file of the source "Vorn", for error,
// warning and information events. Returns 0 or the registry's error code.
DWORD AddEventSource(const std::string& program);
// Removes the source's key; a missing key is fine.
void RemoveEventSource();
