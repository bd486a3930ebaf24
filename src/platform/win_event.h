// kernel32: event objects, which one thread sets and another waits for, and
// waiting for the first of several objects.
#pragma once
#include "platform/win_file.h"

#ifndef _WIN32
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                           LPCSTR name);
BOOL WINAPI SetEvent(HANDLE event);
DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                    DWORD milliseconds);
#endif
