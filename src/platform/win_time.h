// kernel32: the UTC clock and local time.
#pragma once
#include "platform/win_types.h"

#ifndef _WIN32
void WINAPI GetSystemTime(LPSYSTEMTIME time);
BOOL WINAPI SetSystemTime(const SYSTEMTIME* time);
void WINAPI GetLocalTime(LPSYSTEMTIME time);
#endif
