// The simulated service manager's database, as an installer and an
// uninstaller meet it: services created, configured, started, stopped and
// deleted. The services run nothing: a started one is running at once, and
// a stopped one reports stop pending for as long as the test says.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/sim/sim.h"
#include "platform/win_service.h"

namespace sim {

struct InstalledService {
  std::string displayName;
  std::string binaryPath;
  DWORD serviceType;
  DWORD startType;
  std::string account;  // "LocalSystem" when none was given
  std::string description;
  bool delayedAutoStart;
  // The required privileges, as ChangeServiceConfig2A was given them
  // (names separated by ","), and whether failure actions were set.
  std::string requiredPrivileges;
  bool failureActions;
  DWORD state;  // SERVICE_STOPPED, SERVICE_RUNNING, SERVICE_STOP_PENDING
  bool markedForDelete;
};

// The service as the database holds it now; none once deleted (after its
// last handle was closed).
std::optional<InstalledService> Service(const std::string& name);
// A service that is there before the test begins (a copy installed earlier).
void AddService(const std::string& name, const std::string& binaryPath, bool running);
// Another program (Services, say) holds a handle to the service until
// virtual time `untilMs` (for ever when nullopt): a service marked for
// deletion stays until then.
void HeldElsewhere(const std::string& name, std::optional<uint64_t> untilMs);
// The service was deleted (DeleteService) by an earlier uninstall.
void MarkForDelete(const std::string& name);
// A stop takes this long: the service reports stop pending until then.
void SetStopDelayMs(uint64_t ms);
// A stopped service's process goes on this long after the service reported
// SERVICE_STOPPED (its last threads and DLLs ending); 0 unless set.
void SetProcessLingerMs(uint64_t ms);
// Whether the process that ran the service as it was last started has not
// yet ended (false when none ran).
bool ServiceProcessRunning(const std::string& name);
// The end of a service's process, for OpenProcess (sim_window.cpp): a
// waitable process object for `processId` when it names a service's
// process that has not ended, else null.
std::shared_ptr<Object> OpenServiceProcess(DWORD processId, DWORD access);
// The token may connect to the manager and query it, but not change it, as
// a process that is not elevated under User Account Control: opening the
// manager or a service for anything more fails with ERROR_ACCESS_DENIED.
void DenyServiceChanges();
// Service and manager handles not yet closed.
size_t OpenServiceHandles();

}  // namespace sim
