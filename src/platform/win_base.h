// kernel32: errors, handles, waiting, the process itself and its module, and
// the Windows it runs on.
#pragma once
#include "platform/win_types.h"

#ifndef _WIN32
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD code);
BOOL WINAPI CloseHandle(HANDLE handle);
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WINAPI GetTickCount();
void WINAPI Sleep(DWORD milliseconds);
[[noreturn]] void WINAPI ExitProcess(UINT exitCode);
LPSTR WINAPI GetCommandLineA();
HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName);
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
DWORD WINAPI GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size);
BOOL WINAPI CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists);
// The high bit is set on Windows 95, 98 and ME, clear on NT.
DWORD WINAPI GetVersion();

#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPSTR buffer, DWORD size, void* arguments);
#endif

// Where LoadLibrary looks for DLLs. kernel32 exports SetDllDirectoryA from
// XP SP1 on, SetDefaultDllDirectories from 8 on (Vista and 7 with update
// KB2533623: "SetDefaultDllDirectories function"), so on Windows
// platform/win/on_demand.cpp finds them at run time; where they are missing
// the call fails with ERROR_PROC_NOT_FOUND.
#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800u
#endif
#ifdef _WIN32
#define SetDllDirectoryA OnDemandSetDllDirectoryA
#define SetDefaultDllDirectories OnDemandSetDefaultDllDirectories
#endif
BOOL WINAPI SetDllDirectoryA(LPCSTR pathName);
BOOL WINAPI SetDefaultDllDirectories(DWORD directoryFlags);
