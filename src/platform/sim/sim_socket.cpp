// Simulated wsock32 (Microsoft, Windows Sockets 2 reference: "WSAStartup
// function" returns its error instead of setting one and is counted, each
// call balanced by a WSACleanup; "gethostbyname function": a name that is
// not found gives null and WSAHOST_NOT_FOUND, and the record lives in storage
// of the calling thread; "connect function": WSAECONNREFUSED when the server
// refuses; "recv function": 0 once the server has closed the connection;
// "closesocket function": pending blocking calls on the socket, issued by any
// thread, are cancelled, and fail with WSAEINTR).
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

enum class Behaviour { kServe, kStall, kRefuse, kSilent, kHangLookup };

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
};

struct Net {
  std::map<std::string, Script> scripts;
  BYTE nextAddress = 11;
  std::map<SOCKET, std::shared_ptr<Socket>> sockets;
  SOCKET nextSocket = 0x1F0;
  int users = 0;
  std::vector<std::string> lookedUp;
  std::vector<std::string> connected;
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

// The record gethostbyname hands out, one per thread as in Windows Sockets.
struct HostRecord {
  std::string name;
  IN_ADDR address;
  char* addresses[2];
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
    auto found = N().scripts.find(name);
    if (found == N().scripts.end()) {
      sim::Fail(WSAHOST_NOT_FOUND);
      return nullptr;
    }
    script = found->second;
  }
  // Outside the lock: the check goes on while this thread waits for ever.
  if (script.behaviour == sim::Behaviour::kHangLookup) sim::BlockThread(nullptr, std::nullopt);
  sim::HostRecord& record = sim::t_host;
  record.name = name;
  record.address = IN_ADDR{{127, 0, 0, script.address}};
  record.addresses[0] = reinterpret_cast<char*>(&record.address);
  record.addresses[1] = nullptr;
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
    if (!found || port[0] != 0 || port[1] != 13) return sim::Fail(WSAETIMEDOUT);
    if (script.behaviour == sim::Behaviour::kRefuse) return sim::Fail(WSAECONNREFUSED);
    now = sim::NowMs();
  }
  if (script.delayMs > 0 && sim::BlockThread(socket.get(), now + script.delayMs)) {
    return sim::Fail(WSAEINTR);
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (N().sockets.count(s) == 0) return sim::Fail(WSAEINTR);
  N().connected.push_back(host);
  socket->host = host;
  socket->pieces =
      script.behaviour == sim::Behaviour::kSilent ? std::vector<std::string>() : script.pieces;
  socket->stall = script.behaviour != sim::Behaviour::kServe;
  return 0;
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
  }
  sim::BlockThread(socket.get(), std::nullopt);
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
    N().sockets.erase(it);
  }
  sim::WakeBlocked(socket.get());
  return 0;
}
