// kernel32 and user32: a named event every session's monitor opens, a
// message loop that also wakes on it, and deleting a file when Windows next
// starts. All are exported by Windows 95 and NT 3.1.
#pragma once
#include "platform/win_file.h"
#include "platform/win_window.h"

#ifndef _WIN32
#define EVENT_MODIFY_STATE 0x0002u
#define EVENT_ALL_ACCESS 0x001F0003u
#define ERROR_BAD_PATHNAME 161L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define QS_ALLINPUT 0x04FFu
#define PM_REMOVE 0x0001u
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004u

HANDLE WINAPI OpenEventA(DWORD access, BOOL inheritHandle, LPCSTR name);
// Windows 9x exports it as a stub that fails with ERROR_CALL_NOT_IMPLEMENTED.
BOOL WINAPI MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags);
DWORD WINAPI GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR fileName);
BOOL WINAPI WritePrivateProfileSectionA(LPCSTR section, LPCSTR text, LPCSTR fileName);

DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                       DWORD milliseconds, DWORD wakeMask);
BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax,
                         UINT removeFlags);
#endif
