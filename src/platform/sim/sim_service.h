// The simulated service manager, as the service process sees it.
//
// After sim::Reset() the process was not started by the service manager:
// StartServiceCtrlDispatcherA fails with ERROR_FAILED_SERVICE_CONTROLLER_CONNECT,
// as it does for a program started by hand. Once StartedAsService() says
// otherwise, the dispatcher runs the table's ServiceMain on the calling
// thread (on Windows it gets a thread of its own) and returns once it has
// returned; the handler runs, likewise, on whatever thread lets virtual time
// reach a control sent with SendControlAt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_service.h"

namespace sim {

// The service manager started this process for the service `name`.
void StartedAsService(const std::string& name = "Vorn");

// At virtual time `atMs` the service manager passes `control` (with
// `eventType`, for a power event) to the handler, provided the last status
// reported accepts it (a stop needs SERVICE_ACCEPT_STOP, a shutdown
// SERVICE_ACCEPT_SHUTDOWN, a power event SERVICE_ACCEPT_POWEREVENT; an
// interrogation is always passed). Controls that were not passed are not
// recorded.
void SendControlAt(uint64_t atMs, DWORD control, DWORD eventType = 0);
// The service manager passed `control` while the service's last status was
// still the one before `state`, and the handler, on a thread of its own,
// runs just as the service reports `state`: it is called from within that
// SetServiceStatus, right after the report is recorded.
void SendControlWhenReported(DWORD state, DWORD control);

struct StatusReport {
  DWORD state;
  DWORD controlsAccepted;
  DWORD exitCode;
  DWORD checkPoint;
  DWORD waitHint;
  uint64_t timeMs;
};
// Every status SetServiceStatus reported, in order.
std::vector<StatusReport> StatusReports();
// The controls passed to the handler, with their times.
std::vector<std::pair<DWORD, uint64_t>> PassedControls();
// What the handler returned, in the order of PassedControls (an old-style
// handler, which returns nothing, counts as NO_ERROR).
std::vector<DWORD> HandlerResults();

}  // namespace sim
