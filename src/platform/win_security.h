// advapi32: the account a process runs as, and access lists for the files it
// creates. Windows 9x exports these calls as stubs that fail with
// ERROR_CALL_NOT_IMPLEMENTED: call them only where GetVersion says NT.
#pragma once
#include "platform/win_file.h"

#ifndef _WIN32
typedef void* PSID;
typedef BOOL* LPBOOL;
typedef void* PSECURITY_DESCRIPTOR;
typedef HANDLE* PHANDLE;

typedef struct _ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
} ACL, *PACL;

// The absolute form, with pointers to its parts.
typedef struct _SECURITY_DESCRIPTOR {
  BYTE Revision;
  BYTE Sbz1;
  WORD Control;
  PSID Owner;
  PSID Group;
  PACL Sacl;
  PACL Dacl;
} SECURITY_DESCRIPTOR;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES;

typedef struct _SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
} SID_AND_ATTRIBUTES;

typedef struct _TOKEN_USER {
  SID_AND_ATTRIBUTES User;
} TOKEN_USER;

// TokenElevation exists from Windows Vista on.
typedef enum _TOKEN_INFORMATION_CLASS {
  TokenUser = 1,
  TokenElevation = 20
} TOKEN_INFORMATION_CLASS;

typedef struct _TOKEN_ELEVATION {
  DWORD TokenIsElevated;
} TOKEN_ELEVATION;

typedef WORD SECURITY_DESCRIPTOR_CONTROL;
#define SE_DACL_PROTECTED 0x1000u

typedef DWORD SECURITY_INFORMATION;
typedef WORD SECURITY_DESCRIPTOR_CONTROL;

#define TOKEN_QUERY 0x0008u
#define OWNER_SECURITY_INFORMATION 0x00000001u
#define DACL_SECURITY_INFORMATION 0x00000004u
#define SE_DACL_PROTECTED 0x1000u
#define OBJECT_INHERIT_ACE 0x01u
#define CONTAINER_INHERIT_ACE 0x02u
#define FILE_GENERIC_READ 0x00120089u
#define FILE_GENERIC_EXECUTE 0x001200A0u
#define FILE_GENERIC_WRITE 0x00120116u
#define ACL_REVISION 2
#define SECURITY_DESCRIPTOR_REVISION 1
#define FILE_ALL_ACCESS 0x001F01FFu

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass,
                                LPVOID information, DWORD size, LPDWORD returnedSize);
BOOL WINAPI InitializeAcl(PACL acl, DWORD size, DWORD revision);
BOOL WINAPI AddAccessAllowedAce(PACL acl, DWORD revision, DWORD access, PSID sid);
BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL acl,
                                      BOOL defaulted);
BOOL WINAPI SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner, BOOL defaulted);
BOOL WINAPI SetFileSecurityA(LPCSTR fileName, SECURITY_INFORMATION information,
                             PSECURITY_DESCRIPTOR descriptor);
// The descriptor comes back self-relative: its parts follow it in the buffer.
BOOL WINAPI GetFileSecurityA(LPCSTR fileName, SECURITY_INFORMATION requested,
                             PSECURITY_DESCRIPTOR descriptor, DWORD size, LPDWORD needed);
BOOL WINAPI GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID* owner,
                                       LPBOOL ownerDefaulted);
#endif

// advapi32 exports it from Windows 2000 on, not on 9x or NT 4.0 (which has
// no automatic inheritance to be protected from), so on Windows
// platform/win/on_demand.cpp finds it at run time; where it is missing the
// call fails with ERROR_PROC_NOT_FOUND.
#ifdef _WIN32
#define SetSecurityDescriptorControl OnDemandSetSecurityDescriptorControl
#endif
BOOL WINAPI SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor,
                                         SECURITY_DESCRIPTOR_CONTROL bitsOfInterest,
                                         SECURITY_DESCRIPTOR_CONTROL bitsToSet);
