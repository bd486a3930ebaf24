// The four DAYTIME servers the monitor asks and the one it asks next.
#pragma once

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
const char* CurrentServerUrl();
// Moves to the next server; after 4 comes 1.
void AdvanceServer();
// The rotation rule on its own.
LONG NextServerIndex(LONG index);
// Whether the server that answered so is asked again at the next check.
// Only a useful answer keeps it: one that found the clock right, or
// confirmed a correction that was then made. Anything else (a failed or
// short read, a reply that cannot be used, a held step) moves on, so that
// no server can hold the monitor to itself.
bool AskAgain(ReplyOutcome outcome);
