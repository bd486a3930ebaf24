// shell32: starting a program the way the shell does.
#pragma once
#include "platform/win_types.h"

#ifdef _WIN32
#include <shellapi.h>
#else
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SEE_MASK_NOCLOSEPROCESS 0x00000040u
HINSTANCE WINAPI ShellExecuteA(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, int showCommand);

typedef struct _SHELLEXECUTEINFOA {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCSTR lpVerb;
  LPCSTR lpFile;
  LPCSTR lpParameters;
  LPCSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  void* lpIDList;
  LPCSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;
} SHELLEXECUTEINFOA, *LPSHELLEXECUTEINFOA;
#endif

// No listing proves that the shell32 of Windows 98 SE and NT 4.0 exports
// it, and the program needs it only on Vista and later, so on Windows
// platform/win/on_demand.cpp finds it at run time; where it is missing the
// call fails with ERROR_PROC_NOT_FOUND.
#ifdef _WIN32
#define ShellExecuteExA OnDemandShellExecuteExA
#endif
BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* info);
