#include "setup/private_access.h"

#include "monitor/errors.h"
#include "monitor/well_known_sids.h"
#include "monitor/windows_version.h"
#include "platform/win_base.h"
#include "platform/win_folder.h"
#include "platform/win_service.h"

namespace {

constexpr DWORD kReadAndRun = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
// "Modify": read, write, run and delete, but not change the list or owner.
constexpr DWORD kModify = kReadAndRun | FILE_GENERIC_WRITE | DELETE;

void Check(BOOL ok) {
  if (!ok) RaiseInOutError(GetLastError());
}

// Inherited entries need AddAccessAllowedAceEx (2000 and later); the
// removal script's list, made on NT 4.0 too, has none.
void Allow(PACL acl, const void* sid, DWORD access, bool inherited) {
  PSID s = const_cast<void*>(sid);
  Check(inherited ? AddAccessAllowedAceEx(acl, ACL_REVISION,
                                          OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, access, s)
                  : AddAccessAllowedAce(acl, ACL_REVISION, access, s));
}

}  // namespace

PrivateAccess::PrivateAccess(uint32_t version, AccessFor kind)
    : acl_(), descriptor_(), attributes_() {
  if (IsWindows9x(version)) return;

  const bool folder = kind != AccessFor::kScript;
  PACL acl = reinterpret_cast<PACL>(acl_);
  Check(InitializeAcl(acl, sizeof acl_, ACL_REVISION));
  Allow(acl, &kLocalSystem, FILE_ALL_ACCESS, folder);
  Allow(acl, &kAdministrators, FILE_ALL_ACCESS, folder);
  Check(InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION));
  if (kind == AccessFor::kLog) Allow(acl, &kLocalService, kModify, true);
  if (folder) {
    Allow(acl, &kUsers, kind == AccessFor::kLog ? FILE_GENERIC_READ : kReadAndRun, true);
    Check(SetSecurityDescriptorOwner(&descriptor_, const_cast<WellKnownSid*>(&kAdministrators),
                                     FALSE));
  }
  Check(SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE));
  if (MergesInheritedAccess(version)) {
    Check(SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED));
  }
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
}
