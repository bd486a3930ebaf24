// The four DAYTIME servers the monitor asks and the one it asks next.
#pragma once

#include <optional>

#include "monitor/daytime.h"

constexpr LONG kServerCount = 4;

struct ServerTable {
  // Entries 1..4; there is no entry 0.
  const char* urls[kServerCount + 1];
  // Always 1..4.
  LONG index;
};

extern ServerTable g_servers;

void InitServerTable();
// Entry `index`'s URL, or "" where there is none (before InitServerTable).
const char* ServerUrl(LONG index);
// Where entry `index` (1..4) stands. Failures come by site (a site that
// loses its time scale takes all its servers with it), so a step one
// server asks for is confirmed only by a server of another site.
LONG ServerSite(LONG index);
// Moves to the next server; after 4 comes 1.
void AdvanceServer();
// The rotation rule on its own. No two neighbouring entries (4 and 1
// included) stand at the same site, so the next server is always of
// another site than the one before it.
LONG NextServerIndex(LONG index);
// Whether the server that answered so is asked again at the next check.
// Only a useful answer keeps it: one that found the clock right, or
// confirmed a step (taken, or refused as too far). Anything else (a failed
// or short read, a reply that cannot be used, a held step) moves on, so
// that no server can hold the monitor to itself.
bool AskAgain(ReplyOutcome outcome);
// Where the next check starts after a check whose first server, `first`,
// asked for a step and whose second, the next server, answered `second`
// (none when it could not be asked): that second server when its answer
// was useful, else the one after it; `first`'s next when none was asked.
LONG ServerAfterHeldStep(LONG first, std::optional<ReplyOutcome> second);
