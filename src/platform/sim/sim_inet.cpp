// Simulated wininet and rasapi32.
#include "platform/sim/sim_inet.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/sim/sim.h"
#include "platform/sim/sim_thread.h"
#include "platform/win_base.h"

namespace sim {
namespace {

// The oldest RAS record layouts (the only ones the simulation takes):
// byte offsets of their fields.
constexpr DWORD kRasConnSize = 412;
constexpr size_t kConnHandle = 4, kConnEntryName = 8, kConnDeviceType = 265, kConnDeviceName = 282;
constexpr DWORD kRasStatusSize = 160;
constexpr size_t kStatusState = 4, kStatusError = 8, kStatusDeviceType = 12, kStatusDeviceName = 29;
constexpr size_t kEntryNameRoom = 257, kDeviceTypeRoom = 17, kDeviceNameRoom = 129;

enum class Behaviour { kReply, kRefuse, kHangUntilClosed, kHangForever };

// How a read that wants more than the server sent ends.
enum class Stall { kNone, kUntilClosed, kForever };

struct Script {
  Behaviour behaviour = Behaviour::kReply;
  std::vector<std::string> pieces;
  uint64_t delayMs = 0;
  Stall stall = Stall::kNone;
};

struct InternetHandle {
  bool isSession;
  uintptr_t session;  // a URL handle's session
  std::vector<std::string> pieces;
  Stall stall = Stall::kNone;
  size_t piece = 0;
  size_t offset = 0;
};

struct DialUp {
  uint32_t handle;
  std::string name;
  DWORD state;
};

struct Net {
  bool online = false;
  std::vector<DialUp> dialUps;
  uint32_t nextDialUp = 0x5A000;
  std::map<std::string, Script> scripts;
  std::map<uintptr_t, InternetHandle> handles;
  uintptr_t nextHandle = 0xCC0004;
  std::vector<std::string> opened;
  std::vector<std::string> closes;
};

Net& N() {
  static Net net;
  return net;
}

ResetHook reset([] { N() = Net(); });

void PutText(void* record, size_t offset, size_t room, const std::string& text) {
  char* field = static_cast<char*>(record) + offset;
  memset(field, 0, room);
  memcpy(field, text.data(), std::min(text.size(), room - 1));
}

void PutDword(void* record, size_t offset, DWORD value) {
  memcpy(static_cast<char*>(record) + offset, &value, sizeof value);
}

DWORD GetDword(const void* record) {
  DWORD value;
  memcpy(&value, record, sizeof value);
  return value;
}

void SetScript(const std::string& url, Behaviour behaviour, std::vector<std::string> pieces = {},
               uint64_t delayMs = 0) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  N().scripts[url] = Script{behaviour, std::move(pieces), delayMs};
}

// A session as the key its blocked opens wait on.
const void* SessionKey(uintptr_t session) { return reinterpret_cast<const void*>(session); }

}  // namespace

void SetOnline(bool online) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  N().online = online;
}

HRASCONN AddDialUp(const std::string& entryName, DWORD state) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  uint32_t handle = N().nextDialUp += 4;
  N().dialUps.push_back({handle, entryName, state});
  return reinterpret_cast<HRASCONN>(static_cast<uintptr_t>(handle));
}

void ServeReply(const std::string& url, const std::string& bytes, uint64_t delayMs) {
  SetScript(url, Behaviour::kReply, {bytes}, delayMs);
}

void ServePieces(const std::string& url, const std::vector<std::string>& pieces) {
  SetScript(url, Behaviour::kReply, pieces);
}

void RefuseOpen(const std::string& url) { SetScript(url, Behaviour::kRefuse); }

void HangUntilSessionClosed(const std::string& url) { SetScript(url, Behaviour::kHangUntilClosed); }

void HangForever(const std::string& url) { SetScript(url, Behaviour::kHangForever); }

void ServeAndStall(const std::string& url, const std::string& bytes, bool wakesOnClose) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  N().scripts[url] =
      Script{Behaviour::kReply, {bytes}, 0, wakesOnClose ? Stall::kUntilClosed : Stall::kForever};
}

void MissingDll(const std::string& dll) {
  static const std::map<std::string, std::vector<std::string>> kExports = {
      {"wininet.dll",
       {"InternetGetConnectedState", "InternetOpenA", "InternetOpenUrlA", "InternetReadFile",
        "InternetCloseHandle"}},
      {"rasapi32.dll", {"RasEnumConnectionsA", "RasGetConnectStatusA"}},
  };
  for (const std::string& function : kExports.at(dll)) {
    FailCall(function, ERROR_MOD_NOT_FOUND, 0, -1);
  }
}

void MissingEntry(const std::string& function) { FailCall(function, ERROR_PROC_NOT_FOUND, 0, -1); }

std::vector<std::string> OpenedUrls() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return N().opened;
}

std::vector<std::string> InternetCloses() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return N().closes;
}

size_t OpenInternetHandles(const std::string& kind) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  size_t count = 0;
  for (const auto& entry : N().handles) {
    const char* its = entry.second.isSession ? "session" : "url";
    if (kind.empty() || kind == its) ++count;
  }
  return count;
}

}  // namespace sim

using sim::Enter;
using sim::Fmt;
using sim::N;
using sim::Str;

BOOL WINAPI InternetGetConnectedState(LPDWORD flags, DWORD reserved) {
  if (Enter("InternetGetConnectedState", Fmt("%u", reserved))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (flags) *flags = N().online ? 0x12 : 0x30;
  return N().online ? TRUE : FALSE;
}

HINTERNET WINAPI InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass,
                               DWORD flags) {
  if (Enter("InternetOpenA", Fmt("%s, %u, %s, %s, 0x%X", Str(agent).c_str(), accessType,
                                 Str(proxy).c_str(), Str(proxyBypass).c_str(), flags))) {
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  uintptr_t value = N().nextHandle += 4;
  N().handles[value] = sim::InternetHandle{true, 0, {}};
  return reinterpret_cast<HINTERNET>(value);
}

HINTERNET WINAPI InternetOpenUrlA(HINTERNET session, LPCSTR url, LPCSTR headers,
                                  DWORD headersLength, DWORD flags, DWORD_PTR context) {
  if (Enter("InternetOpenUrlA",
            Fmt("%p, %s, %s, %u, 0x%X, %zu", session, Str(url).c_str(), Str(headers).c_str(),
                headersLength, flags, static_cast<size_t>(context)))) {
    return nullptr;
  }
  uintptr_t sessionValue = reinterpret_cast<uintptr_t>(session);
  sim::Script script;
  uint64_t now;
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    auto it = N().handles.find(sessionValue);
    if (it == N().handles.end() || !it->second.isSession || !url) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    N().opened.push_back(url);
    auto found = N().scripts.find(url);
    if (found == N().scripts.end()) {
      SetLastError(sim::kInternetNameNotResolved);
      return nullptr;
    }
    script = found->second;
    now = sim::NowMs();
  }
  // The blocks below run without the lock: the main thread goes on meanwhile.
  switch (script.behaviour) {
    case sim::Behaviour::kRefuse:
      SetLastError(sim::kInternetCannotConnect);
      return nullptr;
    case sim::Behaviour::kHangUntilClosed:
      sim::BlockThread(sim::SessionKey(sessionValue), std::nullopt);
      SetLastError(sim::kInternetOperationCancelled);
      return nullptr;
    case sim::Behaviour::kHangForever:
      sim::BlockThread(nullptr, std::nullopt);
      SetLastError(sim::kInternetOperationCancelled);
      return nullptr;
    case sim::Behaviour::kReply:
      break;
  }
  if (script.delayMs > 0 && sim::BlockThread(sim::SessionKey(sessionValue), now + script.delayMs)) {
    SetLastError(sim::kInternetOperationCancelled);
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (N().handles.count(sessionValue) == 0) {
    SetLastError(sim::kInternetOperationCancelled);
    return nullptr;
  }
  uintptr_t value = N().nextHandle += 4;
  N().handles[value] = sim::InternetHandle{false, sessionValue, script.pieces, script.stall};
  return reinterpret_cast<HINTERNET>(value);
}

BOOL WINAPI InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read) {
  if (Enter("InternetReadFile", Fmt("%p, %u", file, toRead))) return FALSE;
  sim::Stall stall;
  uintptr_t session;
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    auto it = N().handles.find(reinterpret_cast<uintptr_t>(file));
    if (it == N().handles.end() || it->second.isSession) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (!buffer || !read) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    stall = it->second.stall;
    session = it->second.session;
  }
  // A server that keeps the connection open: the read waits without the
  // lock, like a blocked open.
  if (stall != sim::Stall::kNone) {
    sim::BlockThread(stall == sim::Stall::kUntilClosed ? sim::SessionKey(session) : nullptr,
                     std::nullopt);
    SetLastError(sim::kInternetOperationCancelled);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  auto it = N().handles.find(reinterpret_cast<uintptr_t>(file));
  if (it == N().handles.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  sim::InternetHandle& h = it->second;
  DWORD n = 0;
  if (h.piece < h.pieces.size()) {
    const std::string& piece = h.pieces[h.piece];
    n = static_cast<DWORD>(std::min<size_t>(toRead, piece.size() - h.offset));
    memcpy(buffer, piece.data() + h.offset, n);
    h.offset += n;
    if (h.offset == piece.size()) {
      ++h.piece;
      h.offset = 0;
    }
  }
  *read = n;
  return TRUE;
}

BOOL WINAPI InternetCloseHandle(HINTERNET handle) {
  if (Enter("InternetCloseHandle", Fmt("%p", handle))) return FALSE;
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  bool isSession;
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    auto& handles = N().handles;
    auto it = handles.find(value);
    if (it == handles.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    isSession = it->second.isSession;
    N().closes.push_back(isSession ? "session" : "url");
    handles.erase(it);
    // As in WinINet, a session's URL handles go with it.
    for (auto child = handles.begin(); child != handles.end();) {
      if (isSession && !child->second.isSession && child->second.session == value) {
        child = handles.erase(child);
      } else {
        ++child;
      }
    }
  }
  // Outside the lock: the woken opens take it to finish.
  if (isSession) sim::WakeBlocked(sim::SessionKey(value));
  return TRUE;
}

DWORD WINAPI RasEnumConnectionsA(LPRASCONNA connections, LPDWORD size, LPDWORD count) {
  if (auto error = Enter("RasEnumConnectionsA", Fmt("%u", size ? *size : 0))) return *error;
  if (!connections || !size || !count) return ERROR_INVALID_PARAMETER;
  if (sim::GetDword(connections) != sim::kRasConnSize) return sim::kRasInvalidSize;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  const auto& dialUps = N().dialUps;
  DWORD needed = static_cast<DWORD>(dialUps.size()) * sim::kRasConnSize;
  *count = static_cast<DWORD>(dialUps.size());
  if (*size < needed) {
    *size = needed;
    return ERROR_BUFFER_TOO_SMALL;
  }
  for (size_t i = 0; i < dialUps.size(); ++i) {
    void* record = reinterpret_cast<char*>(connections) + i * sim::kRasConnSize;
    sim::PutDword(record, 0, sim::kRasConnSize);
    sim::PutDword(record, sim::kConnHandle, dialUps[i].handle);
    sim::PutText(record, sim::kConnEntryName, sim::kEntryNameRoom, dialUps[i].name);
    sim::PutText(record, sim::kConnDeviceType, sim::kDeviceTypeRoom, "modem");
    sim::PutText(record, sim::kConnDeviceName, sim::kDeviceNameRoom, "Simulated Modem");
  }
  *size = needed;
  return 0;
}

DWORD WINAPI RasGetConnectStatusA(HRASCONN connection, LPRASCONNSTATUSA status) {
  if (auto error = Enter("RasGetConnectStatusA", Fmt("%p", connection))) return *error;
  if (!status) return ERROR_INVALID_PARAMETER;
  if (sim::GetDword(status) != sim::kRasStatusSize) return sim::kRasInvalidSize;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  uintptr_t value = reinterpret_cast<uintptr_t>(connection);
  for (const sim::DialUp& dialUp : N().dialUps) {
    if (dialUp.handle != value) continue;
    sim::PutDword(status, sim::kStatusState, dialUp.state);
    sim::PutDword(status, sim::kStatusError, 0);
    sim::PutText(status, sim::kStatusDeviceType, sim::kDeviceTypeRoom, "modem");
    sim::PutText(status, sim::kStatusDeviceName, sim::kDeviceNameRoom, "Simulated Modem");
    return 0;
  }
  return ERROR_INVALID_HANDLE;
}
