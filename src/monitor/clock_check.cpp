#include "monitor/clock_check.h"

#include "monitor/daytime.h"
#include "monitor/domain_time.h"
#include "monitor/event_log.h"
#include "monitor/fetch.h"
#include "monitor/second_opinion.h"
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

namespace {

// What asking one server came to.
struct Answer {
  bool asked;    // a worker ran (false: none could be started; logged)
  bool stopped;  // told to stop before the server had answered
  ReplyOutcome outcome;
};

// Runs `fetch` of server `server` (held by the caller and by the worker to
// come, which then owns its session or socket) on a thread of `worker`,
// waits for it at most kWatchdogMs, or until `stop` is set when `stop` is
// not null, and applies the reply.
Answer AskServer(Fetch* fetch, LPTHREAD_START_ROUTINE worker, HANDLE stop, LONG server) {
  FetchHolds holds(fetch);
  DWORD threadId;
  HANDLE thread = CreateThread(nullptr, 0, worker, fetch, 0, &threadId);
  if (!thread) {
    ReleaseWorkerHold(fetch);
    CutFetch(fetch);
    LogEvent("BeginThread failed");
    return {false, false, ReplyOutcome::kUnusable};
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
    const bool stopped = waited == WAIT_OBJECT_0 + 1;
    if (stopped) WaitForSingleObject(thread, kSocketGraceMs);
    return {true, stopped, ReplyOutcome::kUnusable};
  }

  DWORD exitCode = 0;
  if (!GetExitCodeThread(thread, &exitCode)) {
    LogEvent("GetExitCode Failed");
    return {true, false, ReplyOutcome::kUnusable};
  }
  // Nothing read counts as a reply that cannot be used.
  if (exitCode == 0) return {true, false, ReplyOutcome::kUnusable};
  return {true, false, ApplyDaytimeReply(fetch->reply, fetch->count, server)};
}

}  // namespace

void CheckServers(Fetch* (*newFetch)(LONG server), LPTHREAD_START_ROUTINE worker, HANDLE stop) {
  // A step lives within the check that heard of it.
  ForgetStep(&g_heldStep);
  const LONG first = g_servers.index;
  Fetch* fetch = newFetch(first);
  if (!fetch) return;
  const Answer answer = AskServer(fetch, worker, stop, first);
  // Asked no server, or was told to stop: the server was not judged.
  if (!answer.asked || answer.stopped) return;
  if (answer.outcome != ReplyOutcome::kStepHeld) {
    if (!AskAgain(answer.outcome)) AdvanceServer();
    return;
  }
  // A step: the next server, of another site, is asked at once (NIST's
  // limit of one query every 4 seconds is each server's).
  const LONG second = NextServerIndex(first);
  std::optional<ReplyOutcome> confirmation;
  if (LiveFetches() < kMaxLiveFetches) {
    if (Fetch* next = newFetch(second)) {
      const Answer other = AskServer(next, worker, stop, second);
      if (other.stopped) {
        ForgetStep(&g_heldStep);
        return;
      }
      if (other.asked) confirmation = other.outcome;
    }
  }
  ForgetStep(&g_heldStep);
  g_servers.index = ServerAfterHeldStep(first, confirmation);
}

void CALLBACK CheckTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  if (g_timerId != 0) KillTimer(nullptr, g_timerId);
  ClockCheck();
  g_timerId = SetTimer(nullptr, 0, kCheckIntervalMs, CheckTimerProc);
}

namespace {

// A fetch of `server` on a URL session of its own; null when no session
// could be opened (logged).
Fetch* NewUrlFetch(LONG server) {
  // Direct: a proxy the user set for the web cannot carry DAYTIME.
  HINTERNET session = InternetOpenA(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!session) {
    LogFailure("InternetOpen Failed", GetLastError(), &g_missingLogged.internetOpen);
    return nullptr;
  }
  return NewFetch(ServerUrl(server), session);
}

}  // namespace

void ClockCheck() {
  if (LeftToTheDomain()) return;
  if (!Online()) return;
  // Fetches left behind still hold their threads: rather than add another,
  // the check waits for a later tick.
  if (LiveFetches() >= kMaxLiveFetches) return;
  CheckServers(NewUrlFetch, FetchWorker, nullptr);
}
