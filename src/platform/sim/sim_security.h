// The simulated Windows version, this process's token and access lists:
// what tests set up and inspect.
//
// After sim::Reset() the machine is a Windows XP (GetVersion: 5.1, build
// 2600) and the process runs as kUserSid with an elevated token. The
// security calls build real ACL and security descriptor records in the
// caller's memory, so a list too small for its entries fails as on Windows
// (ERROR_ALLOTTED_SPACE_EXCEEDED).
#pragma once

#include <string>
#include <vector>

#include "platform/win_security.h"

namespace sim {

// The account this process runs as, as GetTokenInformation(TokenUser) gives it.
constexpr const char* kUserSid = "S-1-5-21-1004336348-1177238915-682003330-1000";

// The Windows versions the simulation can play, oldest first.
enum class Windows { k98, kNt4, k2000, kXp, kVista, k7, k8, k10 };

// From now on GetVersion reports that version: 98 4.10 (high bit set), NT
// 4.0.1381, 2000 5.0.2195, XP 5.1.2600, Vista 6.0.6002, 7 6.1.7601, 8
// 6.2.9200, and 10 as a program whose manifest names it sees it, 10.0.19045
// (without one, 8.1 and 10 report 6.2: "GetVersionEx function"). The Windows
// folder becomes that version's default (C:\WINDOWS on 98 and XP, C:\WINNT
// on NT 4.0 and 2000, C:\Windows from Vista on) and is made, with its system
// folder (SYSTEM on 98, system32 on NT) and, on NT, cmd.exe in it. On 98 the
// security calls fail with ERROR_CALL_NOT_IMPLEMENTED, as 98's stubs do.
// Calls a version's DLLs do not export (SetSecurityDescriptorControl and
// GetSystemWindowsDirectoryA before 2000) fail with ERROR_PROC_NOT_FOUND,
// as the program's run-time lookup of them does.
void PlayWindows(Windows version);
void PlayWindows98();
Windows PlayedWindows();
void PlayWindows10();

// Whether GetVersion reports Windows 9x, or Vista or later (for the other
// simulated calls, without a journal entry).
bool PlaysWindows9x();
bool PlaysVistaOrLater();

// Whether the token is elevated, as GetTokenInformation(TokenElevation)
// says from Vista on (an information class older versions reject with
// ERROR_INVALID_PARAMETER).
void SetElevated(bool elevated);

// Well-known accounts and groups as SID text.
constexpr const char* kAdministratorsSid = "S-1-5-32-544";
constexpr const char* kLocalSystemSid = "S-1-5-18";
constexpr const char* kLocalServiceSid = "S-1-5-19";

// The account this process runs as (kUserSid after a reset); a service
// plays kLocalServiceSid or kLocalSystemSid. GetTokenInformation(TokenUser)
// reports it.
void SetProcessAccount(const std::string& sid);
const std::string& ProcessAccount();
// The owner the token gives what the process creates without naming one
// (the token's default owner): Administrators for kUserSid with an elevated
// token from Vista on ("User Account Control": the full token's owner is the
// group), the account itself otherwise.
std::string DefaultOwner();
// Whether the token may name `sid` as an object's owner without
// SeRestorePrivilege ("SetSecurityDescriptorOwner": its own account, or a
// group it holds as a possible owner: Administrators for the user, an
// administrator, and for LocalSystem). Any other owner fails with
// ERROR_INVALID_OWNER.
bool MayOwn(const std::string& sid);

// The binary SID record for SID text ("S-1-5-32-544"): revision 1, the
// sub-authority count, the 6-byte authority big-endian, the sub-authorities
// little-endian; empty when the text is not a SID.
std::vector<BYTE> SidBytes(const std::string& text);
// The text of a binary SID ("invalid SID" when it is not one).
std::string SidText(const void* sid);

// The access a handle from OpenProcessToken was opened with; 0 for any other
// handle.
DWORD TokenAccess(HANDLE token);

// Security attributes as CreateFileA's journal shows them: NULL, "default
// security" (no descriptor), "no dacl", "null dacl" (everyone may do
// anything), or "dacl=" and each entry as SID:mask, e.g.
// "dacl=S-1-5-18:001f01ff,S-1-5-32-544:001f01ff", preceded by "protected "
// when SE_DACL_PROTECTED is set; an entry that does not
// allow is marked with its type ("type1/flags0 S-1-1-0:..."). A descriptor
// never initialized, or a list that is not one, reads "invalid ...": such
// a CreateFileA fails with ERROR_INVALID_SECURITY_DESCR.
// A descriptor that names an owner shows it first ("owner=SID "), and one
// whose list inherits nothing from above says "protected " before "dacl=".
std::string SecurityText(const SECURITY_ATTRIBUTES* attributes);
// The same for a descriptor alone ("NULL" for none).
std::string DescriptorText(const SECURITY_DESCRIPTOR* descriptor);

}  // namespace sim
