#include "monitor/service_check.h"

#include "monitor/clock_check.h"
#include "monitor/domain_time.h"
#include "monitor/fetch.h"
#include "monitor/server_table.h"

void ServiceClockCheck(HANDLE stop) {
  if (LeftToTheDomain()) return;
  // Fetches left behind still hold their threads: rather than add another,
  // the check waits for a later tick.
  if (LiveFetches() >= kMaxLiveFetches) return;
  CheckServers([](LONG server) { return NewSocketFetch(ServerUrl(server)); }, SocketFetchWorker,
               stop);
}
