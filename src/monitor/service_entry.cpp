#include "monitor/service_entry.h"

#include "monitor/event_log.h"
#include "monitor/event_report.h"
#include "monitor/log_folder.h"
#include "monitor/server_table.h"
#include "monitor/service_check.h"
#include "monitor/timing.h"
#include "monitor/windows_version.h"
#include "platform/win_base.h"
#include "platform/win_event.h"
#include "platform/win_lock.h"
#include "platform/win_privilege.h"
#include "platform/win_process.h"
#include "setup/process_token.h"

namespace {

// How long the service manager is to wait for the next report while the
// service starts or stops: a stop ends the check at once, a start reads the
// token and makes the log folder.
constexpr DWORD kPendingWaitHintMs = 5000;
// Reports come from the service's thread and from the handler's: one at a
// time, and none once the service has said it stopped (the process may be
// ended right after that report: Microsoft, "SetServiceStatus function").
CRITICAL_SECTION g_reportLock;
bool g_stoppedReported;
SERVICE_STATUS_HANDLE g_statusHandle;
SERVICE_STATUS g_status;
// Set by the control handler; the stop ends the wait between checks and a
// check's wait for its server, the resume brings the next check forward.
HANDLE g_stopEvent;
HANDLE g_resumeEvent;

// Reports `state`. Stopping and starting take check points; only a running
// service accepts a stop, the system's shutdown or its power events.
void Report(DWORD state, DWORD exitCode = ERROR_SUCCESS) {
  EnterCriticalSection(&g_reportLock);
  if (!g_stoppedReported) {
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwWin32ExitCode = exitCode;
    g_status.dwServiceSpecificExitCode = 0;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    g_status.dwControlsAccepted =
        state == SERVICE_RUNNING
            ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT
            : 0;
    g_status.dwCheckPoint = pending ? g_status.dwCheckPoint + 1 : 0;
    g_status.dwWaitHint = pending ? kPendingWaitHintMs : 0;
    g_stoppedReported = state == SERVICE_STOPPED;
    SetServiceStatus(g_statusHandle, &g_status);
  }
  LeaveCriticalSection(&g_reportLock);
}

// Whether tick `a` comes before tick `b` (the count wraps after 49 days).
bool Before(DWORD a, DWORD b) { return static_cast<LONG>(a - b) < 0; }

// Checks until told to stop: the first kFirstCheckDelayMs after the start,
// then kCheckIntervalMs from the end of one to the start of the next, as the
// monitor with a window does; a resume brings the next one forward to
// kResumeCheckDelayMs after it, never closer than kMinCheckGapMs to the end
// of the last. False when a wait failed.
bool CheckUntilStopped() {
  const HANDLE events[] = {g_stopEvent, g_resumeEvent};
  DWORD due = GetTickCount() + kFirstCheckDelayMs;
  bool checked = false;
  DWORD lastEnd = 0;
  for (;;) {
    const DWORD now = GetTickCount();
    const DWORD left = Before(now, due) ? due - now : 0;
    const DWORD waited = WaitForMultipleObjects(2, events, FALSE, left);
    if (waited == WAIT_OBJECT_0) return true;
    if (waited == WAIT_OBJECT_0 + 1) {
      DWORD soon = GetTickCount() + kResumeCheckDelayMs;
      if (checked && Before(soon, lastEnd + kMinCheckGapMs)) soon = lastEnd + kMinCheckGapMs;
      // A later resume never puts off a check an earlier one brought forward.
      if (Before(soon, due)) due = soon;
      continue;
    }
    if (waited != WAIT_TIMEOUT) return false;
    ServiceClockCheck(g_stopEvent);
    checked = true;
    lastEnd = GetTickCount();
    due = lastEnd + kCheckIntervalMs;
  }
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

DWORD WINAPI ServiceControl(DWORD control, DWORD eventType, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      // Reported before the event is set, so that it cannot follow the
      // service's last report (stopped).
      Report(SERVICE_STOP_PENDING);
      SetEvent(g_stopEvent);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      // The service manager keeps the last status reported ("HandlerEx
      // callback function"); nothing to report here, from this thread.
      return NO_ERROR;
    case SERVICE_CONTROL_POWEREVENT:
      if (eventType == PBT_APMRESUMEAUTOMATIC) SetEvent(g_resumeEvent);
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  // Before the handler can be called. Never deleted: the handler may run
  // until the process ends.
  InitializeCriticalSection(&g_reportLock);
  g_stoppedReported = false;
  g_status = SERVICE_STATUS();
  // The Ex form (Windows 2000 and later; the service runs on Vista and
  // later only) is the one that is told of power events.
  g_statusHandle = RegisterServiceCtrlHandlerExA(kServiceName, ServiceControl, nullptr);
  // Without a handle there is nobody to report to.
  if (!g_statusHandle) return;
  Report(SERVICE_START_PENDING);

  // The resume event resets itself once a wait has taken it.
  g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_resumeEvent = g_stopEvent ? CreateEventA(nullptr, FALSE, FALSE, nullptr) : nullptr;
  if (!g_resumeEvent) {
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
  g_logRefusedSet = true;
  // Its lines go to Event Viewer too; refused, they go to the log alone.
  OpenEventSource();
  InitServerTable();
  Report(SERVICE_RUNNING);
  if (!enabled) LogEvent("AdjustTokenPrivileges Failed");

  const bool stopped = CheckUntilStopped();
  const DWORD error = stopped ? ERROR_SUCCESS : GetLastError();
  CloseEventSource();
  // A worker left behind in a name lookup ends with the process.
  Report(SERVICE_STOPPED, error);
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
