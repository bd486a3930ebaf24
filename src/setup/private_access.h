// The access lists of what Vorn makes for itself among the system's files:
// only SYSTEM and the Administrators may change them.
#pragma once

#include <cstdint>

#include "platform/win_security.h"

// Whom the list is for.
enum class AccessFor {
  // The removal script and its folder: SYSTEM and the Administrators only
  // (NT 4.0 and later).
  kScript,
  // The program's folder (Vista and later): Users may also read and run.
  kProgram,
  // The service's log folder (Vista and later): LocalService may also
  // create, change and delete in it, Users read.
  kLog,
};

// On Windows NT: security attributes whose access list grants full access to
// SYSTEM and the Administrators and what `kind` adds, and nothing to anyone
// else: not even the account that makes the object, whose processes without
// elevation (Vista and later) carry the same user. From Windows 2000 on the
// list is protected, so the parent's inheritable entries are not merged into
// it ("DACL for a New Object"); NT 4.0 merges nothing. A failing call raises
// an InOutError with its error: the object must then not be made at all. On
// Windows 9x, which has no access lists, there are none. `version` is
// GetVersion's.
//
// For the two folders the entries are inherited by what is made inside, and
// the owner is the Administrators group, so that no account that made the
// folder first keeps the owner's right to change its list.
class PrivateAccess {
 public:
  explicit PrivateAccess(uint32_t version, AccessFor kind = AccessFor::kScript);
  PrivateAccess(const PrivateAccess&) = delete;
  PrivateAccess& operator=(const PrivateAccess&) = delete;

  // What CreateFileA and CreateDirectoryA take: null on Windows 9x.
  LPSECURITY_ATTRIBUTES Attributes() { return attributes_.nLength ? &attributes_ : nullptr; }
  SECURITY_DESCRIPTOR* Descriptor() { return &descriptor_; }

 private:
  // Four entries, each a 4-byte header and a 4-byte access mask before a SID
  // of at most two sub-authorities (16 bytes).
  static constexpr DWORD kAclSize = sizeof(ACL) + 4 * (8 + 16);

  DWORD acl_[kAclSize / sizeof(DWORD)];
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
};
