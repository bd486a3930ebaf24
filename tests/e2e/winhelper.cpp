// winhelper: pokes at the windows of a program under test from inside the
// same Wine prefix. Each subcommand prints its result on stdout and exits 0,
// or 1 on timeout / not found (2 on bad usage).
//
//   find-window TITLE [timeout_ms]      prints the owning process id
//   post-quit TITLE [timeout_ms]        posts WM_QUIT to the window
//   post TITLE MSG [WPARAM [LPARAM]]    posts any message (numbers: 10 or 0x10)
//   send TITLE MSG [WPARAM [LPARAM]]    SendMessageTimeout (5 s); prints the result
//   wait-gone TITLE timeout_ms          waits until no such window exists
//   msgbox CAPTION timeout_ms [BUTTON] [--hex]
//                                       waits for a visible message box, prints its
//                                       text as raw bytes (or hex), then presses
//                                       BUTTON: press|ok|cancel|yes|no|abort|retry|
//                                       ignore or a control id
//   count-windows TITLE                 prints how many windows have that title
//   proc-stats PID                      prints "handles=N ws=N" (ws in bytes)
//   gui-stats PID                       prints "gdi=N user=N"
//   hold-file PATH RELEASE timeout_ms   opens PATH as a reader that lets nobody
//                                       delete it, prints "held", and keeps it
//                                       open until the file RELEASE exists
//   access-list PATH                    prints "user SID" (this helper's account),
//                                       then a line "allow|deny|typeN SID MASK"
//                                       for each entry of PATH's access list
//   service-config NAME                 prints the service's configuration as the
//                                       service manager keeps it (QueryServiceConfigA)
//                                       and its state, a "key=value" line each;
//                                       1 when there is no such service
//   owner PATH                          prints the owner SID GetFileSecurityA reads
//   make-folder PATH admins|plain       CreateDirectoryA with a descriptor naming
//                                       owner Administrators and a protected list
//                                       (Administrators, SYSTEM), or with none
//   set-owner PATH                      SetFileSecurityA of that same owner and list
//   file-info PATH                      prints "attributes=0x... links=N"
//   message-box CAPTION [TEXT [TYPE]]   shows a message box (TEXT with \r and \n
//                                       for CR and LF, TYPE the MB_ flags) and
//                                       returns when it is answered (what makes
//                                       user32 load uxtheme)
//
// Windows are looked up among top-level and message-only windows alike, so a
// hidden or HWND_MESSAGE window of the program is found too.
//
// Build: i686-w64-mingw32-g++-posix -static -Os -s winhelper.cpp -o winhelper.exe -luser32 -lpsapi
// windows.h must come before psapi.h and sddl.h.
// clang-format off
#include <windows.h>
#include <psapi.h>
#include <sddl.h>
// clang-format on
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

const DWORD kPollMs = 20;

int usage() {
  fputs(
      "usage: winhelper find-window|post-quit|post|send|wait-gone|msgbox|"
      "count-windows|proc-stats|gui-stats|hold-file|access-list|service-config|owner|"
      "make-folder|set-owner|file-info|message-box ...\n",
      stderr);
  return 2;
}

bool parse_num(const char* s, unsigned long* out) {
  char* end = nullptr;
  *out = strtoul(s, &end, 0);
  return end && end != s && *end == '\0';
}

HWND find_any(const char* cls, const char* title) {
  HWND w = FindWindowA(cls, title);
  if (!w) w = FindWindowExA(HWND_MESSAGE, nullptr, cls, title);
  return w;
}

// Polls until pred(window) holds or the time is up; timeout 0 means one look.
template <class Pred>
HWND wait_for(const char* cls, const char* title, DWORD timeout_ms, Pred pred) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND w = find_any(cls, title);
    if (w && pred(w)) return w;
    if (GetTickCount() - start >= timeout_ms) return nullptr;
    Sleep(kPollMs);
  }
}

HWND wait_window(const char* title, DWORD timeout_ms) {
  return wait_for(nullptr, title, timeout_ms, [](HWND) { return true; });
}

struct CountCtx {
  const char* title;
  int count;
};

BOOL CALLBACK count_proc(HWND w, LPARAM lp) {
  CountCtx* ctx = reinterpret_cast<CountCtx*>(lp);
  char buf[1024];
  int n = GetWindowTextA(w, buf, sizeof buf);
  if (n >= 0 && strcmp(buf, ctx->title) == 0) ++ctx->count;
  return TRUE;
}

int cmd_find_window(int argc, char** argv) {
  if (argc < 1) return usage();
  unsigned long timeout = 0;
  if (argc >= 2 && !parse_num(argv[1], &timeout)) return usage();
  HWND w = wait_window(argv[0], timeout);
  if (!w) return 1;
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  printf("%lu\n", static_cast<unsigned long>(pid));
  return 0;
}

int cmd_post(int argc, char** argv, bool quit, bool send) {
  unsigned long msg = WM_QUIT, wp = 0, lp = 0, timeout = 0;
  if (argc < 1) return usage();
  if (quit) {
    if (argc >= 2 && !parse_num(argv[1], &timeout)) return usage();
  } else {
    if (argc < 2 || !parse_num(argv[1], &msg)) return usage();
    if (argc >= 3 && !parse_num(argv[2], &wp)) return usage();
    if (argc >= 4 && !parse_num(argv[3], &lp)) return usage();
  }
  HWND w = wait_window(argv[0], timeout);
  if (!w) return 1;
  if (send) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(w, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &result)) return 1;
    printf("%lu\n", static_cast<unsigned long>(result));
    return 0;
  }
  return PostMessageA(w, msg, wp, lp) ? 0 : 1;
}

int cmd_wait_gone(int argc, char** argv) {
  unsigned long timeout;
  if (argc < 2 || !parse_num(argv[1], &timeout)) return usage();
  DWORD start = GetTickCount();
  while (find_any(nullptr, argv[0])) {
    if (GetTickCount() - start >= timeout) return 1;
    Sleep(kPollMs);
  }
  return 0;
}

bool button_id(const char* s, unsigned long* id) {
  static const struct {
    const char* name;
    unsigned long id;
  } names[] = {
      {"press", IDOK}, {"ok", IDOK},       {"cancel", IDCANCEL}, {"yes", IDYES},
      {"no", IDNO},    {"abort", IDABORT}, {"retry", IDRETRY},   {"ignore", IDIGNORE},
  };
  for (const auto& n : names)
    if (_stricmp(s, n.name) == 0) {
      *id = n.id;
      return true;
    }
  return parse_num(s, id);
}

int cmd_msgbox(int argc, char** argv) {
  bool hex = false;
  const char* pos[3] = {nullptr, nullptr, nullptr};
  int npos = 0;
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--hex") == 0)
      hex = true;
    else if (npos < 3)
      pos[npos++] = argv[i];
    else
      return usage();
  }
  unsigned long timeout, button = 0;
  if (npos < 2 || !parse_num(pos[1], &timeout)) return usage();
  if (npos == 3 && !button_id(pos[2], &button)) return usage();

  HWND box = wait_for("#32770", pos[0], timeout, [](HWND w) { return IsWindowVisible(w) != 0; });
  if (!box) return 1;
  HWND text = GetDlgItem(box, 0xFFFF);
  int len = text ? GetWindowTextLengthA(text) : 0;
  std::string buf(static_cast<size_t>(len) + 1, '\0');
  int got = GetDlgItemTextA(box, 0xFFFF, &buf[0], len + 1);
  buf.resize(got > 0 ? static_cast<size_t>(got) : 0);
  if (hex) {
    for (unsigned char c : buf) printf("%02x", c);
    printf("\n");
  } else {
    fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);  // keep CR LF as they are
    fwrite(buf.data(), 1, buf.size(), stdout);
  }
  fflush(stdout);
  if (npos == 3) SendMessageA(box, WM_COMMAND, button, 0);
  return 0;
}

int cmd_count_windows(int argc, char** argv) {
  if (argc < 1) return usage();
  CountCtx ctx = {argv[0], 0};
  EnumWindows(count_proc, reinterpret_cast<LPARAM>(&ctx));
  for (HWND w = nullptr; (w = FindWindowExA(HWND_MESSAGE, w, nullptr, argv[0])) != nullptr;)
    ++ctx.count;
  printf("%d\n", ctx.count);
  return 0;
}

HANDLE open_pid(int argc, char** argv, DWORD access) {
  unsigned long pid;
  if (argc < 1 || !parse_num(argv[0], &pid)) return nullptr;
  return OpenProcess(access, FALSE, pid);
}

int cmd_proc_stats(int argc, char** argv) {
  if (argc < 1) return usage();
  HANDLE h = open_pid(argc, argv, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
  if (!h) return 1;
  DWORD handles = 0;
  PROCESS_MEMORY_COUNTERS pmc;
  memset(&pmc, 0, sizeof pmc);
  pmc.cb = sizeof pmc;
  BOOL ok = GetProcessHandleCount(h, &handles) && GetProcessMemoryInfo(h, &pmc, sizeof pmc);
  CloseHandle(h);
  if (!ok) return 1;
  printf("handles=%lu ws=%lu\n", static_cast<unsigned long>(handles),
         static_cast<unsigned long>(pmc.WorkingSetSize));
  return 0;
}

int cmd_gui_stats(int argc, char** argv) {
  if (argc < 1) return usage();
  HANDLE h = open_pid(argc, argv, PROCESS_QUERY_INFORMATION);
  if (!h) return 1;
  DWORD gdi = GetGuiResources(h, GR_GDIOBJECTS);
  DWORD user = GetGuiResources(h, GR_USEROBJECTS);
  CloseHandle(h);
  printf("gdi=%lu user=%lu\n", static_cast<unsigned long>(gdi), static_cast<unsigned long>(user));
  return 0;
}

int cmd_hold_file(int argc, char** argv) {
  unsigned long timeout;
  if (argc < 3 || !parse_num(argv[2], &timeout)) return usage();
  // No FILE_SHARE_DELETE: a `del` of the file fails while it is held.
  HANDLE file = CreateFileA(argv[0], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  printf("held\n");
  fflush(stdout);
  DWORD start = GetTickCount();
  while (GetFileAttributesA(argv[1]) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start >= timeout) break;
    Sleep(kPollMs);
  }
  CloseHandle(file);
  return GetFileAttributesA(argv[1]) == INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

bool print_sid(const char* label, PSID sid, const char* tail) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return false;
  printf("%s%s%s\n", label, text, tail);
  LocalFree(text);
  return true;
}

int cmd_access_list(int argc, char** argv) {
  if (argc < 1) return usage();
  HANDLE token = nullptr;
  char user[256];
  DWORD size = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return 1;
  BOOL ok = GetTokenInformation(token, TokenUser, user, sizeof user, &size);
  CloseHandle(token);
  if (!ok || !print_sid("user ", reinterpret_cast<TOKEN_USER*>(user)->User.Sid, "")) return 1;

  GetFileSecurityA(argv[0], DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  std::string descriptor(size, '\0');
  if (!GetFileSecurityA(argv[0], DACL_SECURITY_INFORMATION, &descriptor[0], size, &size)) return 1;
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  if (!GetSecurityDescriptorDacl(&descriptor[0], &present, &acl, &defaulted)) return 1;
  if (!present || !acl) {
    printf("no list: everyone may do anything\n");
    return 0;
  }
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    ACE_HEADER* ace = nullptr;
    if (!GetAce(acl, i, reinterpret_cast<void**>(&ace))) return 1;
    // Allowed and denied entries share the layout: header, mask, SID.
    ACCESS_ALLOWED_ACE* entry = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
    char label[16];
    if (ace->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      strcpy(label, "allow ");
    } else if (ace->AceType == ACCESS_DENIED_ACE_TYPE) {
      strcpy(label, "deny ");
    } else {
      snprintf(label, sizeof label, "type%u ", ace->AceType);
    }
    char mask[16];
    snprintf(mask, sizeof mask, " %08lx", static_cast<unsigned long>(entry->Mask));
    if (!print_sid(label, &entry->SidStart, mask)) return 1;
  }
  return 0;
}

int cmd_service_config(int argc, char** argv) {
  if (argc != 1) return usage();
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return 1;
  SC_HANDLE service = OpenServiceA(manager, argv[0], SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
  if (!service) {
    printf("error=%lu\n", static_cast<unsigned long>(GetLastError()));
    CloseServiceHandle(manager);
    return 1;
  }
  DWORD size = 0;
  QueryServiceConfigA(service, nullptr, 0, &size);
  std::string buffer(size, '\0');
  QUERY_SERVICE_CONFIGA* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(&buffer[0]);
  SERVICE_STATUS status = {};
  const bool ok =
      QueryServiceConfigA(service, config, size, &size) && QueryServiceStatus(service, &status);
  if (ok) {
    printf("type=%lu\nstart=%lu\nerror_control=%lu\npath=%s\naccount=%s\ndisplay=%s\nstate=%lu\n",
           static_cast<unsigned long>(config->dwServiceType),
           static_cast<unsigned long>(config->dwStartType),
           static_cast<unsigned long>(config->dwErrorControl), config->lpBinaryPathName,
           config->lpServiceStartName ? config->lpServiceStartName : "",
           config->lpDisplayName ? config->lpDisplayName : "",
           static_cast<unsigned long>(status.dwCurrentState));
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return ok ? 0 : 1;
}

int cmd_owner(int argc, char** argv) {
  if (argc != 1) return usage();
  DWORD size = 0;
  GetFileSecurityA(argv[0], OWNER_SECURITY_INFORMATION, nullptr, 0, &size);
  if (size == 0) return 1;
  std::string descriptor(size, '\0');
  if (!GetFileSecurityA(argv[0], OWNER_SECURITY_INFORMATION, &descriptor[0], size, &size)) return 1;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(&descriptor[0], &owner, &defaulted) || !owner) return 1;
  return print_sid("", owner, "") ? 0 : 1;
}

// Owner Administrators, a protected list granting Administrators and SYSTEM
// full access: the descriptor an elevated installer gives its own folders.
struct AdminsDescriptor {
  SECURITY_DESCRIPTOR sd;
  char admins[SECURITY_MAX_SID_SIZE];
  char system[SECURITY_MAX_SID_SIZE];
  char acl[512];
  bool ok = false;
  AdminsDescriptor() {
    DWORD n = sizeof admins, m = sizeof system;
    PACL list = reinterpret_cast<PACL>(acl);
    ok = CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &n) &&
         CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &m) &&
         InitializeAcl(list, sizeof acl, ACL_REVISION) &&
         AddAccessAllowedAce(list, ACL_REVISION, GENERIC_ALL, admins) &&
         AddAccessAllowedAce(list, ACL_REVISION, GENERIC_ALL, system) &&
         InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorOwner(&sd, admins, FALSE) &&
         SetSecurityDescriptorDacl(&sd, TRUE, list, FALSE) &&
         SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  }
};

int cmd_make_folder(int argc, char** argv) {
  if (argc != 2) return usage();
  AdminsDescriptor d;
  if (!d.ok) return 1;
  SECURITY_ATTRIBUTES sa = {sizeof sa, &d.sd, FALSE};
  const bool admins = strcmp(argv[1], "admins") == 0;
  if (!admins && strcmp(argv[1], "plain") != 0) return usage();
  if (CreateDirectoryA(argv[0], admins ? &sa : nullptr)) return 0;
  printf("error=%lu\n", static_cast<unsigned long>(GetLastError()));
  return 1;
}

int cmd_set_owner(int argc, char** argv) {
  if (argc != 1) return usage();
  AdminsDescriptor d;
  if (!d.ok) return 1;
  if (SetFileSecurityA(argv[0], OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &d.sd))
    return 0;
  printf("error=%lu\n", static_cast<unsigned long>(GetLastError()));
  return 1;
}

int cmd_file_info(int argc, char** argv) {
  if (argc != 1) return usage();
  DWORD attributes = GetFileAttributesA(argv[0]);
  if (attributes == INVALID_FILE_ATTRIBUTES) return 1;
  // Backup semantics open folders too.
  HANDLE h = CreateFileA(argv[0], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION info = {};
  const bool ok = h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  if (!ok) return 1;
  printf("attributes=0x%lx links=%lu\n", static_cast<unsigned long>(attributes),
         static_cast<unsigned long>(info.nNumberOfLinks));
  return 0;
}

int cmd_message_box(int argc, char** argv) {
  if (argc < 1 || argc > 3) return usage();
  std::string text = argc > 1 ? argv[1] : "winhelper";
  for (size_t at = 0; (at = text.find('\\', at)) != std::string::npos && at + 1 < text.size();) {
    const char c = text[at + 1];
    if (c == 'r' || c == 'n') text.replace(at, 2, 1, c == 'r' ? '\r' : '\n');
    ++at;
  }
  unsigned long type = MB_OK;
  if (argc > 2 && !parse_num(argv[2], &type)) return usage();
  return MessageBoxA(nullptr, text.c_str(), argv[0], static_cast<UINT>(type)) == IDOK ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const char* cmd = argv[1];
  int n = argc - 2;
  char** a = argv + 2;
  if (!strcmp(cmd, "find-window")) return cmd_find_window(n, a);
  if (!strcmp(cmd, "post-quit")) return cmd_post(n, a, true, false);
  if (!strcmp(cmd, "post")) return cmd_post(n, a, false, false);
  if (!strcmp(cmd, "send")) return cmd_post(n, a, false, true);
  if (!strcmp(cmd, "wait-gone")) return cmd_wait_gone(n, a);
  if (!strcmp(cmd, "msgbox")) return cmd_msgbox(n, a);
  if (!strcmp(cmd, "count-windows")) return cmd_count_windows(n, a);
  if (!strcmp(cmd, "proc-stats")) return cmd_proc_stats(n, a);
  if (!strcmp(cmd, "gui-stats")) return cmd_gui_stats(n, a);
  if (!strcmp(cmd, "hold-file")) return cmd_hold_file(n, a);
  if (!strcmp(cmd, "access-list")) return cmd_access_list(n, a);
  if (!strcmp(cmd, "service-config")) return cmd_service_config(n, a);
  if (!strcmp(cmd, "owner")) return cmd_owner(n, a);
  if (!strcmp(cmd, "make-folder")) return cmd_make_folder(n, a);
  if (!strcmp(cmd, "set-owner")) return cmd_set_owner(n, a);
  if (!strcmp(cmd, "file-info")) return cmd_file_info(n, a);
  if (!strcmp(cmd, "message-box")) return cmd_message_box(n, a);
  return usage();
}
