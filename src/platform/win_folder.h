// shell32 and advapi32 calls of Windows 2000 and later for a folder of the
// program's own among the system's: where the all-users application data
// folder is, and an access list that the folder's files inherit and that
// inherits nothing from above.
//
// On Windows they are loaded on demand (platform/win/on_demand.cpp): where
// the DLL lacks them (98, NT 4.0) they fail with ERROR_PROC_NOT_FOUND, which
// SHGetFolderPathA returns as an HRESULT. The SDK declares them as load-time
// imports, so the program's own loaders take their names.
#pragma once
#include "platform/win_security.h"

#ifdef _WIN32
#define SHGetFolderPathA VornSHGetFolderPathA
#define AddAccessAllowedAceEx VornAddAccessAllowedAceEx
#else
typedef LONG HRESULT;
#define S_OK 0
#endif

#ifndef CSIDL_COMMON_APPDATA
#define CSIDL_COMMON_APPDATA 0x0023
#endif
// To a 32-bit program on 64-bit Windows: the 32-bit one, "Program Files (x86)".
#ifndef CSIDL_PROGRAM_FILES
#define CSIDL_PROGRAM_FILES 0x0026
#endif
#ifndef SHGFP_TYPE_CURRENT
#define SHGFP_TYPE_CURRENT 0
#endif

HRESULT WINAPI SHGetFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path);
BOOL WINAPI AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD flags, DWORD access, PSID sid);
// SetSecurityDescriptorControl: see win_security.h.
