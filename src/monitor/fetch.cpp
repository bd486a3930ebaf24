#include "monitor/fetch.h"

#include <cstring>
#include <string>

#include "monitor/daytime_host.h"

namespace {

constexpr WORD kWinsockVersion = 0x0101;  // 1.1: what 98 and NT 4.0 have
constexpr BYTE kDaytimePort = 13;

std::atomic<LONG> g_liveFetches{0};

void LetGo(Fetch* fetch) {
  if (fetch->holders.fetch_sub(1) == 1) delete fetch;
}

void CloseSocket(Fetch* fetch) {
  const SOCKET s = fetch->socket.exchange(INVALID_SOCKET);
  if (s != INVALID_SOCKET) closesocket(s);
}

// Closes the fetch's handles if nobody has yet; true when this call did.
bool CloseOnce(Fetch* fetch, bool withFile) {
  if (fetch->closed.exchange(true)) return false;
  if (fetch->kind == FetchKind::kSocket) {
    CloseSocket(fetch);
    return true;
  }
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
  fetch->socket = INVALID_SOCKET;
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

namespace {

// Connects to port 13 of the host the URL names and reads until the server
// closes the connection or the buffer is full. True with a whole reply.
bool ReadOverSocket(Fetch* fetch) {
  const std::string name = DaytimeHost(fetch->url);
  if (name.empty()) return false;
  // The record Windows Sockets returns belongs to this thread.
  const HOSTENT* host = gethostbyname(name.c_str());
  if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list ||
      !host->h_addr_list[0]) {
    return false;
  }
  SOCKADDR_IN server;
  memset(&server, 0, sizeof server);
  server.sin_family = AF_INET;
  BYTE* port = reinterpret_cast<BYTE*>(&server.sin_port);  // network order
  port[0] = 0;
  port[1] = kDaytimePort;
  memcpy(server.sin_addr.bytes, host->h_addr_list[0], sizeof server.sin_addr.bytes);

  // The check may have given up during a long lookup.
  if (fetch->closed.load()) return false;
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  fetch->socket = s;
  // A cut between the test above and the store found no socket to close.
  if (fetch->closed.load()) {
    CloseSocket(fetch);
    return false;
  }
  if (connect(s, reinterpret_cast<const SOCKADDR*>(&server), sizeof server) != 0) return false;
  while (fetch->count < kReplySize) {
    const int got =
        recv(s, fetch->reply + fetch->count, static_cast<int>(kReplySize - fetch->count), 0);
    if (got == 0) return true;
    if (got < 0) return false;
    fetch->count += static_cast<DWORD>(got);
  }
  return true;
}

}  // namespace

DWORD WINAPI SocketFetchWorker(LPVOID parameter) {
  Fetch* fetch = static_cast<Fetch*>(parameter);
  WorkerHold hold(fetch);
  // Each worker starts and ends Windows Sockets for itself: one left behind
  // keeps its own use of it.
  WSADATA data;
  if (WSAStartup(kWinsockVersion, &data) != 0) return 0;
  DWORD read = ReadOverSocket(fetch) ? 1 : 0;
  if (!CloseOnce(fetch, true)) read = 0;
  WSACleanup();
  return read;
}
