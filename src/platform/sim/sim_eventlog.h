// The simulated event log: the sources registered and what was reported.
//
// After sim::Reset() no source is registered and nothing was reported.
// Event source handles are not kernel objects: only DeregisterEventSource
// closes them (OpenEventSources() counts those still open).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_eventlog.h"

namespace sim {

struct ReportedEvent {
  std::string source;  // as given to RegisterEventSourceA
  WORD type;
  WORD category;
  DWORD id;
  std::vector<std::string> strings;
  uint64_t timeMs;
};

// Every event ReportEventA took, in order.
std::vector<ReportedEvent> ReportedEvents();
size_t OpenEventSources();

}  // namespace sim
