// Simulated wsock32 (Microsoft, Windows Sockets 2 reference: "WSAStartup
// function" returns its error instead of setting one and is counted, each
// call balanced by a WSACleanup; "gethostbyname function": a name that is
// not found gives null and WSAHOST_NOT_FOUND, and the record lives in storage
// of the calling thread; "connect function": WSAECONNREFUSED when the server
// refuses; "recv function": 0 once the server has closed the connection;
// "closesocket function": pending blocking calls on the socket, issued by any
// thread, are cancelled, and fail with WSAEINTR; "ioctlsocket function":
// FIONBIO makes the socket non-blocking; "connect function" on a
// non-blocking socket: WSAEWOULDBLOCK, then the outcome shows in select;
// "select function": writable once such a connect succeeded, in the
// exception set once it failed, readable with data or the server's close;
// "recv function": WSAEWOULDBLOCK on a non-blocking socket with nothing to
// read).
#include "platform/sim/sim_socket.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "platform/sim/sim.h"
#include "platform/sim/sim_thread.h"
#include "platform/win_base.h"

namespace sim {
namespace {

constexpr int kWsaNotInitialised = 10093;
constexpr int kWsaVersionNotSupported = 10092;
constexpr int kWsaNotConnected = 10057;
constexpr int kWsaInvalidArgument = 10022;
constexpr int kWsaFault = 10014;
constexpr int kWsaAddressFamilyNotSupported = 10047;

enum class Behaviour { kServe, kStall, kRefuse, kSilent, kHangLookup, kSilentConnect };

struct Script {
  Behaviour behaviour = Behaviour::kServe;
  std::vector<std::string> pieces;
  uint64_t delayMs = 0;
  BYTE address;  // the last byte of 127.0.0.x
};

struct Socket {
  std::string host;  // empty until connected
  std::vector<std::string> pieces;
  size_t piece = 0;
  bool stall = false;
  bool nonBlocking = false;
  // A non-blocking connect under way: its server, and when it is accepted
  // (never, for a silent one); or failed.
  bool connecting = false;
  std::string pendingHost;
  Script pendingScript;
  std::optional<uint64_t> acceptAtMs;
  bool failed = false;
  int blockedCalls = 0;
};

struct Net {
  std::map<std::string, Script> scripts;
  BYTE nextAddress = 11;
  std::map<SOCKET, std::shared_ptr<Socket>> sockets;
  SOCKET nextSocket = 0x1F0;
  int users = 0;
  std::vector<std::string> lookedUp;
  std::vector<std::string> connected;
  std::map<std::string, std::vector<std::string>> aliases;
  size_t closedWhileInUse = 0;
};

Net& N() {
  static Net net;
  return net;
}

ResetHook reset([] { N() = Net(); });

void SetScript(const std::string& host, Behaviour behaviour, std::vector<std::string> pieces = {},
               uint64_t delayMs = 0) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  auto found = N().scripts.find(host);
  const BYTE address = found != N().scripts.end() ? found->second.address : N().nextAddress++;
  N().scripts[host] = Script{behaviour, std::move(pieces), delayMs, address};
}

int Fail(int error) {
  SetLastError(static_cast<DWORD>(error));
  return SOCKET_ERROR;
}

// With Lock() held: the connection is made.
void Connected(Socket& socket, const std::string& host, const Script& script) {
  N().connected.push_back(host);
  socket.host = host;
  socket.pieces =
      script.behaviour == Behaviour::kSilent ? std::vector<std::string>() : script.pieces;
  socket.stall = script.behaviour != Behaviour::kServe;
}

// With Lock() held: a non-blocking connect whose time has come is done.
void Settle(Socket& socket) {
  if (socket.connecting && socket.acceptAtMs && *socket.acceptAtMs <= NowMs()) {
    socket.connecting = false;
    Connected(socket, socket.pendingHost, socket.pendingScript);
  }
}

// The record gethostbyname hands out, one per thread as in Windows Sockets.
constexpr size_t kMaxAddresses = 8;
struct HostRecord {
  std::string name;
  IN_ADDR address[kMaxAddresses];
  char* addresses[kMaxAddresses + 1];
  char* aliases[1];
  HOSTENT entry;
};
thread_local HostRecord t_host;

}  // namespace

void ServeDaytime(const std::string& host, const std::vector<std::string>& pieces,
                  uint64_t delayMs) {
  SetScript(host, Behaviour::kServe, pieces, delayMs);
}
void ServeAndStall(const std::string& host, const std::vector<std::string>& pieces) {
  SetScript(host, Behaviour::kStall, pieces);
}
void RefuseConnection(const std::string& host) { SetScript(host, Behaviour::kRefuse); }
void SilentServer(const std::string& host) { SetScript(host, Behaviour::kSilent); }
void HangNameLookup(const std::string& host) { SetScript(host, Behaviour::kHangLookup); }
void SilentConnect(const std::string& host) { SetScript(host, Behaviour::kSilentConnect); }

void ResolveTo(const std::string& name, const std::vector<std::string>& hosts) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  N().aliases[name] = hosts;
}

size_t SocketsClosedWhileInUse() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return N().closedWhileInUse;
}

void MissingWinsock() {
  for (const char* function :
       {"WSAStartup", "WSACleanup", "gethostbyname", "socket", "connect", "recv", "closesocket"}) {
    FailCall(function, ERROR_MOD_NOT_FOUND, 0, -1);
  }
}

std::vector<std::string> LookedUpHosts() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return N().lookedUp;
}

std::vector<std::string> ConnectedHosts() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return N().connected;
}

size_t OpenSockets() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return N().sockets.size();
}

int WinsockUsers() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return N().users;
}

}  // namespace sim

using sim::Enter;
using sim::Fmt;
using sim::N;

int WINAPI WSAStartup(WORD versionRequested, LPWSADATA data) {
  if (auto error = Enter("WSAStartup", Fmt("0x%04X", versionRequested))) {
    return static_cast<int>(*error);
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  // Versions are major in the low byte, minor in the high one; 1.1 is the oldest.
  const int major = versionRequested & 0xFF, minor = versionRequested >> 8;
  if (major < 1 || (major == 1 && minor < 1)) return sim::kWsaVersionNotSupported;
  if (!data) return sim::kWsaFault;
  memset(data, 0, sizeof *data);
  data->wVersion = 0x0101;
  data->wHighVersion = 0x0202;
  ++N().users;
  return 0;
}

int WINAPI WSACleanup() {
  if (Enter("WSACleanup", "")) return SOCKET_ERROR;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (N().users == 0) return sim::Fail(sim::kWsaNotInitialised);
  --N().users;
  return 0;
}

int WINAPI WSAGetLastError() { return static_cast<int>(GetLastError()); }

HOSTENT* WINAPI gethostbyname(const char* name) {
  if (Enter("gethostbyname", sim::Str(name))) return nullptr;
  sim::Script script;
  std::vector<BYTE> addresses;
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    if (N().users == 0) {
      sim::Fail(sim::kWsaNotInitialised);
      return nullptr;
    }
    if (!name) {
      sim::Fail(sim::kWsaFault);
      return nullptr;
    }
    N().lookedUp.push_back(name);
    std::vector<std::string> hosts{name};
    auto alias = N().aliases.find(name);
    if (alias != N().aliases.end()) hosts = alias->second;
    for (const std::string& host : hosts) {
      auto found = N().scripts.find(host);
      if (found == N().scripts.end()) continue;
      if (found->second.behaviour == sim::Behaviour::kHangLookup) script = found->second;
      if (addresses.size() < sim::kMaxAddresses) addresses.push_back(found->second.address);
    }
    if (addresses.empty()) {
      sim::Fail(WSAHOST_NOT_FOUND);
      return nullptr;
    }
  }
  // Outside the lock: the check goes on while this thread waits for ever.
  if (script.behaviour == sim::Behaviour::kHangLookup) sim::BlockThread(nullptr, std::nullopt);
  sim::HostRecord& record = sim::t_host;
  record.name = name;
  for (size_t i = 0; i < addresses.size(); ++i) {
    record.address[i] = IN_ADDR{{127, 0, 0, addresses[i]}};
    record.addresses[i] = reinterpret_cast<char*>(&record.address[i]);
  }
  record.addresses[addresses.size()] = nullptr;
  record.aliases[0] = nullptr;
  record.entry = HOSTENT{&record.name[0], record.aliases, AF_INET, 4, record.addresses};
  return &record.entry;
}

SOCKET WINAPI socket(int family, int type, int protocol) {
  if (Enter("socket", Fmt("%d, %d, %d", family, type, protocol))) return INVALID_SOCKET;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (N().users == 0) {
    sim::Fail(sim::kWsaNotInitialised);
    return INVALID_SOCKET;
  }
  if (family != AF_INET || type != SOCK_STREAM || (protocol != 0 && protocol != IPPROTO_TCP)) {
    sim::Fail(sim::kWsaAddressFamilyNotSupported);
    return INVALID_SOCKET;
  }
  const SOCKET s = N().nextSocket += 4;
  N().sockets[s] = std::make_shared<sim::Socket>();
  return s;
}

int WINAPI connect(SOCKET s, const SOCKADDR* name, int length) {
  const auto* to = reinterpret_cast<const SOCKADDR_IN*>(name);
  std::string args = Fmt("0x%zX", static_cast<size_t>(s));
  if (to && length >= static_cast<int>(sizeof(SOCKADDR_IN))) {
    const BYTE* port = reinterpret_cast<const BYTE*>(&to->sin_port);
    args += Fmt(", %u.%u.%u.%u:%u", to->sin_addr.bytes[0], to->sin_addr.bytes[1],
                to->sin_addr.bytes[2], to->sin_addr.bytes[3], port[0] << 8 | port[1]);
  }
  if (Enter("connect", args)) return SOCKET_ERROR;
  std::shared_ptr<sim::Socket> socket;
  sim::Script script;
  std::string host;
  uint64_t now;
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    auto it = N().sockets.find(s);
    if (it == N().sockets.end()) return sim::Fail(WSAENOTSOCK);
    socket = it->second;
    if (!to || length < static_cast<int>(sizeof(SOCKADDR_IN)) || to->sin_family != AF_INET) {
      return sim::Fail(sim::kWsaInvalidArgument);
    }
    const BYTE* port = reinterpret_cast<const BYTE*>(&to->sin_port);
    bool found = false;
    for (const auto& entry : N().scripts) {
      const BYTE* a = to->sin_addr.bytes;
      if (a[0] == 127 && a[1] == 0 && a[2] == 0 && a[3] == entry.second.address) {
        host = entry.first;
        script = entry.second;
        found = true;
      }
    }
    // Only the DAYTIME port of a scripted server answers.
    if (socket->nonBlocking) {
      if (socket->connecting || !socket->host.empty()) return sim::Fail(10056);  // WSAEISCONN
      socket->connecting = true;
      socket->pendingHost = host;
      socket->pendingScript = script;
      if (!found || port[0] != 0 || port[1] != 13 ||
          script.behaviour == sim::Behaviour::kSilentConnect) {
        socket->acceptAtMs.reset();
      } else if (script.behaviour == sim::Behaviour::kRefuse) {
        socket->connecting = false;
        socket->failed = true;
      } else {
        socket->acceptAtMs = sim::NowMs() + script.delayMs;
        sim::Settle(*socket);
      }
      return sim::Fail(WSAEWOULDBLOCK);
    }
    if (!found || port[0] != 0 || port[1] != 13) return sim::Fail(WSAETIMEDOUT);
    if (script.behaviour == sim::Behaviour::kRefuse) return sim::Fail(WSAECONNREFUSED);
    now = sim::NowMs();
    ++socket->blockedCalls;
  }
  std::optional<uint64_t> acceptAt = now + script.delayMs;
  if (script.behaviour == sim::Behaviour::kSilentConnect) acceptAt.reset();
  const bool woken = (script.delayMs > 0 || !acceptAt) && sim::BlockThread(socket.get(), acceptAt);
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  --socket->blockedCalls;
  if (woken || N().sockets.count(s) == 0) return sim::Fail(WSAEINTR);
  sim::Connected(*socket, host, script);
  return 0;
}

int WINAPI ioctlsocket(SOCKET s, LONG command, ULONG* argument) {
  if (Enter("ioctlsocket", Fmt("0x%zX, 0x%X, %u", static_cast<size_t>(s),
                               static_cast<unsigned>(command), argument ? *argument : 0u))) {
    return SOCKET_ERROR;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  auto it = N().sockets.find(s);
  if (it == N().sockets.end()) return sim::Fail(WSAENOTSOCK);
  if (command != kSocketNonBlocking || !argument) return sim::Fail(sim::kWsaInvalidArgument);
  it->second->nonBlocking = *argument != 0;
  return 0;
}

int WINAPI select(int, SOCKET_SET* read, SOCKET_SET* write, SOCKET_SET* except,
                  const SOCKET_WAIT* timeout) {
  auto count = [](const SOCKET_SET* set) { return set ? set->fd_count : 0u; };
  if (Enter("select",
            Fmt("%u, %u, %u, %s", count(read), count(write), count(except),
                timeout ? Fmt("%d.%06d", timeout->tv_sec, timeout->tv_usec).c_str() : "NULL"))) {
    return SOCKET_ERROR;
  }
  std::optional<uint64_t> deadline;
  if (timeout) {
    deadline = sim::NowMs() + static_cast<uint64_t>(timeout->tv_sec) * 1000 +
               static_cast<uint64_t>(timeout->tv_usec) / 1000;
  }
  auto readable = [](const sim::Socket& x) {
    return !x.host.empty() && (x.piece < x.pieces.size() || !x.stall);
  };
  auto writable = [](const sim::Socket& x) { return !x.host.empty(); };
  auto failed = [](const sim::Socket& x) { return x.failed; };
  for (;;) {
    std::shared_ptr<sim::Socket> first;
    std::optional<uint64_t> change = deadline;
    {
      std::lock_guard<std::recursive_mutex> guard(sim::Lock());
      // Counts the sockets of `set` that pass `test`; with `keep`, leaves
      // only those in it. False when one is not a socket.
      auto sweep = [&](SOCKET_SET* set, bool (*test)(const sim::Socket&), bool keep,
                       int* ready) -> bool {
        if (!set) return true;
        UINT kept = 0;
        for (UINT i = 0; i < set->fd_count && i < kSocketSetSize; ++i) {
          auto it = N().sockets.find(set->fd_array[i]);
          if (it == N().sockets.end()) return false;
          sim::Socket& socket = *it->second;
          sim::Settle(socket);
          if (!first) first = it->second;
          if (socket.connecting && socket.acceptAtMs && (!change || *socket.acceptAtMs < *change)) {
            change = socket.acceptAtMs;
          }
          if (test(socket)) {
            ++*ready;
            if (keep) set->fd_array[kept++] = set->fd_array[i];
          }
        }
        if (keep) set->fd_count = kept;
        return true;
      };
      int ready = 0;
      if (!sweep(read, readable, false, &ready) || !sweep(write, writable, false, &ready) ||
          !sweep(except, failed, false, &ready)) {
        return sim::Fail(WSAENOTSOCK);
      }
      if (!first) return sim::Fail(sim::kWsaInvalidArgument);
      if (ready > 0 || (deadline && *deadline <= sim::NowMs())) {
        ready = 0;
        sweep(read, readable, true, &ready);
        sweep(write, writable, true, &ready);
        sweep(except, failed, true, &ready);
        return ready;
      }
      ++first->blockedCalls;
    }
    sim::BlockThread(first.get(), change);
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    --first->blockedCalls;
  }
}

int WINAPI recv(SOCKET s, char* buffer, int length, int flags) {
  if (Enter("recv", Fmt("0x%zX, %d, %d", static_cast<size_t>(s), length, flags))) {
    return SOCKET_ERROR;
  }
  std::shared_ptr<sim::Socket> socket;
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    auto it = N().sockets.find(s);
    if (it == N().sockets.end()) return sim::Fail(WSAENOTSOCK);
    socket = it->second;
    if (socket->host.empty()) return sim::Fail(sim::kWsaNotConnected);
    if (!buffer || length <= 0) return sim::Fail(sim::kWsaInvalidArgument);
    if (socket->piece < socket->pieces.size()) {
      std::string& piece = socket->pieces[socket->piece];
      const size_t n = std::min(piece.size(), static_cast<size_t>(length));
      memcpy(buffer, piece.data(), n);
      piece.erase(0, n);
      if (piece.empty()) ++socket->piece;
      return static_cast<int>(n);
    }
    if (!socket->stall) return 0;
    if (socket->nonBlocking) return sim::Fail(WSAEWOULDBLOCK);
    ++socket->blockedCalls;
  }
  sim::BlockThread(socket.get(), std::nullopt);
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  --socket->blockedCalls;
  return sim::Fail(WSAEINTR);
}

int WINAPI closesocket(SOCKET s) {
  if (Enter("closesocket", Fmt("0x%zX", static_cast<size_t>(s)))) return SOCKET_ERROR;
  std::shared_ptr<sim::Socket> socket;
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    auto it = N().sockets.find(s);
    if (it == N().sockets.end()) return sim::Fail(WSAENOTSOCK);
    socket = it->second;
    if (socket->blockedCalls > 0) ++N().closedWhileInUse;
    N().sockets.erase(it);
  }
  sim::WakeBlocked(socket.get());
  return 0;
}
