#include "monitor/service_check.h"

#include "monitor/clock_check.h"
#include "monitor/event_log.h"
#include "monitor/fetch.h"
#include "monitor/server_table.h"

void ServiceClockCheck(HANDLE stop) {
  // Fetches left behind still hold their threads: rather than add another,
  // the check waits for a later tick.
  if (LiveFetches() >= kMaxLiveFetches) return;
  Fetch* fetch = NewSocketFetch(CurrentServerUrl());
  if (AskServer(fetch, SocketFetchWorker, stop) == AskResult::kNoThread) {
    LogEvent("BeginThread failed");
  }
}
