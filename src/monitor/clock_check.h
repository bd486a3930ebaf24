// The periodic clock check: connectivity, the fetch worker under its
// watchdog, server rotation, and handing the reply to the correction.
#pragma once

#include "platform/win_window.h"

// The identifier of the armed check timer (0 when none is armed).
extern UINT_PTR g_timerId;

// The timer callback: stops the timer, runs one check, arms the next.
void CALLBACK CheckTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

void ClockCheck();
