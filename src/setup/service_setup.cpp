#include "setup/service_setup.h"

#include "monitor/errors.h"
#include "monitor/service_entry.h"
#include "platform/win_base.h"
#include "platform/win_folder.h"
#include "platform/win_process.h"
#include "setup/install_text.h"
#include "setup/service_place.h"

namespace {

constexpr DWORD kPollMs = 250;
// A failing service is started again after a minute, each time; the count
// of failures starts anew after a day without one.
constexpr DWORD kRestartDelayMs = 60000;
constexpr DWORD kFailureResetS = 86400;

void Check(BOOL ok) {
  if (!ok) RaiseOSError(GetLastError());
}

}  // namespace

std::string ProgramFolder() { return VornFolderOf(CSIDL_PROGRAM_FILES); }

void ServiceHandle::Reset(SC_HANDLE handle) {
  if (handle_) CloseServiceHandle(handle_);
  handle_ = handle;
}

namespace {

bool QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS* status) {
  DWORD needed;
  return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(status),
                              sizeof *status, &needed) != FALSE;
}

// The running service's process, to wait for its end; null when it cannot
// be opened. The identifier of an ended process may name another soon: the
// handle is kept only if the service still names that process once it is
// open.
HANDLE OpenServiceProcess(SC_HANDLE service, DWORD processId) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  SERVICE_STATUS_PROCESS again;
  if (process && (!QueryStatus(service, &again) || again.dwProcessId != processId)) {
    CloseHandle(process);
    process = nullptr;
  }
  return process;
}

}  // namespace

DWORD StopService(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status;
  HANDLE process = nullptr;
  DWORD result = ERROR_SERVICE_REQUEST_TIMEOUT;
  for (DWORD waited = 0;; waited += kPollMs) {
    if (!QueryStatus(service, &status)) {
      result = GetLastError();
      break;
    }
    if (!process && status.dwProcessId != 0) {
      process = OpenServiceProcess(service, status.dwProcessId);
    }
    if (status.dwCurrentState == SERVICE_STOPPED) {
      result = ERROR_SUCCESS;
      break;
    }
    if (waited >= kServiceStopWaitMs) break;
    // One still starting accepts no stop yet (1061): asked again next round.
    SERVICE_STATUS reply;
    if (status.dwCurrentState == SERVICE_RUNNING &&
        !ControlService(service, SERVICE_CONTROL_STOP, &reply) &&
        GetLastError() != ERROR_SERVICE_CANNOT_ACCEPT_CTRL &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
      result = GetLastError();
      break;
    }
    Sleep(kPollMs);
  }
  // A service reports stopped before its process has ended, and the
  // program cannot be replaced or deleted until then.
  if (process) {
    if (result == ERROR_SUCCESS &&
        WaitForSingleObject(process, kServiceProcessEndWaitMs) == WAIT_TIMEOUT) {
      result = ERROR_SERVICE_REQUEST_TIMEOUT;
    }
    CloseHandle(process);
  }
  return result;
}

void ConfigureService(SC_HANDLE manager, ServiceHandle& service, const std::string& command) {
  // LocalService holds "Change the system time" and little else; it has no
  // password ("" as the CreateService page asks).
  if (service) {
    Check(ChangeServiceConfigA(service, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                               SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, "",
                               kServiceAccount, "", kDisplayName));
  } else {
    service.Reset(CreateServiceA(manager, kServiceName, kDisplayName, SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                 SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, "",
                                 kServiceAccount, ""));
    if (!service) RaiseOSError(GetLastError());
  }
  SERVICE_DESCRIPTIONA text = {const_cast<char*>(kServiceDescription)};
  SC_ACTION restart = {SC_ACTION_RESTART, kRestartDelayMs};
  SERVICE_FAILURE_ACTIONSA failure = {kFailureResetS, nullptr, nullptr, 1, &restart};
  // Only what the service needs: its token keeps no other privilege.
  char names[] = "SeSystemtimePrivilege\0SeChangeNotifyPrivilege\0";
  char* privileges = names;
  // Started a little after the others, out of the way of the system's start.
  BOOL delayed = TRUE;
  const struct {
    DWORD level;
    void* info;
    bool hardening;  // may be refused
  } settings[] = {
      {SERVICE_CONFIG_DESCRIPTION, &text, false},
      {SERVICE_CONFIG_FAILURE_ACTIONS, &failure, false},
      {SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &privileges, true},
      {SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed, true},
  };
  for (const auto& setting : settings) {
    if (!ChangeServiceConfig2A(service, setting.level, setting.info) && !setting.hardening) {
      RaiseOSError(GetLastError());
    }
  }
}

bool MarkedForDelete(SC_HANDLE service) {
  return !ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) &&
         GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
}

bool WaitUntilServiceGone(SC_HANDLE manager) {
  for (DWORD waited = 0;; waited += kPollMs) {
    ServiceHandle service(OpenServiceA(manager, kServiceName, SERVICE_QUERY_STATUS));
    if (!service) {
      if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return true;
      RaiseOSError(GetLastError());
    }
    if (waited >= kMarkedServiceWaitMs) return false;
    service.Reset(nullptr);
    Sleep(kPollMs);
  }
}

DWORD RemoveVornService() {
  ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return GetLastError();
  ServiceHandle service(
      OpenServiceA(manager, kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (!service) {
    return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? ERROR_SUCCESS : GetLastError();
  }
  if (const DWORD error = StopService(service)) return error;
  // Marked already (1072): it goes once its last handle is closed.
  if (!DeleteService(service) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
    return GetLastError();
  }
  return ERROR_SUCCESS;
}
