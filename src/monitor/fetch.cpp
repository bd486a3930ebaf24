#include "monitor/fetch.h"

namespace {

std::atomic<LONG> g_liveFetches{0};

void LetGo(Fetch* fetch) {
  if (fetch->holders.fetch_sub(1) == 1) delete fetch;
}

// Closes the fetch's handles if nobody has yet; true when this call did.
bool CloseOnce(Fetch* fetch, bool withFile) {
  if (fetch->closed.exchange(true)) return false;
  if (withFile && fetch->file) InternetCloseHandle(fetch->file);
  InternetCloseHandle(fetch->session);
  return true;
}

}  // namespace

Fetch* NewFetch(const char* url, HINTERNET session) {
  Fetch* fetch = new Fetch;
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
  // Let go however the thread ends (the simulated Windows unwinds the
  // threads a test left blocked).
  struct Hold {
    Fetch* fetch;
    ~Hold() { ReleaseWorkerHold(fetch); }
  } hold{fetch};
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
