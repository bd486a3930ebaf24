#include "monitor/stop_event.h"

#include "monitor/well_known_sids.h"
#include "monitor/windows_version.h"
#include "platform/win_base.h"
#include "platform/win_event.h"
#include "platform/win_process.h"
#include "platform/win_security.h"
#include "platform/win_sessions.h"

namespace {

// S-1-1-0: Everyone, the World authority's one group.
const WellKnownSid kEveryone = {1, 1, {0, 0, 0, 0, 0, 1}, {0, 0}};

// A name the system does not take for a path it knows: NT 4.0's one
// namespace has no "Global" directory.
bool NameUnknownHere(DWORD error) {
  return error == ERROR_PATH_NOT_FOUND || error == ERROR_BAD_PATHNAME ||
         error == ERROR_INVALID_NAME;
}

// Runs `open` with each name this Windows may know the event by, the global
// one first on NT, until one gives a handle or an error other than an
// unknown name.
template <class Open>
HANDLE WithEachName(uint32_t version, Open open) {
  if (IsWindows9x(version)) return open(kStopEventPlainName);
  HANDLE event = open(kStopEventGlobalName);
  if (event || !NameUnknownHere(GetLastError())) return event;
  return open(kStopEventPlainName);
}

// Everyone may wait (SYNCHRONIZE), only SYSTEM and the Administrators set it
// (EVENT_MODIFY_STATE comes with EVENT_ALL_ACCESS): "Synchronization Object
// Security and Access Rights".
class StopEventAccess {
 public:
  bool Build() {
    PACL acl = reinterpret_cast<PACL>(acl_);
    PSID system = const_cast<WellKnownSid*>(&kLocalSystem);
    PSID administrators = const_cast<WellKnownSid*>(&kAdministrators);
    PSID everyone = const_cast<WellKnownSid*>(&kEveryone);
    if (!InitializeAcl(acl, sizeof acl_, ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, EVENT_ALL_ACCESS, system) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, EVENT_ALL_ACCESS, administrators) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, SYNCHRONIZE, everyone) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) {
      return false;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    return true;
  }
  LPSECURITY_ATTRIBUTES Attributes() { return &attributes_; }

 private:
  // Three entries, each a 4-byte header and a 4-byte mask before a SID of at
  // most two sub-authorities (16 bytes).
  DWORD acl_[(sizeof(ACL) + 3 * (8 + 16)) / sizeof(DWORD)] = {};
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
};

}  // namespace

HANDLE OpenStopEventToWait(uint32_t version) {
  StopEventAccess access;
  LPSECURITY_ATTRIBUTES attributes = nullptr;
  if (!IsWindows9x(version)) {
    // Without its list the event would let its maker's account set it.
    if (!access.Build()) return nullptr;
    attributes = access.Attributes();
  }
  return WithEachName(version, [&](const char* name) {
    HANDLE event = CreateEventA(attributes, TRUE, FALSE, name);
    // Made by another account's monitor: CreateEventA asks for all access,
    // which the list gives that account only as an administrator.
    if (!event && GetLastError() == ERROR_ACCESS_DENIED) {
      event = OpenEventA(SYNCHRONIZE, FALSE, name);
    }
    return event;
  });
}

HANDLE OpenStopEvent(uint32_t version, DWORD access) {
  return WithEachName(version, [&](const char* name) { return OpenEventA(access, FALSE, name); });
}
