// kernel32: critical sections, a lock the threads of one process share. A
// thread that holds one may enter it again; it is free once left as often.
#pragma once
#include "platform/win_types.h"

#ifndef _WIN32
typedef struct _CRITICAL_SECTION {
  void* state;  // unused: the simulated Windows keeps its record by address
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);
#endif
