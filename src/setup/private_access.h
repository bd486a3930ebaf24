// The access list of a file or folder that only SYSTEM and the
// Administrators may touch.
#pragma once

#include <cstdint>

#include "platform/win_security.h"

// On Windows NT: security attributes whose access list grants full access to
// SYSTEM and the Administrators, and to nobody else: not even the account
// that makes the object, whose processes without elevation (Vista and
// later) carry the same user. From Windows 2000 on the list is protected,
// so the parent's inheritable entries are not merged into it ("DACL for a
// New Object"); NT 4.0 merges nothing. A failing call raises an InOutError
// with its error: the object must then not be made at all. On Windows 9x,
// which has no access lists, there are none. `version` is GetVersion's.
//
// For a `program` folder (Vista and later only) the entries are inherited by
// what is made inside, Users may read and run its files, and the owner is
// the Administrators group, so that no account that made the folder first
// keeps the owner's right to change its list.
class PrivateAccess {
 public:
  explicit PrivateAccess(uint32_t version, bool program = false);
  PrivateAccess(const PrivateAccess&) = delete;
  PrivateAccess& operator=(const PrivateAccess&) = delete;

  // What CreateFileA and CreateDirectoryA take: null on Windows 9x.
  LPSECURITY_ATTRIBUTES Attributes() { return attributes_.nLength ? &attributes_ : nullptr; }
  SECURITY_DESCRIPTOR* Descriptor() { return &descriptor_; }

 private:
  // Three entries, each a 4-byte header and a 4-byte access mask before a SID
  // of at most two sub-authorities (16 bytes).
  static constexpr DWORD kAclSize = sizeof(ACL) + 3 * (8 + 16);

  DWORD acl_[kAclSize / sizeof(DWORD)];
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
};
