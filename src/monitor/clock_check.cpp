#include "monitor/clock_check.h"

#include "monitor/timing.h"

UINT_PTR g_timerId;

void CALLBACK CheckTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  if (g_timerId != 0) KillTimer(nullptr, g_timerId);
  ClockCheck();
  g_timerId = SetTimer(nullptr, 0, kCheckIntervalMs, CheckTimerProc);
}

void ClockCheck() {}
