// advapi32: reporting events to the Application log, under an event source
// whose message file (registered by the installer) gives their text.
//
// Windows 9x exports the calls as stubs that fail: only the service (Vista
// and later) reports events.
#pragma once
#include "platform/win_security.h"

#ifndef _WIN32
#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004

HANDLE WINAPI RegisterEventSourceA(LPCSTR server, LPCSTR source);
BOOL WINAPI ReportEventA(HANDLE log, WORD type, WORD category, DWORD eventId, PSID user,
                         WORD stringCount, DWORD dataSize, LPCSTR* strings, LPVOID data);
BOOL WINAPI DeregisterEventSource(HANDLE log);
#endif
