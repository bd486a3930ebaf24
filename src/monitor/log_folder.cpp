#include "monitor/log_folder.h"

#include "monitor/event_log.h"
#include "monitor/well_known_sids.h"
#include "platform/win_base.h"
#include "platform/win_folder.h"
#include "platform/win_process.h"
#include "setup/process_token.h"

namespace {

constexpr char kFolderName[] = "Vorn";

constexpr DWORD kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
constexpr DWORD kRead = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;

// The owner and access list above, for the folder and the log alike.
class FolderAccess {
 public:
  FolderAccess() : user_(), acl_(), descriptor_(), attributes_() {}
  FolderAccess(const FolderAccess&) = delete;
  FolderAccess& operator=(const FolderAccess&) = delete;

  bool Build() {
    {
      ProcessToken token;
      DWORD size = 0;
      if (!token.Open() ||
          !GetTokenInformation(token.Handle(), TokenUser, user_, sizeof user_, &size)) {
        return false;
      }
    }
    PSID self = reinterpret_cast<TOKEN_USER*>(user_)->User.Sid;
    const struct {
      PSID sid;
      DWORD access;
    } entries[] = {
        {self, FILE_ALL_ACCESS},
        {const_cast<WellKnownSid*>(&kLocalSystem), FILE_ALL_ACCESS},
        {const_cast<WellKnownSid*>(&kAdministrators), FILE_ALL_ACCESS},
        {const_cast<WellKnownSid*>(&kUsers), kRead},
    };
    PACL acl = reinterpret_cast<PACL>(acl_);
    if (!InitializeAcl(acl, sizeof acl_, ACL_REVISION)) return false;
    for (const auto& entry : entries) {
      if (!AddAccessAllowedAceEx(acl, ACL_REVISION, kInherited, entry.access, entry.sid)) {
        return false;
      }
    }
    return InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorOwner(&descriptor_, self, FALSE) &&
           SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
           // Nothing of C:\ProgramData's list (Users may create files) is merged in.
           SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  }

  LPSECURITY_ATTRIBUTES Attributes() {
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    return &attributes_;
  }

  // Makes `path` this list's: owner and list both, so that its former owner
  // keeps no right to it.
  bool TakeOver(const char* path) {
    return SetFileSecurityA(path, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &descriptor_) != FALSE;
  }

 private:
  // A SID holds at most 15 sub-authorities: 8 + 15 * 4 bytes. Each entry of
  // the list is a 4-byte header and the 4-byte access mask before its SID.
  static constexpr DWORD kMaxSidSize = 68;
  static constexpr DWORD kAclSize = sizeof(ACL) + 4 * (8 + kMaxSidSize);

  // Room for the record and the longest SID, aligned for the record's pointer.
  void* user_[(sizeof(TOKEN_USER) + kMaxSidSize) / sizeof(void*) + 1];
  DWORD acl_[kAclSize / sizeof(DWORD)];
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
};

}  // namespace

std::string ServiceLogFolderIn(const std::string& commonAppData) {
  std::string folder = commonAppData;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder + kFolderName;
}

std::string PrepareServiceLogFolder() {
  char base[MAX_PATH];
  if (SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK) {
    return std::string();
  }
  const std::string folder = ServiceLogFolderIn(base);
  FolderAccess access;
  if (!access.Build()) return std::string();
  if (CreateDirectoryA(folder.c_str(), access.Attributes())) return folder;
  if (GetLastError() != ERROR_ALREADY_EXISTS || !access.TakeOver(folder.c_str())) {
    return std::string();
  }
  // Made by the service at an earlier start, or by someone else before it:
  // a log planted there must be the service's too, or go.
  const std::string log = folder + "\\" + kEventLogName;
  if (access.TakeOver(log.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return folder;
  if (DeleteFileA(log.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return folder;
  return std::string();
}
