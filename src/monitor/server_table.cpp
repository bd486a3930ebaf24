#include "monitor/server_table.h"

ServerTable g_servers;

namespace {

enum Site : LONG { kGaithersburg = 1, kFortCollins, kBoulderUniversity };

constexpr LONG kSites[kServerCount + 1] = {0, kGaithersburg, kFortCollins, kBoulderUniversity,
                                           kFortCollins};

}  // namespace

void InitServerTable() {
  // NIST Internet Time Service servers that answer DAYTIME on port 13, as
  // NIST lists them ("NIST Internet Time Servers", tf.nist.gov/tf-cgi/
  // servers.cgi, the list as of 2025): three sites, none twice in a row.
  // None of the NIST Boulder campus (time-*-b), whose servers all lost
  // their time scale at once on 17 December 2025.
  g_servers.urls[0] = nullptr;
  g_servers.urls[1] = "http://time-a-g.nist.gov:13/";     // NIST, Gaithersburg, Maryland
  g_servers.urls[2] = "http://time-a-wwv.nist.gov:13/";   // WWV, Fort Collins, Colorado
  g_servers.urls[3] = "http://utcnist.colorado.edu:13/";  // University of Colorado, Boulder
  g_servers.urls[4] = "http://time-b-wwv.nist.gov:13/";   // WWV, Fort Collins, Colorado
  g_servers.index = 1;
}

const char* ServerUrl(LONG index) {
  const char* url = index >= 1 && index <= kServerCount ? g_servers.urls[index] : nullptr;
  return url ? url : "";
}

LONG ServerSite(LONG index) { return index >= 1 && index <= kServerCount ? kSites[index] : 0; }

LONG NextServerIndex(LONG index) { return index == kServerCount ? 1 : index + 1; }

void AdvanceServer() { g_servers.index = NextServerIndex(g_servers.index); }

bool AskAgain(ReplyOutcome outcome) {
  return outcome == ReplyOutcome::kClockRight || outcome == ReplyOutcome::kClockSet ||
         outcome == ReplyOutcome::kStepRefused;
}

LONG ServerAfterHeldStep(LONG first, std::optional<ReplyOutcome> second) {
  const LONG next = NextServerIndex(first);
  if (!second) return next;
  return AskAgain(*second) ? next : NextServerIndex(next);
}
