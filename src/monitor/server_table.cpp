#include "monitor/server_table.h"

ServerTable g_servers;

void InitServerTable() {
  // Two time-service domains, two hosts each, alternating, so that a failed
  // server is followed by one of the other domain.
  g_servers.urls[0] = nullptr;
  g_servers.urls[1] = "http://time-b-g.nist.gov:13/";
  g_servers.urls[2] = "http://utcnist.colorado.edu:13/";
  g_servers.urls[3] = "http://time-c-g.nist.gov:13/";
  g_servers.urls[4] = "http://utcnist2.colorado.edu:13/";
  g_servers.index = 1;
}

const char* CurrentServerUrl() { return g_servers.urls[g_servers.index]; }

LONG NextServerIndex(LONG index) { return index == kServerCount ? 1 : index + 1; }

void AdvanceServer() { g_servers.index = NextServerIndex(g_servers.index); }

bool AskAgain(ReplyOutcome outcome) {
  return outcome == ReplyOutcome::kClockRight || outcome == ReplyOutcome::kClockSet;
}
