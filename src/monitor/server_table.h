// The four DAYTIME servers the monitor asks, the one it asks next, and the
// two Internet handle slots the check shares with its fetch worker.
#pragma once

#include "platform/win_inet.h"

constexpr LONG kServerCount = 4;

struct ServerTable {
  // Entries 1..4; there is no entry 0.
  const char* urls[kServerCount + 1];
  // Always 1..4. Read by the worker while it runs; written only between checks.
  LONG index;
  HINTERNET session;
  HINTERNET url;
};

extern ServerTable g_servers;

void InitServerTable();
const char* CurrentServerUrl();
// Moves to the next server; after 4 comes 1.
void AdvanceServer();
// The rotation rule on its own.
LONG NextServerIndex(LONG index);
