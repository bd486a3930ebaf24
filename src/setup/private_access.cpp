#include "setup/private_access.h"

#include "monitor/errors.h"
#include "monitor/well_known_sids.h"
#include "monitor/windows_version.h"
#include "platform/win_base.h"

namespace {

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
