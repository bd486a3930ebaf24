#include "monitor/trusted_folder.h"

#include "monitor/well_known_sids.h"
#include "platform/win_file.h"
#include "platform/win_security.h"

bool IsAdministratorsFolder(const std::string& path, const void* account) {
  // GetFileAttributesA reports a reparse point's own attributes, never its
  // target's.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  // The owner alone: a descriptor of a few dozen bytes.
  DWORD descriptor[64];
  DWORD needed = 0;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  return GetFileSecurityA(path.c_str(), OWNER_SECURITY_INFORMATION, descriptor, sizeof descriptor,
                          &needed) &&
         GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) &&
         (SidIs(owner, kAdministrators) || SidIs(owner, kLocalSystem) || SameSid(owner, account));
}
