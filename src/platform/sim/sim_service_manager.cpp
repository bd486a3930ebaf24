// Simulated service manager database, after Microsoft's reference pages:
// "OpenSCManagerA function" (ERROR_ACCESS_DENIED for rights the token lacks),
// "CreateServiceA function" (ERROR_SERVICE_EXISTS, ERROR_DUPLICATE_SERVICE_NAME
// for a display name in use, ERROR_SERVICE_MARKED_FOR_DELETE,
// ERROR_ACCESS_DENIED without SC_MANAGER_CREATE_SERVICE), "OpenServiceA
// function" (ERROR_SERVICE_DOES_NOT_EXIST), "ChangeServiceConfig2A function",
// "StartServiceA function" (ERROR_SERVICE_ALREADY_RUNNING), "ControlService
// function" (ERROR_SERVICE_NOT_ACTIVE for a service that is not running),
// "DeleteService function" (the service is marked and goes once every handle
// to it is closed; ERROR_SERVICE_MARKED_FOR_DELETE when it already is),
// "CloseServiceHandle function"; "QueryServiceStatusEx function" (the
// process's identifier, 0 once the service has stopped;
// ERROR_INSUFFICIENT_BUFFER for a buffer smaller than
// SERVICE_STATUS_PROCESS); a service's process may outlive its last report
// ("SetServiceStatus function": the process may be ended only after
// SERVICE_STOPPED); every call that needs an access right the
// handle was not opened with fails with ERROR_ACCESS_DENIED.
#include "platform/sim/sim_service_manager.h"

#include <cstring>
#include <map>

#include "platform/sim/sim.h"
#include "platform/sim/sim_security.h"
#include "platform/win_base.h"
#include "platform/win_process.h"

namespace sim {
namespace {

constexpr DWORD kErrorCallNotImplemented = 120;
constexpr DWORD kErrorDuplicateServiceName = 1078;
constexpr DWORD kErrorInvalidServiceAccount = 1057;
constexpr DWORD kReadOnlyManagerAccess =
    0x0001 | 0x0004 | 0x0010;  // connect, enumerate, lock status
constexpr DWORD kReadOnlyServiceAccess = 0x0001 | SERVICE_QUERY_STATUS | 0x0008 | 0x0080;

struct Entry {
  InstalledService service;
  uint64_t stoppedAtMs = 0;  // while stop pending
  DWORD processId = 0;       // of the last start; 0 when none ran
};

struct ServiceProcess {
  std::optional<uint64_t> endsAtMs;  // known once a stop was asked for
};

struct Handle {
  bool manager;
  std::string name;  // a service handle's service
  DWORD access;
};

struct Database {
  std::map<std::string, Entry> services;  // by upper-case name
  std::map<uintptr_t, Handle> handles;
  uintptr_t nextHandle = 0x5C0000;
  uint64_t stopDelayMs = 0;
  uint64_t lingerMs = 0;
  bool denyChanges = false;
  std::map<DWORD, ServiceProcess> processes;
  // By upper-case name: until when another program holds a handle.
  std::map<std::string, std::optional<uint64_t>> heldElsewhere;
  DWORD nextProcessId = 1400;
};

Database& D() {
  static Database database;
  return database;
}

ResetHook reset([] { D() = Database(); });

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// Stops that have taken their time are done.
void Settle(Entry& entry) {
  if (entry.service.state == SERVICE_STOP_PENDING && entry.stoppedAtMs <= NowMs()) {
    entry.service.state = SERVICE_STOPPED;
  }
}

SC_HANDLE NewScHandle(bool manager, const std::string& name, DWORD access) {
  const uintptr_t value = D().nextHandle += 4;
  D().handles[value] = Handle{manager, name, access};
  return reinterpret_cast<SC_HANDLE>(value);
}

Handle* FindHandle(SC_HANDLE handle, bool manager) {
  auto it = D().handles.find(reinterpret_cast<uintptr_t>(handle));
  if (it == D().handles.end() || it->second.manager != manager) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return &it->second;
}

// The service behind a service handle that was opened with `needed`.
Entry* ServiceOf(SC_HANDLE handle, DWORD needed) {
  Handle* h = FindHandle(handle, false);
  if (!h) return nullptr;
  if ((h->access & needed) != needed) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  Entry& entry = D().services.at(Upper(h->name));
  Settle(entry);
  return &entry;
}

// Deletes a marked service once no handle names it and it has stopped.
void Sweep() {
  for (auto it = D().services.begin(); it != D().services.end();) {
    auto elsewhere = D().heldElsewhere.find(it->first);
    bool held = elsewhere != D().heldElsewhere.end() &&
                (!elsewhere->second || *elsewhere->second > NowMs());
    for (const auto& h : D().handles)
      held = held || (!h.second.manager && Upper(h.second.name) == it->first);
    Settle(it->second);
    if (it->second.service.markedForDelete && !held &&
        it->second.service.state == SERVICE_STOPPED) {
      it = D().services.erase(it);
    } else {
      ++it;
    }
  }
}

// A service starts in a process of its own.
void StartProcess(Entry& entry) {
  entry.processId = D().nextProcessId += 4;
  D().processes[entry.processId] = ServiceProcess();
}

bool ProcessEnded(DWORD processId) {
  auto it = D().processes.find(processId);
  return it == D().processes.end() || (it->second.endsAtMs && *it->second.endsAtMs <= NowMs());
}

struct ProcessObject : Object {
  DWORD processId;
  DWORD access;
  ProcessObject(DWORD id, DWORD rights) : processId(id), access(rights) {}
  const char* Kind() const override { return "process"; }
  DWORD Wait(DWORD timeoutMs) override {
    std::optional<uint64_t> endsAt;
    {
      std::lock_guard<std::recursive_mutex> guard(Lock());
      // As for any process: a handle without SYNCHRONIZE cannot be waited on.
      if (!(access & SYNCHRONIZE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return WAIT_FAILED;
      }
      if (ProcessEnded(processId)) return WAIT_OBJECT_0;
      endsAt = D().processes[processId].endsAtMs;
    }
    if (endsAt && (timeoutMs == INFINITE || *endsAt <= NowMs() + timeoutMs)) {
      RunScheduled(*endsAt);
      return WAIT_OBJECT_0;
    }
    if (timeoutMs == INFINITE) throw Stalled{"endless wait for a service process that never ends"};
    RunScheduled(NowMs() + timeoutMs);
    return WAIT_TIMEOUT;
  }
};

void FillStatus(const InstalledService& service, LPSERVICE_STATUS status) {
  status->dwServiceType = service.serviceType;
  status->dwCurrentState = service.state;
  status->dwControlsAccepted =
      service.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status->dwWin32ExitCode = ERROR_SUCCESS;
  status->dwServiceSpecificExitCode = 0;
  status->dwCheckPoint = service.state == SERVICE_STOP_PENDING ? 1 : 0;
  status->dwWaitHint = service.state == SERVICE_STOP_PENDING ? 3000 : 0;
}

}  // namespace

std::optional<InstalledService> Service(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Sweep();
  auto it = D().services.find(Upper(name));
  if (it == D().services.end()) return std::nullopt;
  return it->second.service;
}

void AddService(const std::string& name, const std::string& binaryPath, bool running) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Entry entry;
  entry.service = InstalledService{name,
                                   binaryPath,
                                   SERVICE_WIN32_OWN_PROCESS,
                                   SERVICE_AUTO_START,
                                   "LocalSystem",
                                   "",
                                   false,
                                   "",
                                   false,
                                   running ? SERVICE_RUNNING : SERVICE_STOPPED,
                                   false};
  if (running) StartProcess(entry);
  D().services[Upper(name)] = entry;
}

void HeldElsewhere(const std::string& name, std::optional<uint64_t> untilMs) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  D().heldElsewhere[Upper(name)] = untilMs;
}

void MarkForDelete(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  D().services.at(Upper(name)).service.markedForDelete = true;
}

void SetProcessLingerMs(uint64_t ms) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  D().lingerMs = ms;
}

bool ServiceProcessRunning(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  auto it = D().services.find(Upper(name));
  return it != D().services.end() && it->second.processId != 0 &&
         !ProcessEnded(it->second.processId);
}

std::shared_ptr<Object> OpenServiceProcess(DWORD processId, DWORD access) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (D().processes.count(processId) == 0 || ProcessEnded(processId)) return nullptr;
  return std::make_shared<ProcessObject>(processId, access);
}

void SetStopDelayMs(uint64_t ms) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  D().stopDelayMs = ms;
}

void DenyServiceChanges() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  D().denyChanges = true;
}

size_t OpenServiceHandles() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return D().handles.size();
}

}  // namespace sim

using sim::D;
using sim::Enter;
using sim::Fmt;
using sim::Str;

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD access) {
  if (Enter("OpenSCManagerA",
            Fmt("%s, %s, 0x%X", Str(machineName).c_str(), Str(databaseName).c_str(), access))) {
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::PlaysWindows9x()) {
    SetLastError(sim::kErrorCallNotImplemented);
    return nullptr;
  }
  if (machineName || (databaseName && std::string(databaseName) != "ServicesActive")) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (D().denyChanges && (access & ~sim::kReadOnlyManagerAccess)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return sim::NewScHandle(true, "", access);
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                                DWORD access, DWORD serviceType, DWORD startType,
                                DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                                LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                                LPCSTR password) {
  if (Enter("CreateServiceA",
            Fmt("%p, %s, %s, 0x%X, 0x%X, %u, %u, %s, %s, %s, %s, %s, %s",
                static_cast<void*>(manager), Str(serviceName).c_str(), Str(displayName).c_str(),
                access, serviceType, startType, errorControl, Str(binaryPathName).c_str(),
                Str(loadOrderGroup).c_str(), tagId ? "tag" : "NULL", Str(dependencies).c_str(),
                Str(serviceStartName).c_str(), password ? "password" : "NULL"))) {
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Handle* m = sim::FindHandle(manager, true);
  if (!m) return nullptr;
  if (!(m->access & SC_MANAGER_CREATE_SERVICE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (!serviceName || !*serviceName || !binaryPathName || !*binaryPathName ||
      serviceType != SERVICE_WIN32_OWN_PROCESS || startType > SERVICE_DEMAND_START + 1 ||
      errorControl > 3) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Only the accounts a service of its own process may have without a password.
  const std::string account = serviceStartName ? serviceStartName : "LocalSystem";
  if (account != "LocalSystem" && account != "NT AUTHORITY\\LocalService" &&
      account != "NT AUTHORITY\\NetworkService") {
    SetLastError(sim::kErrorInvalidServiceAccount);
    return nullptr;
  }
  sim::Sweep();
  auto found = D().services.find(sim::Upper(serviceName));
  if (found != D().services.end()) {
    SetLastError(found->second.service.markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                       : ERROR_SERVICE_EXISTS);
    return nullptr;
  }
  const std::string display = displayName ? displayName : serviceName;
  for (const auto& entry : D().services) {
    if (sim::Upper(entry.second.service.displayName) == sim::Upper(display)) {
      SetLastError(sim::kErrorDuplicateServiceName);
      return nullptr;
    }
  }
  sim::Entry entry;
  entry.service =
      sim::InstalledService{display, binaryPathName, serviceType,     startType, account, "", false,
                            "",      false,          SERVICE_STOPPED, false};
  D().services[sim::Upper(serviceName)] = entry;
  return sim::NewScHandle(false, serviceName, access);
}

BOOL WINAPI ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType,
                                 DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                                 LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                                 LPCSTR password, LPCSTR displayName) {
  if (Enter("ChangeServiceConfigA",
            Fmt("%p, 0x%X, %u, %u, %s, %s, %s, %s, %s, %s, %s", static_cast<void*>(service),
                serviceType, startType, errorControl, Str(binaryPathName).c_str(),
                Str(loadOrderGroup).c_str(), tagId ? "tag" : "NULL", Str(dependencies).c_str(),
                Str(serviceStartName).c_str(), password ? "password" : "NULL",
                Str(displayName).c_str()))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Entry* entry = sim::ServiceOf(service, SERVICE_CHANGE_CONFIG);
  if (!entry) return FALSE;
  if (entry->service.markedForDelete) return sim::Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
  if ((serviceType != SERVICE_NO_CHANGE && serviceType != SERVICE_WIN32_OWN_PROCESS) ||
      (startType != SERVICE_NO_CHANGE && startType > SERVICE_DEMAND_START + 1) ||
      (binaryPathName && !*binaryPathName)) {
    return sim::Fail(ERROR_INVALID_PARAMETER);
  }
  if (serviceStartName) {
    const std::string account = serviceStartName;
    if (account != "LocalSystem" && account != "NT AUTHORITY\\LocalService" &&
        account != "NT AUTHORITY\\NetworkService") {
      return sim::Fail(sim::kErrorInvalidServiceAccount);
    }
    entry->service.account = account;
  }
  if (serviceType != SERVICE_NO_CHANGE) entry->service.serviceType = serviceType;
  if (startType != SERVICE_NO_CHANGE) entry->service.startType = startType;
  if (binaryPathName) entry->service.binaryPath = binaryPathName;
  if (displayName) entry->service.displayName = displayName;
  return TRUE;
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD access) {
  if (Enter("OpenServiceA",
            Fmt("%p, %s, 0x%X", static_cast<void*>(manager), Str(serviceName).c_str(), access))) {
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (!sim::FindHandle(manager, true)) return nullptr;
  sim::Sweep();
  if (!serviceName || D().services.count(sim::Upper(serviceName)) == 0) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  if (D().denyChanges && (access & ~sim::kReadOnlyServiceAccess)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return sim::NewScHandle(false, serviceName, access);
}

BOOL WINAPI ChangeServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPVOID info) {
  if (Enter("ChangeServiceConfig2A", Fmt("%p, %u", static_cast<void*>(service), infoLevel))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Entry* entry = sim::ServiceOf(service, SERVICE_CHANGE_CONFIG);
  if (!entry) return FALSE;
  if (entry->service.markedForDelete) return sim::Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
  if (!info) return sim::Fail(ERROR_INVALID_PARAMETER);
  switch (infoLevel) {
    case SERVICE_CONFIG_DESCRIPTION: {
      const char* text = static_cast<SERVICE_DESCRIPTIONA*>(info)->lpDescription;
      entry->service.description = text ? text : "";
      return TRUE;
    }
    case SERVICE_CONFIG_FAILURE_ACTIONS:
      entry->service.failureActions = true;
      return TRUE;
    case SERVICE_CONFIG_DELAYED_AUTO_START_INFO:
      // SERVICE_DELAYED_AUTO_START_INFO: one BOOL.
      entry->service.delayedAutoStart = *static_cast<BOOL*>(info) != FALSE;
      return TRUE;
    case SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO: {
      // SERVICE_REQUIRED_PRIVILEGES_INFOA: a pointer to names, each ended by
      // a NUL, the list by another.
      const char* names = *static_cast<char**>(info);
      std::string list;
      for (const char* name = names; name && *name; name += strlen(name) + 1) {
        if (!list.empty()) list += ',';
        list += name;
      }
      entry->service.requiredPrivileges = list;
      return TRUE;
    }
    default:
      return sim::Fail(ERROR_INVALID_PARAMETER);
  }
}

BOOL WINAPI StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) {
  if (Enter("StartServiceA", Fmt("%p, %u", static_cast<void*>(service), argc))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  static_cast<void>(argv);
  sim::Entry* entry = sim::ServiceOf(service, SERVICE_START);
  if (!entry) return FALSE;
  if (entry->service.markedForDelete) return sim::Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
  if (entry->service.state != SERVICE_STOPPED) return sim::Fail(ERROR_SERVICE_ALREADY_RUNNING);
  entry->service.state = SERVICE_RUNNING;
  sim::StartProcess(*entry);
  return TRUE;
}

BOOL WINAPI ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
  if (Enter("ControlService", Fmt("%p, %u", static_cast<void*>(service), control))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_INTERROGATE) {
    return sim::Fail(ERROR_INVALID_PARAMETER);
  }
  sim::Entry* entry = sim::ServiceOf(
      service, control == SERVICE_CONTROL_STOP ? SERVICE_STOP : 0x0080 /* SERVICE_INTERROGATE */);
  if (!entry) return FALSE;
  if (entry->service.state == SERVICE_STOPPED) return sim::Fail(ERROR_SERVICE_NOT_ACTIVE);
  if (control == SERVICE_CONTROL_STOP && entry->service.state == SERVICE_RUNNING) {
    entry->service.state = SERVICE_STOP_PENDING;
    entry->stoppedAtMs = sim::NowMs() + D().stopDelayMs;
    D().processes[entry->processId].endsAtMs = entry->stoppedAtMs + D().lingerMs;
    sim::Settle(*entry);
  }
  if (status) sim::FillStatus(entry->service, status);
  return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
  if (Enter("QueryServiceStatus", Fmt("%p", static_cast<void*>(service)))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Entry* entry = sim::ServiceOf(service, SERVICE_QUERY_STATUS);
  if (!entry) return FALSE;
  if (!status) return sim::Fail(ERROR_INVALID_PARAMETER);
  sim::FillStatus(entry->service, status);
  return TRUE;
}

BOOL WINAPI QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, LPBYTE buffer,
                                 DWORD size, LPDWORD needed) {
  if (Enter("QueryServiceStatusEx",
            Fmt("%p, %d, %u", static_cast<void*>(service), static_cast<int>(infoLevel), size))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Entry* entry = sim::ServiceOf(service, SERVICE_QUERY_STATUS);
  if (!entry) return FALSE;
  if (infoLevel != SC_STATUS_PROCESS_INFO || !needed) return sim::Fail(ERROR_INVALID_PARAMETER);
  *needed = sizeof(SERVICE_STATUS_PROCESS);
  if (!buffer || size < sizeof(SERVICE_STATUS_PROCESS)) {
    return sim::Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  SERVICE_STATUS status;
  sim::FillStatus(entry->service, &status);
  SERVICE_STATUS_PROCESS full;
  memcpy(&full, &status, sizeof status);
  full.dwProcessId = entry->service.state == SERVICE_STOPPED ? 0 : entry->processId;
  full.dwServiceFlags = 0;
  memcpy(buffer, &full, sizeof full);
  return TRUE;
}

BOOL WINAPI DeleteService(SC_HANDLE service) {
  if (Enter("DeleteService", Fmt("%p", static_cast<void*>(service)))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Entry* entry = sim::ServiceOf(service, DELETE);
  if (!entry) return FALSE;
  if (entry->service.markedForDelete) return sim::Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
  entry->service.markedForDelete = true;
  return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE handle) {
  if (Enter("CloseServiceHandle", Fmt("%p", static_cast<void*>(handle)))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (D().handles.erase(reinterpret_cast<uintptr_t>(handle)) == 0) {
    return sim::Fail(ERROR_INVALID_HANDLE);
  }
  sim::Sweep();
  return TRUE;
}
