// Simulated GetVersion, process tokens and the advapi32 access-list calls.
#include "platform/sim/sim_security.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/win_base.h"
#include "platform/win_folder.h"

namespace sim {
namespace {

// Not needed by the program, so not in the shared headers.
constexpr DWORD kErrorCallNotImplemented = 120;
constexpr DWORD kErrorUnknownRevision = 1305;
constexpr DWORD kErrorInvalidAcl = 1336;
constexpr DWORD kErrorInvalidSid = 1337;
constexpr DWORD kErrorAllottedSpaceExceeded = 1344;
constexpr DWORD kErrorInvalidSecurityDescr = 1338;
constexpr WORD kDaclPresent = 0x0004;
constexpr WORD kDaclDefaulted = 0x0008;
constexpr WORD kOwnerDefaulted = 0x0001;
constexpr WORD kSelfRelative = 0x8000;
// SE_DACL_AUTO_INHERIT_REQ ... SE_SACL_PROTECTED: the bits
// SetSecurityDescriptorControl lets a caller set.
constexpr WORD kSettableControl = 0x0100 | 0x0200 | 0x0400 | 0x0800 | 0x1000 | 0x2000;
constexpr BYTE kMaxSubAuthorities = 15;
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

struct State {
  Windows version = Windows::kXp;
  bool elevated = true;
  std::string account = kUserSid;
  bool windows98() const { return version == Windows::k98; }
};

struct VersionFacts {
  DWORD getVersion;
  const char* windowsFolder;
};

VersionFacts Facts(Windows version) {
  switch (version) {
    case Windows::k98:
      return {0xC0000A04, "C:\\WINDOWS"};  // 4.10
    case Windows::kNt4:
      return {0x05650004, "C:\\WINNT"};  // 4.0, build 1381
    case Windows::k2000:
      return {0x08930005, "C:\\WINNT"};  // 5.0, build 2195
    case Windows::kXp:
      return {0x0A280105, "C:\\WINDOWS"};  // 5.1, build 2600
    case Windows::kVista:
      return {0x176A0006, "C:\\Windows"};  // 6.0, build 6002
    case Windows::k7:
      return {0x1DB10106, "C:\\Windows"};  // 6.1, build 7601
    case Windows::k8:
      return {0x23F00206, "C:\\Windows"};  // 6.2, build 9200
    case Windows::k10:
      break;
  }
  // The program's manifest names Windows 10, so GetVersion tells it the truth.
  return {0x4A65000A, "C:\\Windows"};  // 10.0, build 19045
}

State& S() {
  static State state;
  return state;
}

ResetHook reset([] { S() = State(); });

struct Token : Object {
  DWORD access;
  explicit Token(DWORD a) : access(a) {}
  const char* Kind() const override { return "token"; }
};

// The SID's length in bytes, 0 when it is not a valid SID.
DWORD SidLength(const void* sid) {
  if (!sid) return 0;
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  if (bytes[0] != 1 || bytes[1] > kMaxSubAuthorities) return 0;
  return 8 + 4u * bytes[1];
}

}  // namespace

std::string SidText(const void* sid) {
  if (!SidLength(sid)) return "invalid SID";
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = authority << 8 | bytes[i];
  std::string text = Fmt("S-1-%llu", static_cast<unsigned long long>(authority));
  for (BYTE i = 0; i < bytes[1]; ++i) {
    DWORD value;
    memcpy(&value, bytes + 8 + 4 * i, sizeof value);
    text += Fmt("-%u", value);
  }
  return text;
}

std::vector<BYTE> SidBytes(const std::string& text) {
  if (text.rfind("S-1-", 0) != 0) return {};
  std::vector<unsigned long long> parts;
  size_t at = 4;
  while (at <= text.size()) {
    const size_t end = std::min(text.find('-', at), text.size());
    if (end == at) return {};
    unsigned long long value = 0;
    for (size_t i = at; i < end; ++i) {
      if (text[i] < '0' || text[i] > '9' || value > 0xFFFFFFFFFFFFull) return {};
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    parts.push_back(value);
    at = end + 1;
  }
  if (parts.empty() || parts.size() - 1 > kMaxSubAuthorities || parts[0] >> 48) return {};
  std::vector<BYTE> sid = {1, static_cast<BYTE>(parts.size() - 1)};
  for (int shift = 40; shift >= 0; shift -= 8) sid.push_back(static_cast<BYTE>(parts[0] >> shift));
  for (size_t i = 1; i < parts.size(); ++i) {
    if (parts[i] > 0xFFFFFFFFull) return {};
    const DWORD value = static_cast<DWORD>(parts[i]);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    sid.insert(sid.end(), bytes, bytes + sizeof value);
  }
  return sid;
}

namespace {

bool ValidAcl(const ACL* acl) {
  return acl && (acl->AclRevision == ACL_REVISION || acl->AclRevision == 4) &&
         acl->AclSize >= sizeof(ACL);
}

// The bytes the entries use, after the header.
size_t UsedBytes(const ACL* acl) {
  const BYTE* base = reinterpret_cast<const BYTE*>(acl);
  size_t offset = sizeof(ACL);
  for (WORD i = 0; i < acl->AceCount; ++i) {
    WORD aceSize;
    memcpy(&aceSize, base + offset + 2, sizeof aceSize);
    offset += aceSize;
  }
  return offset;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// What a security call on 98 does: nothing, but fail.
bool Stub() {
  if (!S().windows98()) return false;
  SetLastError(kErrorCallNotImplemented);
  return true;
}

}  // namespace

void PlayWindows(Windows version) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  S().version = version;
  SetWindowsDirectory(Facts(version).windowsFolder);
  AddDirectory(Facts(version).windowsFolder);
  AddSystemFolder();
}

void PlayWindows98() { PlayWindows(Windows::k98); }

Windows PlayedWindows() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return S().version;
}

void SetElevated(bool elevated) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  S().elevated = elevated;
}

void PlayWindows10() { PlayWindows(Windows::k10); }

void SetProcessAccount(const std::string& sid) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  S().account = sid;
}

const std::string& ProcessAccount() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return S().account;
}

std::string DefaultOwner() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (S().account == kUserSid && S().elevated && S().version >= Windows::kVista) {
    return kAdministratorsSid;
  }
  return S().account;
}

bool MayOwn(const std::string& sid) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (sid == S().account) return true;
  // The user is an administrator: the simulation plays no filtered token
  // that reaches this far (the program asks for elevation first), and a
  // token that is not elevated is User Account Control switched off.
  return sid == kAdministratorsSid && (S().account == kUserSid || S().account == kLocalSystemSid);
}

bool PlaysWindows9x() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return S().windows98();
}

bool PlaysVistaOrLater() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return S().version >= Windows::kVista;
}

DWORD TokenAccess(HANDLE token) {
  std::shared_ptr<Token> handle = Lookup<Token>(token);
  return handle ? handle->access : 0;
}

std::string SecurityText(const SECURITY_ATTRIBUTES* attributes) {
  if (!attributes) return "NULL";
  const auto* descriptor =
      static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor);
  if (!descriptor) return "default security";
  return DescriptorText(descriptor);
}

std::string DescriptorText(const SECURITY_DESCRIPTOR* descriptor) {
  if (!descriptor) return "NULL";
  if (descriptor->Revision != SECURITY_DESCRIPTOR_REVISION) return "invalid descriptor";
  std::string owner;
  if (descriptor->Owner) owner = "owner=" + SidText(descriptor->Owner) + " ";
  if (!(descriptor->Control & kDaclPresent)) return owner + "no dacl";
  if (descriptor->Control & SE_DACL_PROTECTED) owner += "protected ";
  const ACL* acl = descriptor->Dacl;
  if (!acl) return owner + "null dacl";
  if (!ValidAcl(acl)) return "invalid dacl";
  std::string text = owner + "dacl=";
  const BYTE* base = reinterpret_cast<const BYTE*>(acl);
  size_t offset = sizeof(ACL);
  for (WORD i = 0; i < acl->AceCount; ++i) {
    const BYTE* ace = base + offset;
    WORD aceSize;
    DWORD mask;
    memcpy(&aceSize, ace + 2, sizeof aceSize);
    memcpy(&mask, ace + 4, sizeof mask);
    if (i > 0) text += ',';
    if (ace[0] != 0 || ace[1] != 0) text += Fmt("type%u/flags%u ", ace[0], ace[1]);
    text += SidText(ace + 8) + Fmt(":%08x", mask);
    offset += aceSize;
  }
  return text;
}

}  // namespace sim

using sim::Enter;
using sim::Fmt;

DWORD WINAPI GetVersion() {
  Enter("GetVersion", "");
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  return sim::Facts(sim::S().version).getVersion;
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  if (Enter("OpenProcessToken", Fmt("%p, 0x%X", process, access))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::Stub()) return FALSE;
  if (process != sim::kCurrentProcess) return sim::Fail(ERROR_INVALID_HANDLE);
  *token = sim::NewHandle(std::make_shared<sim::Token>(access));
  return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass,
                                LPVOID information, DWORD size, LPDWORD returnedSize) {
  if (Enter("GetTokenInformation",
            Fmt("%p, %d, %u", token, static_cast<int>(informationClass), size))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::Stub()) return FALSE;
  std::shared_ptr<sim::Token> handle = sim::Lookup<sim::Token>(token);
  if (!handle) return sim::Fail(ERROR_INVALID_HANDLE);
  if (!(handle->access & TOKEN_QUERY)) return sim::Fail(ERROR_ACCESS_DENIED);
  if (informationClass == TokenElevation && sim::S().version >= sim::Windows::kVista) {
    *returnedSize = sizeof(TOKEN_ELEVATION);
    if (size < sizeof(TOKEN_ELEVATION)) return sim::Fail(ERROR_INSUFFICIENT_BUFFER);
    static_cast<TOKEN_ELEVATION*>(information)->TokenIsElevated = sim::S().elevated ? 1 : 0;
    return TRUE;
  }
  if (informationClass != TokenUser) return sim::Fail(ERROR_INVALID_PARAMETER);
  // The SID follows the record in the caller's buffer, as on Windows.
  const std::vector<BYTE> sid = sim::SidBytes(sim::S().account);
  const DWORD needed = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
  *returnedSize = needed;
  if (size < needed) return sim::Fail(ERROR_INSUFFICIENT_BUFFER);
  TOKEN_USER* user = static_cast<TOKEN_USER*>(information);
  BYTE* sidBytes = static_cast<BYTE*>(information) + sizeof(TOKEN_USER);
  memcpy(sidBytes, sid.data(), sid.size());
  user->User.Sid = sidBytes;
  user->User.Attributes = 0;
  return TRUE;
}

BOOL WINAPI InitializeAcl(PACL acl, DWORD size, DWORD revision) {
  if (Enter("InitializeAcl", Fmt("%u, %u", size, revision))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::Stub()) return FALSE;
  if (size < sizeof(ACL)) return sim::Fail(ERROR_INSUFFICIENT_BUFFER);
  if (size > 0xFFFC || (revision != ACL_REVISION && revision != 4)) {
    return sim::Fail(ERROR_INVALID_PARAMETER);
  }
  memset(acl, 0, sizeof(ACL));
  acl->AclRevision = static_cast<BYTE>(revision);
  acl->AclSize = static_cast<WORD>(size & ~3u);
  return TRUE;
}

namespace sim {
namespace {

// Appends an entry that allows `access`, with inheritance `flags`.
BOOL AddAllowed(PACL acl, DWORD revision, DWORD flags, DWORD access, PSID sid) {
  if (!ValidAcl(acl)) return Fail(kErrorInvalidAcl);
  if (revision != ACL_REVISION && revision != 4) return Fail(kErrorUnknownRevision);
  // OBJECT_INHERIT_ACE, CONTAINER_INHERIT_ACE, NO_PROPAGATE_INHERIT_ACE, INHERIT_ONLY_ACE.
  if (flags & ~0x0Fu) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD sidLength = SidLength(sid);
  if (!sidLength) return Fail(kErrorInvalidSid);
  const size_t used = UsedBytes(acl);
  const WORD aceSize = static_cast<WORD>(8 + sidLength);
  if (used + aceSize > acl->AclSize) return Fail(kErrorAllottedSpaceExceeded);
  BYTE* ace = reinterpret_cast<BYTE*>(acl) + used;
  ace[0] = 0;  // ACCESS_ALLOWED_ACE_TYPE
  ace[1] = static_cast<BYTE>(flags);
  memcpy(ace + 2, &aceSize, sizeof aceSize);
  memcpy(ace + 4, &access, sizeof access);
  memcpy(ace + 8, sid, sidLength);
  ++acl->AceCount;
  return TRUE;
}

}  // namespace
}  // namespace sim

BOOL WINAPI AddAccessAllowedAce(PACL acl, DWORD revision, DWORD access, PSID sid) {
  if (Enter("AddAccessAllowedAce",
            Fmt("%u, 0x%X, %s", revision, access, sim::SidText(sid).c_str()))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::Stub()) return FALSE;
  return sim::AddAllowed(acl, revision, 0, access, sid);
}

// Windows 2000 and later (Microsoft, "AddAccessAllowedAceEx function").
BOOL WINAPI AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD flags, DWORD access, PSID sid) {
  if (Enter("AddAccessAllowedAceEx",
            Fmt("%u, 0x%X, 0x%X, %s", revision, flags, access, sim::SidText(sid).c_str()))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::Stub()) return FALSE;
  return sim::AddAllowed(acl, revision, flags, access, sid);
}

BOOL WINAPI SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner,
                                       BOOL defaulted) {
  if (Enter("SetSecurityDescriptorOwner",
            Fmt("%s, %d", owner ? sim::SidText(owner).c_str() : "NULL", defaulted))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::Stub()) return FALSE;
  auto* record = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
  if (record->Revision != SECURITY_DESCRIPTOR_REVISION) {
    return sim::Fail(sim::kErrorInvalidSecurityDescr);
  }
  record->Owner = owner;
  return TRUE;
}

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
  if (Enter("InitializeSecurityDescriptor", Fmt("%u", revision))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::Stub()) return FALSE;
  if (revision != SECURITY_DESCRIPTOR_REVISION) return sim::Fail(sim::kErrorUnknownRevision);
  memset(descriptor, 0, sizeof(SECURITY_DESCRIPTOR));
  static_cast<SECURITY_DESCRIPTOR*>(descriptor)->Revision = SECURITY_DESCRIPTOR_REVISION;
  return TRUE;
}

BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL acl,
                                      BOOL defaulted) {
  if (Enter("SetSecurityDescriptorDacl",
            Fmt("%d, %s, %d", present, acl ? "acl" : "NULL", defaulted))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::Stub()) return FALSE;
  auto* record = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
  if (record->Revision != SECURITY_DESCRIPTOR_REVISION) {
    return sim::Fail(sim::kErrorInvalidSecurityDescr);
  }
  record->Control &= static_cast<WORD>(~(sim::kDaclPresent | sim::kDaclDefaulted));
  record->Dacl = nullptr;
  if (present) {
    record->Control |= sim::kDaclPresent;
    record->Dacl = acl;
    if (defaulted) record->Control |= sim::kDaclDefaulted;
  }
  return TRUE;
}

// As the SetSecurityDescriptorControl page describes it: only the settable
// bits of interest change; 98 and NT 4.0 lack the export.
BOOL WINAPI SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor,
                                         SECURITY_DESCRIPTOR_CONTROL bitsOfInterest,
                                         SECURITY_DESCRIPTOR_CONTROL bitsToSet) {
  if (Enter("SetSecurityDescriptorControl", Fmt("0x%X, 0x%X", bitsOfInterest, bitsToSet))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::S().version < sim::Windows::k2000) return sim::Fail(ERROR_PROC_NOT_FOUND);
  auto* record = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
  if (record->Revision != SECURITY_DESCRIPTOR_REVISION) {
    return sim::Fail(sim::kErrorUnknownRevision);
  }
  if ((bitsOfInterest | bitsToSet) & ~sim::kSettableControl) {
    return sim::Fail(ERROR_INVALID_PARAMETER);
  }
  record->Control =
      static_cast<WORD>((record->Control & ~bitsOfInterest) | (bitsToSet & bitsOfInterest));
  return TRUE;
}

// "GetSecurityDescriptorOwner function": the owner of an absolute descriptor
// or of a self-relative one (SE_SELF_RELATIVE: the parts are offsets from
// its start); NULL when it names none.
BOOL WINAPI GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID* owner,
                                       LPBOOL ownerDefaulted) {
  if (Enter("GetSecurityDescriptorOwner", "")) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::Stub()) return FALSE;
  if (!descriptor || !owner || !ownerDefaulted) return sim::Fail(ERROR_INVALID_PARAMETER);
  const BYTE* bytes = static_cast<const BYTE*>(descriptor);
  if (bytes[0] != SECURITY_DESCRIPTOR_REVISION) return sim::Fail(sim::kErrorUnknownRevision);
  WORD control;
  memcpy(&control, bytes + 2, sizeof control);
  if (control & sim::kSelfRelative) {
    DWORD offset;
    memcpy(&offset, bytes + 4, sizeof offset);
    *owner = offset ? const_cast<BYTE*>(bytes + offset) : nullptr;
  } else {
    *owner = static_cast<const SECURITY_DESCRIPTOR*>(descriptor)->Owner;
  }
  *ownerDefaulted = (control & sim::kOwnerDefaulted) ? TRUE : FALSE;
  return TRUE;
}
