// One request to one server, opened and read on a thread of its own so that
// nothing a server does, or fails to do, can hold the monitor.
//
// Two kinds: through a WinINet URL session (the monitor with a window), or
// over a TCP connection of its own to port 13 (the service: WinINet is not
// supported in services, Microsoft Knowledge Base 238425).
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
#include "platform/win_socket.h"

// One read of at most this many bytes; a DAYTIME line is about 50.
constexpr DWORD kReplySize = 256;

// Fetches whose worker has not ended, the one a check is about to start
// included. Each holds a thread and its stack; a worker only outlives its
// check where closing the session does not wake it (a name lookup that
// hangs, or Wine's WinINet on a silent server). A check that finds this many
// alive asks no server and waits for a later tick.
constexpr LONG kMaxLiveFetches = 4;

enum class FetchKind { kUrlSession, kSocket };

struct Fetch {
  FetchKind kind;
  // The check and the worker each hold the record; the last to let go
  // frees it.
  std::atomic<LONG> holders;
  // Set once by whoever closes the Internet handles: the worker when it is
  // done, or the check when the worker's time is up. After that nobody uses
  // them, since WinINet may give their values to a later check's handles.
  std::atomic<bool> closed;
  const char* url;  // the server table's own text, which lives for ever
  // kUrlSession: the session and the URL handle (written by the worker).
  HINTERNET session;
  HINTERNET file;
  // kSocket: the connection, INVALID_SOCKET while there is none. Whoever
  // takes it out of the record closes it; closing it wakes a connect or a
  // recv blocked on it. A name lookup cannot be woken: a worker stuck there
  // is left, and once `closed` is set it opens no socket.
  std::atomic<SOCKET> socket;
  // What the worker read; the check looks only after the worker has ended.
  DWORD count;
  char reply[kReplySize];
};

// A record for a fetch of `url` on `session`, held twice (by the check and
// by the worker to come), counted as alive until ReleaseWorkerHold.
Fetch* NewFetch(const char* url, HINTERNET session);
// The same for a fetch over a connection of its own to the host that `url`
// names (daytime_host.h); its worker is SocketFetchWorker.
Fetch* NewSocketFetch(const char* url);

// The worker's thread function (parameter: the Fetch). Opens the URL, reads
// once, closes the handles unless the check already has, and lets go. Exit
// code 1 when it read a reply, else 0.
DWORD WINAPI FetchWorker(LPVOID fetch);

// The thread function of a socket fetch: connects to port 13, reads until
// the server closes the connection (at most kReplySize bytes), closes it
// unless the check already has, and lets go. Exit code 1 when the server
// closed the connection after its reply or filled the buffer, else 0.
DWORD WINAPI SocketFetchWorker(LPVOID fetch);

// The worker's time is up: closes the session or the socket (which wakes an
// open, a connect or a read blocked on it) unless the worker has closed it
// already.
void CutFetch(Fetch* fetch);

// The check lets go of the record.
void ReleaseCheckHold(Fetch* fetch);
// The worker that will never run (its thread was not made) lets go.
void ReleaseWorkerHold(Fetch* fetch);

// Workers started and not yet ended.
LONG LiveFetches();
