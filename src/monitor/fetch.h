// One request to one server, opened and read on a thread of its own so that
// nothing a server does, or fails to do, can hold the monitor.
//
// The check waits for the worker at most kWatchdogMs. A worker still busy
// then is cut short (its session closed) and left to end on its own: a
// thread is never killed, since one killed inside WinINet, the heap or the
// loader would leave their locks held for ever. Everything a worker touches
// is its own Fetch record, so a worker that ends late cannot reach a later
// check.
#pragma once

#include <atomic>

#include "platform/win_inet.h"

// One read of at most this many bytes; a DAYTIME line is about 50.
constexpr DWORD kReplySize = 256;

// Fetches whose worker has not ended, the one a check is about to start
// included. Each holds a thread and its stack; a worker only outlives its
// check where closing the session does not wake it (a name lookup that
// hangs, or Wine's WinINet on a silent server). A check that finds this many
// alive asks no server and waits for a later tick.
constexpr LONG kMaxLiveFetches = 4;

struct Fetch {
  // The check and the worker each hold the record; the last to let go
  // frees it.
  std::atomic<LONG> holders;
  // Set once by whoever closes the Internet handles: the worker when it is
  // done, or the check when the worker's time is up. After that nobody uses
  // them, since WinINet may give their values to a later check's handles.
  std::atomic<bool> closed;
  const char* url;  // the server table's own text, which lives for ever
  HINTERNET session;
  HINTERNET file;  // written by the worker
  // What the worker read; the check looks only after the worker has ended.
  DWORD count;
  char reply[kReplySize];
};

// A record for a fetch of `url` on `session`, held twice (by the check and
// by the worker to come), counted as alive until ReleaseWorkerHold.
Fetch* NewFetch(const char* url, HINTERNET session);

// The worker's thread function (parameter: the Fetch). Opens the URL, reads
// once, closes the handles unless the check already has, and lets go. Exit
// code 1 when it read a reply, else 0.
DWORD WINAPI FetchWorker(LPVOID fetch);

// The worker's time is up: closes the session (which wakes an open or a
// read blocked on it) unless the worker has closed it already.
void CutFetch(Fetch* fetch);

// The check lets go of the record.
void ReleaseCheckHold(Fetch* fetch);
// The worker that will never run (its thread was not made) lets go.
void ReleaseWorkerHold(Fetch* fetch);

// Workers started and not yet ended.
LONG LiveFetches();
