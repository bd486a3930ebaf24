// wininet and rasapi32: connection state, the URL session and dial-up.
//
// On Windows neither DLL is a load-time import, so that the program starts
// where Dial-Up Networking was never installed or WinINet is missing (NT 4.0
// without Internet Explorer 4): platform/win/on_demand.cpp defines these
// calls and loads the DLL on first use. Where the DLL or the function is
// missing the call fails with the loader's error (ERROR_MOD_NOT_FOUND,
// ERROR_PROC_NOT_FOUND). The SDK headers declare them as imports, so they
// are declared here on both platforms.
#pragma once
#include "platform/win_types.h"

typedef void* HINTERNET;
typedef HANDLE HRASCONN;
// The program passes records of its own fixed layout (see clock_check.h);
// these pointer types only carry them.
typedef struct tagRASCONNA* LPRASCONNA;
typedef struct tagRASCONNSTATUSA* LPRASCONNSTATUSA;

#define INTERNET_OPEN_TYPE_DIRECT 1
#define INTERNET_FLAG_RELOAD 0x80000000u
#define RASCS_Connected 0x2000

BOOL WINAPI InternetGetConnectedState(LPDWORD flags, DWORD reserved);
HINTERNET WINAPI InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass,
                               DWORD flags);
HINTERNET WINAPI InternetOpenUrlA(HINTERNET session, LPCSTR url, LPCSTR headers,
                                  DWORD headersLength, DWORD flags, DWORD_PTR context);
BOOL WINAPI InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read);
BOOL WINAPI InternetCloseHandle(HINTERNET handle);
DWORD WINAPI RasEnumConnectionsA(LPRASCONNA connections, LPDWORD size, LPDWORD count);
DWORD WINAPI RasGetConnectStatusA(HRASCONN connection, LPRASCONNSTATUSA status);
