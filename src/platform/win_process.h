// kernel32: threads, other processes and priorities.
#pragma once
#include "platform/win_file.h"

#ifndef _WIN32
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);

#define SYNCHRONIZE 0x00100000u
#define PROCESS_QUERY_INFORMATION 0x0400u
#define STILL_ACTIVE 259u
#define CREATE_SUSPENDED 0x00000004u
#define IDLE_PRIORITY_CLASS 0x00000040u
#define HIGH_PRIORITY_CLASS 0x00000080u
#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define STARTF_USESHOWWINDOW 0x00000001u

// The 32-bit layout: 68 bytes, as the Windows program passes it.
typedef struct _STARTUPINFOA {
  DWORD cb;
  uint32_t lpReserved;
  uint32_t lpDesktop;
  uint32_t lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  uint32_t lpReserved2;
  uint32_t hStdInput;
  uint32_t hStdOutput;
  uint32_t hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct _PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES security, size_t stackSize,
                           LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                           LPDWORD threadId);
BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
DWORD WINAPI ResumeThread(HANDLE thread);
BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode);
BOOL WINAPI SetThreadPriority(HANDLE thread, int priority);
HANDLE WINAPI GetCurrentThread();
HANDLE WINAPI GetCurrentProcess();
BOOL WINAPI SetPriorityClass(HANDLE process, DWORD priorityClass);
HANDLE WINAPI OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);
BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                           LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                           DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                           LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION processInformation);
#endif
