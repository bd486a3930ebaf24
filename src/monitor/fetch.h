// One request to one server, opened and read on a thread of its own so that
// nothing a server does, or fails to do, can hold the monitor.
//
// Two kinds: through a WinINet URL session (the monitor with a window), or
// over a TCP connection of its own to port 13 (the service: WinINet is not
// supported in services, Microsoft Knowledge Base 238425).
//
// A WinINet fetch: the check waits for the worker at most kWatchdogMs; a
// worker still busy then is cut short (its session closed) and left to end
// on its own. A socket fetch: the worker keeps the bound itself (a
// non-blocking connect and a select before each read, for the time left)
// and owns its socket alone, since a socket closed by another thread may
// already be a new one ("closesocket function"); the check waits for it a
// little longer, then only marks the fetch given up, which the worker sees
// within a quarter of a second. A thread is never killed, since one killed
// inside WinINet, the heap or the loader would leave their locks held for
// ever. Everything a worker touches is its own Fetch record, so a worker
// that ends late cannot reach a later check.
#pragma once

#include <atomic>

#include "platform/win_inet.h"
#include "platform/win_socket.h"

// One read of at most this many bytes; a DAYTIME line is about 50.
constexpr DWORD kReplySize = 256;

// How much longer than kWatchdogMs the check waits for a socket worker.
constexpr DWORD kSocketGraceMs = 500;

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
  // kSocket: `closed` set by the check tells the worker to give up; it
  // sees it between slices of its waits. A name lookup cannot be woken: a
  // worker stuck there is left, and once `closed` is set it opens no socket.
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

// The thread function of a socket fetch: connects to port 13 of each IPv4
// address of the name in turn until one takes the connection, reads until
// the server closes it (at most kReplySize bytes), all within kWatchdogMs of
// its start, and lets go. Exit code 1 when the server closed the connection
// after its reply or filled the buffer, and the check had not given up;
// else 0.
DWORD WINAPI SocketFetchWorker(LPVOID fetch);

// How long the check waits for the worker of `fetch`.
DWORD WorkerWaitMs(const Fetch* fetch);

// The worker's time is up: closes the session (which wakes an open or a
// read blocked on it) unless the worker has closed it already; a socket
// worker is only told to give up.
void CutFetch(Fetch* fetch);

// The check lets go of the record.
void ReleaseCheckHold(Fetch* fetch);
// The worker that will never run (its thread was not made) lets go.
void ReleaseWorkerHold(Fetch* fetch);

// Workers started and not yet ended.
LONG LiveFetches();
