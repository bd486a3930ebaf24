#include "setup/private_access.h"

#include "monitor/errors.h"
#include "platform/win_base.h"
#include "platform/win_process.h"

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

class Token {
 public:
  Token() : handle_(nullptr) {}
  ~Token() {
    if (handle_) CloseHandle(handle_);
  }
  Token(const Token&) = delete;
  Token& operator=(const Token&) = delete;
  PHANDLE Receiver() { return &handle_; }
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_;
};

void Check(BOOL ok) {
  if (!ok) RaiseInOutError(GetLastError());
}

void Allow(PACL acl, const void* sid) {
  Check(AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, const_cast<void*>(sid)));
}

}  // namespace

PrivateAccess::PrivateAccess() : acl_(), descriptor_(), attributes_() {
  if (GetVersion() & 0x80000000u) return;

  // Room for the record and the longest SID, aligned for the record's pointer.
  void* user[(sizeof(TOKEN_USER) + kMaxSidSize) / sizeof(void*) + 1];
  {
    Token token;
    Check(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receiver()));
    DWORD size = 0;
    Check(GetTokenInformation(token.Handle(), TokenUser, user, sizeof user, &size));
  }
  PACL acl = reinterpret_cast<PACL>(acl_);
  Check(InitializeAcl(acl, sizeof acl_, ACL_REVISION));
  Allow(acl, reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
  Allow(acl, &kLocalSystem);
  Allow(acl, &kAdministrators);
  Check(InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION));
  Check(SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE));
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
}
