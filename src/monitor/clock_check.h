// The periodic clock check: connectivity, the fetch under its watchdog,
// server rotation, and handing the reply to the correction.
#pragma once

#include <cstdint>

#include "platform/win_inet.h"
#include "platform/win_process.h"
#include "platform/win_window.h"

// The identifier of the armed check timer (0 when none is armed).
extern UINT_PTR g_timerId;

// The calls already logged as failing for a missing DLL or entry point.
// That lasts while the monitor runs, so it is logged once, not every check.
struct MissingLogged {
  bool rasEnumConnections;
  bool rasGetConnectStatus;
  bool internetOpen;
};
extern MissingLogged g_missingLogged;

// The timer callback: stops the timer, runs one check, arms the next.
void CALLBACK CheckTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

void ClockCheck();

// One check's servers, each fetched with `newFetch` (null: none could be
// made, the failure logged) on a thread of `worker` under its watchdog, or
// until `stop` is set when `stop` is not null (the server is then not
// judged). The current server is asked; a step it asks for is put at once
// to the next server, of another site, and taken only when that one asks
// for the same: a check asks at most two servers, never one twice. Trust
// rules, rotation and log lines ("BeginThread failed" among them) are the
// same for every kind of fetch.
struct Fetch;
void CheckServers(Fetch* (*newFetch)(LONG server), LPTHREAD_START_ROUTINE worker, HANDLE stop);

// The dial-up records in the oldest layout every RAS version accepts (the
// one of 32-bit Windows 95 and NT 4), not the SDK's current, larger one.
// The handle is kept as 32 bits so that the layout is the same when the
// logic is built for the host.
constexpr DWORD kDialUpConnectionSize = 412;
constexpr DWORD kDialUpStatusSize = 160;
constexpr int kDialUpConnectionRoom = 4;

#pragma pack(push, 4)
struct DialUpConnection {  // RASCONNA
  DWORD dwSize;
  uint32_t hrasconn;
  CHAR szEntryName[256 + 1];
  CHAR szDeviceType[16 + 1];
  CHAR szDeviceName[128 + 1];
};
struct DialUpStatus {  // RASCONNSTATUSA
  DWORD dwSize;
  DWORD rasconnstate;
  DWORD dwError;
  CHAR szDeviceType[16 + 1];
  CHAR szDeviceName[128 + 1];
};
#pragma pack(pop)
static_assert(sizeof(DialUpConnection) == kDialUpConnectionSize, "RASCONNA is 412 bytes");
static_assert(sizeof(DialUpStatus) == kDialUpStatusSize, "RASCONNSTATUSA is 160 bytes");
