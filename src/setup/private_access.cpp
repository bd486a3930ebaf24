#include "setup/private_access.h"

#include "monitor/errors.h"
#include "monitor/windows_version.h"
#include "platform/win_base.h"

namespace {

// Well-known SIDs in the system's own layout: revision 1, the number of
// sub-authorities, the NT authority (5), the sub-authorities. Static records
// spare a call to make each and another to free it.
struct WellKnownSid {
  BYTE revision;
  BYTE subAuthorityCount;
  BYTE authority[6];
  DWORD subAuthority[2];
};
const WellKnownSid kLocalSystem = {1, 1, {0, 0, 0, 0, 0, 5}, {18, 0}};       // S-1-5-18
const WellKnownSid kAdministrators = {1, 2, {0, 0, 0, 0, 0, 5}, {32, 544}};  // S-1-5-32-544

void Check(BOOL ok) {
  if (!ok) RaiseInOutError(GetLastError());
}

void Allow(PACL acl, const void* sid) {
  Check(AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, const_cast<void*>(sid)));
}

}  // namespace

PrivateAccess::PrivateAccess(uint32_t version) : acl_(), descriptor_(), attributes_() {
  if (IsWindows9x(version)) return;

  PACL acl = reinterpret_cast<PACL>(acl_);
  Check(InitializeAcl(acl, sizeof acl_, ACL_REVISION));
  Allow(acl, &kLocalSystem);
  Allow(acl, &kAdministrators);
  Check(InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION));
  Check(SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE));
  if (MergesInheritedAccess(version)) {
    Check(SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED));
  }
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
}
