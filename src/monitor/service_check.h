// The clock check as the service runs it: the current server's DAYTIME line
// over a TCP connection of the check's own (fetch.h) under the watchdog,
// then the same trust rules, rotation and log lines as the check of the
// monitor with a window (clock_check.h). There is no connection-state test
// (WinINet's): on a machine that is offline the name lookup or the
// connection fails and the check ends in silence.
#pragma once

#include "platform/win_types.h"

// Runs one check. It ends as soon as `stop` is set, leaving the server
// where it is.
void ServiceClockCheck(HANDLE stop);
