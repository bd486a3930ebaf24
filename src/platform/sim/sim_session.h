// Simulated sessions (Fast User Switching, Terminal Services) and the named
// events they share.
//
// This process runs in one session (0 after a reset: XP's console session).
// A window is seen only from its own session: each session has its own
// window station and desktops ("Window Stations", "Kernel Object
// Namespaces"), so FindWindowA finds the other processes' windows of its
// session alone. A foreign process belongs to the session this process plays
// when the test adds it.
//
// Named events follow "Kernel Object Namespaces" and the CreateEvent and
// OpenEvent pages: from Windows 2000 on a plain name or "Local\" lies in the
// session's own namespace (session 0's is the global one), "Global\" in the
// global namespace, and any other backslash is a path that is not found; 98
// and NT 4.0 have one namespace, where a name with a backslash fails
// (ERROR_PATH_NOT_FOUND on NT 4.0, ERROR_INVALID_NAME on 98: believed, not
// stated). A name exists while some handle, or a foreign process holding
// it, keeps the event. On NT every open is checked against the event's list
// ("Synchronization Object Security and Access Rights"; "How DACLs Control
// Access to an Object"): the token holds its account, Everyone, and
// Administrators when the account is an administrator (sim::MayOwn); no list
// given means the default one, its maker's account and SYSTEM with all
// access. CreateEventA of an existing name asks for EVENT_ALL_ACCESS. A
// handle can wait only with SYNCHRONIZE and set only with
// EVENT_MODIFY_STATE. Not simulated: the owner's implicit right to change
// the list, deny entries, restricted tokens.
#pragma once

#include <string>

#include "platform/sim/sim.h"
#include "platform/win_types.h"

namespace sim {

void SetSession(DWORD session);
DWORD Session();

// Another session's process that made or opened the event: the object behind
// `handle` (made by this process while playing that session and account)
// passes to the foreign process `processId`, which holds it until it ends.
// Setting such an event tells that process to end, as WM_QUIT would.
void HandOver(HANDLE handle, DWORD processId);

// Whether a named event of that full name ("Global\\VornStop",
// "Session\\2\\VornStop", "VornStop" on 98 and NT 4.0) exists, and its list
// ("default", "null dacl", or SID:mask entries) .
bool NamedEventExists(const std::string& fullName);
std::string NamedEventAccess(const std::string& fullName);

// For sim_event: ends the foreign processes whose time has come, letting go
// of what they hold.
void SettleProcesses();
// For sim_window: the foreign processes holding `event` are told to end.
void TellHolders(const Object* event);
// The event object behind a handle's object (itself when not a view).
const Object* EventBehind(const Object* object);

}  // namespace sim
