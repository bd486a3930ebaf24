// The monitor's two timing constants, fixed at build time.
#pragma once

#include "platform/win_types.h"

// From the end of one clock check to the start of the next.
extern const UINT kCheckIntervalMs;
// How long a check waits for the server to open.
extern const DWORD kWatchdogMs;
