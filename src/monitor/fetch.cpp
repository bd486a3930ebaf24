#include "monitor/fetch.h"

#include <cstring>
#include <string>

#include "monitor/daytime_host.h"
#include "monitor/timing.h"
#include "platform/win_base.h"

namespace {

constexpr WORD kWinsockVersion = 0x0101;  // 1.1: what 98 and NT 4.0 have
constexpr BYTE kDaytimePort = 13;

std::atomic<LONG> g_liveFetches{0};

void LetGo(Fetch* fetch) {
  if (fetch->holders.fetch_sub(1) == 1) delete fetch;
}

// Closes the fetch's handles if nobody has yet; true when this call did. A
// socket fetch's socket is its worker's alone: only the mark is set.
bool CloseOnce(Fetch* fetch, bool withFile) {
  if (fetch->closed.exchange(true)) return false;
  if (fetch->kind == FetchKind::kSocket) return true;
  if (withFile && fetch->file) InternetCloseHandle(fetch->file);
  InternetCloseHandle(fetch->session);
  return true;
}

// The worker's hold, let go however its thread ends (the simulated Windows
// unwinds the threads a test left blocked).
class WorkerHold {
 public:
  explicit WorkerHold(Fetch* fetch) : fetch_(fetch) {}
  ~WorkerHold() { ReleaseWorkerHold(fetch_); }
  WorkerHold(const WorkerHold&) = delete;
  WorkerHold& operator=(const WorkerHold&) = delete;

 private:
  Fetch* fetch_;
};

}  // namespace

Fetch* NewFetch(const char* url, HINTERNET session) {
  Fetch* fetch = new Fetch;
  fetch->kind = FetchKind::kUrlSession;
  fetch->holders = 2;
  fetch->closed = false;
  fetch->url = url;
  fetch->session = session;
  fetch->file = nullptr;
  fetch->count = 0;
  g_liveFetches.fetch_add(1);
  return fetch;
}

DWORD WINAPI FetchWorker(LPVOID parameter) {
  Fetch* fetch = static_cast<Fetch*>(parameter);
  WorkerHold hold(fetch);
  fetch->file = InternetOpenUrlA(fetch->session, fetch->url, nullptr, 0, INTERNET_FLAG_RELOAD, 0);
  // One read: a reply that arrives in pieces is judged on the first. Not
  // once the check has given up: the session is gone, and with it the URL
  // handle, whose value may already name another.
  DWORD read = 0;
  if (fetch->file && !fetch->closed.load() &&
      InternetReadFile(fetch->file, fetch->reply, kReplySize, &fetch->count)) {
    read = 1;
  }
  if (!CloseOnce(fetch, true)) read = 0;
  return read;
}

void CutFetch(Fetch* fetch) { CloseOnce(fetch, false); }

void ReleaseCheckHold(Fetch* fetch) { LetGo(fetch); }

void ReleaseWorkerHold(Fetch* fetch) {
  LetGo(fetch);
  g_liveFetches.fetch_sub(1);
}

LONG LiveFetches() { return g_liveFetches.load(); }

Fetch* NewSocketFetch(const char* url) {
  Fetch* fetch = NewFetch(url, nullptr);
  fetch->kind = FetchKind::kSocket;
  return fetch;
}

DWORD WorkerWaitMs(const Fetch* fetch) {
  return fetch->kind == FetchKind::kSocket ? kWatchdogMs + kSocketGraceMs : kWatchdogMs;
}

namespace {

// How soon a socket worker sees that its check has given up.
constexpr DWORD kSliceMs = 250;
constexpr int kMaxAddresses = 8;

enum class Ready { kYes, kFailed, kOver };

// Waits, a slice at a time, until `s` can be read (`connecting` false), or
// until its non-blocking connect is done: writable when it succeeded, in the
// exception set when it failed ("select function"). kOver once `deadline`
// (a tick count) has passed or the check has given up.
Ready WaitForSocket(Fetch* fetch, SOCKET s, bool connecting, DWORD deadline) {
  for (;;) {
    if (fetch->closed.load()) return Ready::kOver;
    const LONG left = static_cast<LONG>(deadline - GetTickCount());
    if (left <= 0) return Ready::kOver;
    const DWORD slice = static_cast<DWORD>(left) < kSliceMs ? static_cast<DWORD>(left) : kSliceMs;
    SOCKET_SET ready;
    ready.fd_count = 1;
    ready.fd_array[0] = s;
    SOCKET_SET failed = ready;
    const SOCKET_WAIT wait = {static_cast<LONG>(slice / 1000),
                              static_cast<LONG>(slice % 1000 * 1000)};
    const int count = connecting ? select(0, nullptr, &ready, &failed, &wait)
                                 : select(0, &ready, nullptr, nullptr, &wait);
    if (count < 0) return Ready::kFailed;
    if (count == 0) continue;
    return connecting && failed.fd_count > 0 ? Ready::kFailed : Ready::kYes;
  }
}

enum class Asked { kReply, kNextAddress, kOver };

// Connects to port 13 of `address` and reads until the server closes the
// connection or the buffer is full, all before `deadline`. kNextAddress
// when the connection failed (another address of the name may answer).
Asked AskAddress(Fetch* fetch, const BYTE* address, DWORD deadline) {
  SOCKADDR_IN server;
  memset(&server, 0, sizeof server);
  server.sin_family = AF_INET;
  BYTE* port = reinterpret_cast<BYTE*>(&server.sin_port);  // network order
  port[0] = 0;
  port[1] = kDaytimePort;
  memcpy(server.sin_addr.bytes, address, sizeof server.sin_addr.bytes);

  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return Asked::kOver;
  // Non-blocking, so that the worker keeps its time limit itself and nobody
  // else ever needs to close its socket to wake it.
  ULONG on = 1;
  Asked asked = Asked::kOver;
  if (ioctlsocket(s, kSocketNonBlocking, &on) == 0) {
    Ready ready = Ready::kYes;
    if (connect(s, reinterpret_cast<const SOCKADDR*>(&server), sizeof server) != 0) {
      ready = WSAGetLastError() == WSAEWOULDBLOCK ? WaitForSocket(fetch, s, true, deadline)
                                                  : Ready::kFailed;
    }
    if (ready == Ready::kFailed) asked = Asked::kNextAddress;
    fetch->count = 0;
    while (ready == Ready::kYes && fetch->count < kReplySize) {
      ready = WaitForSocket(fetch, s, false, deadline);
      // A failed select is no refused connection: the next address waits.
      if (ready == Ready::kFailed) ready = Ready::kOver;
      if (ready != Ready::kYes) break;
      const int got =
          recv(s, fetch->reply + fetch->count, static_cast<int>(kReplySize - fetch->count), 0);
      if (got == 0) break;
      if (got < 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) ready = Ready::kOver;
        continue;
      }
      fetch->count += static_cast<DWORD>(got);
    }
    if (ready == Ready::kYes) asked = Asked::kReply;
  }
  closesocket(s);
  return asked;
}

// Asks each IPv4 address of the host the URL names in turn, all within
// kWatchdogMs of `start`. True with a whole reply.
bool ReadOverSocket(Fetch* fetch, DWORD start) {
  const std::string name = DaytimeHost(fetch->url);
  if (name.empty()) return false;
  // The record Windows Sockets returns belongs to this thread.
  const HOSTENT* host = gethostbyname(name.c_str());
  if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list) {
    return false;
  }
  const DWORD deadline = start + kWatchdogMs;
  for (int i = 0; i < kMaxAddresses && host->h_addr_list[i]; ++i) {
    // The check may have given up during a long lookup.
    if (fetch->closed.load()) return false;
    BYTE address[4];
    memcpy(address, host->h_addr_list[i], sizeof address);
    const Asked asked = AskAddress(fetch, address, deadline);
    if (asked != Asked::kNextAddress) return asked == Asked::kReply;
  }
  return false;
}

}  // namespace

DWORD WINAPI SocketFetchWorker(LPVOID parameter) {
  const DWORD start = GetTickCount();
  Fetch* fetch = static_cast<Fetch*>(parameter);
  WorkerHold hold(fetch);
  // Each worker starts and ends Windows Sockets for itself: one left behind
  // keeps its own use of it.
  WSADATA data;
  if (WSAStartup(kWinsockVersion, &data) != 0) return 0;
  DWORD read = ReadOverSocket(fetch, start) ? 1 : 0;
  if (!CloseOnce(fetch, true)) read = 0;
  WSACleanup();
  return read;
}
