#include "setup/service_setup.h"

#include "monitor/errors.h"
#include "monitor/service_entry.h"
#include "platform/win_base.h"
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

void ServiceHandle::Reset(SC_HANDLE handle) {
  if (handle_) CloseServiceHandle(handle_);
  handle_ = handle;
}

SC_HANDLE OpenServiceManager() {
  SC_HANDLE manager =
      OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
  if (!manager) RaiseOSError(GetLastError());
  return manager;
}

SC_HANDLE OpenVornService(SC_HANDLE manager) {
  SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
  if (!service && GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) RaiseOSError(GetLastError());
  return service;
}

void StopService(SC_HANDLE service) {
  SERVICE_STATUS status;
  for (DWORD waited = 0;; waited += kPollMs) {
    Check(QueryServiceStatus(service, &status));
    if (status.dwCurrentState == SERVICE_STOPPED) return;
    if (waited >= kServiceStopWaitMs) RaiseOSError(ERROR_SERVICE_REQUEST_TIMEOUT);
    // One still starting accepts no stop yet (1061): asked again next round.
    if (status.dwCurrentState == SERVICE_RUNNING &&
        !ControlService(service, SERVICE_CONTROL_STOP, &status) &&
        GetLastError() != ERROR_SERVICE_CANNOT_ACCEPT_CTRL &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
      RaiseOSError(GetLastError());
    }
    Sleep(kPollMs);
  }
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
  Check(ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &text));
  SC_ACTION restart = {SC_ACTION_RESTART, kRestartDelayMs};
  SERVICE_FAILURE_ACTIONSA failure = {kFailureResetS, nullptr, nullptr, 1, &restart};
  Check(ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure));
  // Only what the service needs: its token keeps no other privilege.
  char names[] = "SeSystemtimePrivilege\0SeChangeNotifyPrivilege\0";
  char* privileges = names;
  ChangeServiceConfig2A(service, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &privileges);
  // Started a little after the others, out of the way of the system's start.
  BOOL delayed = TRUE;
  ChangeServiceConfig2A(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed);
}

void StartVornService(SC_HANDLE service) {
  if (!StartServiceA(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
    RaiseOSError(GetLastError());
  }
}

void RemoveVornService() {
  ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) RaiseOSError(GetLastError());
  ServiceHandle service(
      OpenServiceA(manager, kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (!service) {
    if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return;
    RaiseOSError(GetLastError());
  }
  StopService(service);
  // Marked already (1072): it goes once its last handle is closed.
  if (!DeleteService(service) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
    RaiseOSError(GetLastError());
  }
}
