// Simulated service dispatcher, control handler and status reports
// (Microsoft, "StartServiceCtrlDispatcherA function": fails with
// ERROR_FAILED_SERVICE_CONTROLLER_CONNECT when the program runs as a console
// program rather than as a service, and returns once every service of the
// process has stopped; "RegisterServiceCtrlHandlerA function": called by
// the service's ServiceMain, else ERROR_SERVICE_DOES_NOT_EXIST; the name is
// not checked for a service of its own process; the Ex form's handler is
// given the event type, its data and the context the registration named;
// "SetServiceStatus
// function": ERROR_INVALID_HANDLE for a handle the registration did not give,
// ERROR_INVALID_DATA for a state that is not one; "ControlService function":
// a control the service does not accept in its state is not passed on).
#include "platform/sim/sim_service.h"

#include "platform/sim/sim.h"
#include "platform/sim/sim_security.h"
#include "platform/win_base.h"

namespace sim {
namespace {

constexpr DWORD kErrorCallNotImplemented = 120;
constexpr DWORD kErrorInvalidData = 13;
const SERVICE_STATUS_HANDLE kStatusHandle =
    reinterpret_cast<SERVICE_STATUS_HANDLE>(static_cast<uintptr_t>(0x5E0001));

struct ServiceProcess {
  bool started = false;
  std::string name;
  bool dispatching = false;
  LPHANDLER_FUNCTION handler = nullptr;
  LPHANDLER_FUNCTION_EX handlerEx = nullptr;
  LPVOID context = nullptr;
  std::vector<StatusReport> reports;
  std::vector<std::pair<DWORD, uint64_t>> passed;
  std::vector<DWORD> results;
  std::vector<std::pair<DWORD, DWORD>> whenReported;  // state, control
};

ServiceProcess& SP() {
  static ServiceProcess state;
  return state;
}

ResetHook reset([] { SP() = ServiceProcess(); });

bool Accepts(DWORD control) {
  if (control == SERVICE_CONTROL_INTERROGATE) return true;
  if (SP().reports.empty()) return false;
  const StatusReport& last = SP().reports.back();
  if (last.state == SERVICE_STOPPED) return false;
  if (control == SERVICE_CONTROL_STOP) return (last.controlsAccepted & SERVICE_ACCEPT_STOP) != 0;
  if (control == SERVICE_CONTROL_SHUTDOWN) {
    return (last.controlsAccepted & SERVICE_ACCEPT_SHUTDOWN) != 0;
  }
  if (control == SERVICE_CONTROL_POWEREVENT) {
    return (last.controlsAccepted & SERVICE_ACCEPT_POWEREVENT) != 0;
  }
  return false;
}

bool Registered() { return SP().handler || SP().handlerEx; }

// Calls the handler, without Lock() held, and records what it returned.
void Pass(DWORD control, DWORD eventType) {
  LPHANDLER_FUNCTION handler;
  LPHANDLER_FUNCTION_EX handlerEx;
  LPVOID context;
  {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    handler = SP().handler;
    handlerEx = SP().handlerEx;
    context = SP().context;
    SP().passed.push_back({control, NowMs()});
  }
  DWORD result = NO_ERROR;
  if (handlerEx) {
    result = handlerEx(control, eventType, nullptr, context);
  } else {
    handler(control);
  }
  std::lock_guard<std::recursive_mutex> guard(Lock());
  SP().results.push_back(result);
}

}  // namespace

void StartedAsService(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  SP().started = true;
  SP().name = name;
}

void SendControlAt(uint64_t atMs, DWORD control, DWORD eventType) {
  At(atMs, [control, eventType] {
    {
      std::lock_guard<std::recursive_mutex> guard(Lock());
      if (!Registered() || !Accepts(control)) return;
    }
    Pass(control, eventType);
  });
}

void SendControlWhenReported(DWORD state, DWORD control) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  SP().whenReported.push_back({state, control});
}

std::vector<DWORD> HandlerResults() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return SP().results;
}

std::vector<StatusReport> StatusReports() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return SP().reports;
}

std::vector<std::pair<DWORD, uint64_t>> PassedControls() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return SP().passed;
}

}  // namespace sim

using sim::Enter;
using sim::Fmt;
using sim::SP;

BOOL WINAPI StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table) {
  if (Enter("StartServiceCtrlDispatcherA",
            table && table[0].lpServiceName ? sim::Str(table[0].lpServiceName) : "NULL")) {
    return FALSE;
  }
  std::string name;
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    if (sim::PlaysWindows9x()) {
      SetLastError(sim::kErrorCallNotImplemented);
      return FALSE;
    }
    if (!table || !table[0].lpServiceName || !table[0].lpServiceProc) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (!SP().started || SP().dispatching) {
      SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
      return FALSE;
    }
    SP().dispatching = true;
    name = SP().name;
  }
  // The service manager passes the service's name as the only argument.
  LPSTR argv[] = {&name[0], nullptr};
  table[0].lpServiceProc(1, argv);
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  SP().dispatching = false;
  if (SP().reports.empty() || SP().reports.back().state != SERVICE_STOPPED) {
    // On Windows the dispatcher would go on waiting for the service to stop.
    throw sim::Stalled{"ServiceMain returned before the service reported SERVICE_STOPPED"};
  }
  return TRUE;
}

SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerExA(LPCSTR serviceName,
                                                           LPHANDLER_FUNCTION_EX handler,
                                                           LPVOID context) {
  if (Enter("RegisterServiceCtrlHandlerExA", sim::Str(serviceName))) return nullptr;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (!SP().dispatching || !serviceName) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  if (!handler) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SP().handlerEx = handler;
  SP().context = context;
  return sim::kStatusHandle;
}

BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE status, LPSERVICE_STATUS s) {
  if (Enter("SetServiceStatus",
            s ? Fmt("state %u, accepts 0x%X, exit %u, check point %u, wait hint %u",
                    s->dwCurrentState, s->dwControlsAccepted, s->dwWin32ExitCode, s->dwCheckPoint,
                    s->dwWaitHint)
              : std::string("NULL"))) {
    return FALSE;
  }
  std::vector<DWORD> late;
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    if (status != sim::kStatusHandle || !sim::Registered()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (!s || s->dwCurrentState < SERVICE_STOPPED || s->dwCurrentState > 7 ||
        s->dwServiceType != SERVICE_WIN32_OWN_PROCESS) {
      SetLastError(sim::kErrorInvalidData);
      return FALSE;
    }
    SP().reports.push_back({s->dwCurrentState, s->dwControlsAccepted, s->dwWin32ExitCode,
                            s->dwCheckPoint, s->dwWaitHint, sim::NowMs()});
    auto& pending = SP().whenReported;
    for (auto it = pending.begin(); it != pending.end();) {
      if (it->first == s->dwCurrentState) {
        late.push_back(it->second);
        it = pending.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (DWORD control : late) sim::Pass(control, 0);
  return TRUE;
}
