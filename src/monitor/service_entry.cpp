#include "monitor/service_entry.h"

#include "monitor/event_log.h"
#include "monitor/log_folder.h"
#include "monitor/server_table.h"
#include "monitor/service_check.h"
#include "monitor/timing.h"
#include "monitor/windows_version.h"
#include "platform/win_base.h"
#include "platform/win_event.h"
#include "platform/win_privilege.h"
#include "platform/win_process.h"
#include "setup/process_token.h"

namespace {

// How long the service manager is to wait for the next report while the
// service starts or stops: a stop ends the check at once, a start reads the
// token and makes the log folder.
constexpr DWORD kPendingWaitHintMs = 5000;

SERVICE_STATUS_HANDLE g_statusHandle;
SERVICE_STATUS g_status;
// Set by the control handler; ends the wait between checks and a check's
// wait for its server.
HANDLE g_stopEvent;

// Reports `state`. Stopping and starting take check points; only a running
// service accepts a stop or the system's shutdown.
void Report(DWORD state, DWORD exitCode = ERROR_SUCCESS) {
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  g_status.dwWin32ExitCode = exitCode;
  g_status.dwServiceSpecificExitCode = 0;
  const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
  g_status.dwControlsAccepted =
      state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  g_status.dwCheckPoint = pending ? g_status.dwCheckPoint + 1 : 0;
  g_status.dwWaitHint = pending ? kPendingWaitHintMs : 0;
  SetServiceStatus(g_statusHandle, &g_status);
}

}  // namespace

// The account the service runs as (its token's user), or null.
const void* ReadAccount() {
  // A SID holds at most 15 sub-authorities: 8 + 15 * 4 bytes.
  static void* user[(sizeof(TOKEN_USER) + 68) / sizeof(void*) + 1];
  ProcessToken token;
  DWORD size = 0;
  if (!token.Open() || !GetTokenInformation(token.Handle(), TokenUser, user, sizeof user, &size)) {
    return nullptr;
  }
  return reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
}

bool EnableSystemTimePrivilege() {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return false;
  TOKEN_PRIVILEGES privileges;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  bool enabled =
      LookupPrivilegeValueA(nullptr, kSystemTimePrivilege, &privileges.Privileges[0].Luid) &&
      AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
      // It succeeds, saying so here, when the token lacks the privilege.
      GetLastError() == ERROR_SUCCESS;
  CloseHandle(token);
  return enabled;
}

void WINAPI ServiceControl(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      // Reported before the event is set, so that it cannot follow the
      // service's last report (stopped).
      Report(SERVICE_STOP_PENDING);
      SetEvent(g_stopEvent);
      break;
    case SERVICE_CONTROL_INTERROGATE:
      SetServiceStatus(g_statusHandle, &g_status);
      break;
    default:
      break;
  }
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  g_statusHandle = RegisterServiceCtrlHandlerA(kServiceName, ServiceControl);
  // Without a handle there is nobody to report to.
  if (!g_statusHandle) return;
  g_status = SERVICE_STATUS();
  Report(SERVICE_START_PENDING);

  g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!g_stopEvent) {
    Report(SERVICE_STOPPED, GetLastError());
    return;
  }
  // SetSystemTime enables the privilege for its call itself, where the
  // token holds it; enabling it here first says in the log, once, when the
  // service was registered without it.
  bool enabled = EnableSystemTimePrivilege();
  // The service's account may not write the Windows folder.
  g_eventLogFolder = ServiceLogFolder();
  g_eventLogAccount = ReadAccount();
  InitServerTable();
  Report(SERVICE_RUNNING);
  if (!enabled) LogEvent("AdjustTokenPrivileges Failed");

  // As the monitor with a window: 120 s from the end of one check to the
  // start of the next.
  while (WaitForSingleObject(g_stopEvent, kCheckIntervalMs) == WAIT_TIMEOUT) {
    ServiceClockCheck(g_stopEvent);
  }
  // A worker left behind in a name lookup ends with the process.
  Report(SERVICE_STOPPED);
}

bool RunAsServiceIfStartedSo() {
  if (!IsVistaOrLater(GetVersion())) return false;
  char name[] = "Vorn";
  const SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  // Fails with ERROR_FAILED_SERVICE_CONTROLLER_CONNECT when the service
  // manager did not start this process; any other failure leaves the
  // monitor with a window too, as on every older Windows.
  return StartServiceCtrlDispatcherA(table) != FALSE;
}
