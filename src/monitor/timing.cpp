// Built into each executable with its own VORN_CHECK_INTERVAL_MS and
// VORN_WATCHDOG_MS; the shipped Vorn.exe uses 120000 and 10000.
#include "monitor/timing.h"

const UINT kCheckIntervalMs = VORN_CHECK_INTERVAL_MS;
const DWORD kWatchdogMs = VORN_WATCHDOG_MS;
