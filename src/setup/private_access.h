// The access list of a file that no other user of the machine may change.
#pragma once

#include "platform/win_security.h"

// On Windows NT: security attributes whose access list grants full access to
// the account this process runs as, SYSTEM and the Administrators, and to
// nobody else. Given to CreateFileA, the list replaces the one the folder
// would pass on (on NT 4.0 and 2000 the root of the system drive lets
// Everyone change files). A failing call raises an InOutError with its error:
// the file must then not be made at all. On Windows 9x, which has no access
// lists, there are none.
class PrivateAccess {
 public:
  PrivateAccess();
  PrivateAccess(const PrivateAccess&) = delete;
  PrivateAccess& operator=(const PrivateAccess&) = delete;

  // What CreateFileA takes: null on Windows 9x.
  LPSECURITY_ATTRIBUTES Attributes() { return attributes_.nLength ? &attributes_ : nullptr; }

 private:
  // A SID holds at most 15 sub-authorities: 8 + 15 * 4 bytes. Each entry of
  // the list is a 4-byte header and the 4-byte access mask before its SID.
  static constexpr DWORD kMaxSidSize = 68;
  static constexpr DWORD kAclSize = sizeof(ACL) + 3 * (8 + kMaxSidSize);

  DWORD acl_[kAclSize / sizeof(DWORD)];
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
};
