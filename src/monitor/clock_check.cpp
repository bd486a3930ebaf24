#include "monitor/clock_check.h"

#include "monitor/daytime.h"
#include "monitor/event_log.h"
#include "monitor/fetch.h"
#include "monitor/server_table.h"
#include "monitor/timing.h"
#include "platform/win_base.h"
#include "platform/win_event.h"

UINT_PTR g_timerId;
MissingLogged g_missingLogged;

namespace {

constexpr const char* kAgent = "Microsoft Internet Explorer";

// Logs a failed call. A DLL or entry point that is missing (no Dial-Up
// Networking on an offline PC) stays so: logged at the first check only,
// or the log would grow by a line every two minutes for ever.
void LogFailure(const char* message, DWORD error, bool* loggedMissing) {
  const bool missing = error == ERROR_MOD_NOT_FOUND || error == ERROR_PROC_NOT_FOUND;
  if (missing && *loggedMissing) return;
  // Only once written: a line that failed is tried again next time.
  if (LogEvent(message) == 0 && missing) *loggedMissing = true;
}

// True when the first dial-up connection is up. Logs a failing RAS call.
bool DialUpConnected() {
  DialUpConnection connections[kDialUpConnectionRoom];
  connections[0].dwSize = kDialUpConnectionSize;
  DWORD size = sizeof connections;
  DWORD count = 0;
  const DWORD enumerated =
      RasEnumConnectionsA(reinterpret_cast<LPRASCONNA>(connections), &size, &count);
  if (enumerated != 0) {
    LogFailure("RasEnumConnections Failed", enumerated, &g_missingLogged.rasEnumConnections);
    return false;
  }
  if (count == 0) return false;

  DialUpStatus status;
  status.dwSize = kDialUpStatusSize;
  HRASCONN first = reinterpret_cast<HRASCONN>(static_cast<uintptr_t>(connections[0].hrasconn));
  const DWORD got = RasGetConnectStatusA(first, reinterpret_cast<LPRASCONNSTATUSA>(&status));
  if (got != 0) {
    LogFailure("RasGetConnectStatus Failed", got, &g_missingLogged.rasGetConnectStatus);
    return false;
  }
  return status.rasconnstate == RASCS_Connected;
}

bool Online() {
  DWORD flags;
  return InternetGetConnectedState(&flags, 0) || DialUpConnected();
}

// The check's holds on one fetch, let go however the check ends.
class FetchHolds {
 public:
  explicit FetchHolds(Fetch* fetch) : fetch_(fetch), thread_(nullptr) {}
  ~FetchHolds() {
    if (thread_) CloseHandle(thread_);
    ReleaseCheckHold(fetch_);
  }
  FetchHolds(const FetchHolds&) = delete;
  FetchHolds& operator=(const FetchHolds&) = delete;
  void SetThread(HANDLE thread) { thread_ = thread; }

 private:
  Fetch* fetch_;
  HANDLE thread_;
};

}  // namespace

void AskServer(Fetch* fetch, LPTHREAD_START_ROUTINE worker, HANDLE stop) {
  FetchHolds holds(fetch);
  DWORD threadId;
  HANDLE thread = CreateThread(nullptr, 0, worker, fetch, 0, &threadId);
  if (!thread) {
    ReleaseWorkerHold(fetch);
    CutFetch(fetch);
    LogEvent("BeginThread failed");
    return;
  }
  holds.SetThread(thread);

  const HANDLE waitFor[] = {thread, stop};
  const DWORD waitMs = WorkerWaitMs(fetch);
  const DWORD waited = stop ? WaitForMultipleObjects(2, waitFor, FALSE, waitMs)
                            : WaitForSingleObject(thread, waitMs);
  if (waited != WAIT_OBJECT_0) {
    // Closing the session wakes an open or a read blocked on it, and a
    // socket worker sees the cut within a slice; the worker then ends on
    // its own. One that does not wake (a hung name lookup) is left with its
    // record and never heard from again.
    CutFetch(fetch);
    // Told to stop: the server was not judged, and the worker is given a
    // moment to close its socket.
    if (waited == WAIT_OBJECT_0 + 1) {
      WaitForSingleObject(thread, kSocketGraceMs);
    } else {
      AdvanceServer();
    }
    return;
  }

  DWORD exitCode = 0;
  if (!GetExitCodeThread(thread, &exitCode)) {
    AdvanceServer();
    LogEvent("GetExitCode Failed");
    return;
  }
  // Nothing read, or a reply that asks for nothing useful: the next check
  // asks another server.
  const ReplyOutcome outcome = exitCode == 0
                                   ? ReplyOutcome::kUnusable
                                   : ApplyDaytimeReply(fetch->reply, fetch->count, g_servers.index);
  if (!AskAgain(outcome)) AdvanceServer();
}

void CALLBACK CheckTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  if (g_timerId != 0) KillTimer(nullptr, g_timerId);
  ClockCheck();
  g_timerId = SetTimer(nullptr, 0, kCheckIntervalMs, CheckTimerProc);
}

void ClockCheck() {
  if (!Online()) return;
  // Fetches left behind still hold their threads: rather than add another,
  // the check waits for a later tick.
  if (LiveFetches() >= kMaxLiveFetches) return;

  // Direct: a proxy the user set for the web cannot carry DAYTIME.
  HINTERNET session = InternetOpenA(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!session) {
    LogFailure("InternetOpen Failed", GetLastError(), &g_missingLogged.internetOpen);
    return;
  }
  AskServer(NewFetch(CurrentServerUrl(), session), FetchWorker, nullptr);
}
