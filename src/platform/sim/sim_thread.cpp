// Simulated kernel32 threads.
#include "platform/sim/sim_thread.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/sim/sim.h"
#include "platform/win_base.h"

namespace sim {
namespace {

// How long a simulated thread may run in real time before it must have
// ended or blocked; only a thread function that loops for ever takes longer.
constexpr auto kSettleLimit = std::chrono::seconds(30);

// Unwinds a thread that TerminateThread ends. Private, so that no code under
// test can catch it by name.
struct Terminated {
  DWORD exitCode;
};

enum class State { kRunning, kBlocked, kEnded };

// Lock order: Lock(), then the registry's mutex, then a thread's mutex.
// Nothing takes Lock() while holding one of the other two.
struct ThreadObject : Object {
  std::mutex m;
  std::condition_variable cv;
  State state = State::kRunning;
  // While blocked: what wakes the thread.
  const void* key = nullptr;
  std::optional<uint64_t> wakeAtMs;
  bool wokenByKey = false;
  bool terminate = false;
  DWORD terminateCode = 0;
  DWORD exitCode = STILL_ACTIVE;
  std::thread worker;

  const char* Kind() const override { return "thread"; }
  DWORD Wait(DWORD timeoutMs) override;
  void Closed() override;

  // With `m` held: waits in real time until the thread has ended or blocked.
  void Settle(std::unique_lock<std::mutex>& lock) {
    if (!cv.wait_for(lock, kSettleLimit, [this] { return state != State::kRunning; })) {
      throw Stalled{"a simulated thread neither ended nor blocked"};
    }
  }
  // With `m` held: lets a blocked thread go on.
  void Resume() {
    state = State::kRunning;
    cv.notify_all();
  }
};

struct Registry {
  std::mutex m;
  std::vector<std::shared_ptr<ThreadObject>> threads;
  // Threads that were still running at a reset: never joined, kept alive.
  std::vector<std::shared_ptr<ThreadObject>> abandoned;
  DWORD nextId = 0x300;
};

Registry& R() {
  static Registry registry;
  return registry;
}

thread_local ThreadObject* t_current = nullptr;

void Run(ThreadObject* self, LPTHREAD_START_ROUTINE start, LPVOID parameter) {
  t_current = self;
  DWORD code = 0;
  try {
    code = start(parameter);
  } catch (const Terminated& terminated) {
    code = terminated.exitCode;
  } catch (...) {
    // As on Windows, an exception leaving a thread ends the process.
    fprintf(stderr, "sim: an exception left a simulated thread function\n");
    std::abort();
  }
  std::lock_guard<std::mutex> lock(self->m);
  self->exitCode = code;
  self->state = State::kEnded;
  self->cv.notify_all();
}

void Forget(ThreadObject* thread) {
  std::lock_guard<std::mutex> lock(R().m);
  auto& threads = R().threads;
  for (auto it = threads.begin(); it != threads.end(); ++it) {
    if (it->get() == thread) {
      threads.erase(it);
      return;
    }
  }
}

// Ends every thread of the previous test: blocked ones are terminated.
void EndAll() {
  std::vector<std::shared_ptr<ThreadObject>> threads;
  {
    std::lock_guard<std::mutex> lock(R().m);
    threads.swap(R().threads);
  }
  for (auto& thread : threads) {
    std::unique_lock<std::mutex> lock(thread->m);
    // A running thread may be waiting for Lock(), which the reset holds.
    if (!thread->cv.wait_for(lock, std::chrono::milliseconds(200),
                             [&] { return thread->state != State::kRunning; })) {
      fprintf(stderr, "sim: a simulated thread was still running at the reset\n");
      lock.unlock();
      thread->worker.detach();
      std::lock_guard<std::mutex> registry(R().m);
      R().abandoned.push_back(thread);
      continue;
    }
    if (thread->state == State::kBlocked) {
      thread->terminate = true;
      thread->Resume();
      thread->cv.wait(lock, [&] { return thread->state == State::kEnded; });
    }
    lock.unlock();
    if (thread->worker.joinable()) thread->worker.join();
  }
}

ResetHook reset(EndAll);

DWORD ThreadObject::Wait(DWORD timeoutMs) {
  std::optional<uint64_t> deadline;
  if (timeoutMs != INFINITE) deadline = NowMs() + timeoutMs;
  for (;;) {
    uint64_t now = NowMs();
    std::optional<uint64_t> wakeAt;
    {
      std::unique_lock<std::mutex> lock(m);
      Settle(lock);
      if (state == State::kEnded) return WAIT_OBJECT_0;
      if (wakeAtMs && *wakeAtMs <= now) {
        Resume();
        continue;
      }
      if (deadline && *deadline <= now) return WAIT_TIMEOUT;
      wakeAt = wakeAtMs;
    }
    // Blocked: let virtual time run to the next thing that can change that.
    std::optional<uint64_t> next = RunScheduled(now);
    {
      std::lock_guard<std::mutex> lock(m);
      if (state != State::kBlocked) continue;
    }
    std::optional<uint64_t> target = deadline;
    for (const auto& candidate : {wakeAt, next}) {
      if (candidate && (!target || *candidate < *target)) target = candidate;
    }
    if (!target) throw Stalled{"endless wait for a thread that is blocked for ever"};
    RunScheduled(*target);
  }
}

void ThreadObject::Closed() {
  {
    std::lock_guard<std::mutex> lock(m);
    // A thread still blocked lives on without a handle, as on Windows.
    if (state != State::kEnded) return;
  }
  if (worker.joinable()) worker.join();
  Forget(this);
}

}  // namespace

bool BlockThread(const void* key, std::optional<uint64_t> wakeAtMs) {
  ThreadObject* self = t_current;
  if (!self) {
    if (!wakeAtMs) throw Stalled{"a call on a thread that is not simulated blocks for ever"};
    RunScheduled(*wakeAtMs);
    return false;
  }
  std::unique_lock<std::mutex> lock(self->m);
  if (!self->terminate) {
    self->key = key;
    self->wakeAtMs = wakeAtMs;
    self->wokenByKey = false;
    self->state = State::kBlocked;
    self->cv.notify_all();
    self->cv.wait(lock, [self] { return self->state != State::kBlocked; });
    self->key = nullptr;
    self->wakeAtMs.reset();
  }
  if (self->terminate) throw Terminated{self->terminateCode};
  return self->wokenByKey;
}

void WakeBlocked(const void* key) {
  if (!key) return;
  std::vector<std::shared_ptr<ThreadObject>> woken;
  {
    std::lock_guard<std::mutex> registry(R().m);
    for (auto& thread : R().threads) {
      std::lock_guard<std::mutex> lock(thread->m);
      if (thread->state == State::kBlocked && thread->key == key) {
        thread->wokenByKey = true;
        thread->Resume();
        woken.push_back(thread);
      }
    }
  }
  // As a new thread does, a woken one runs in no virtual time: it has ended
  // or blocked again before the waker goes on, which keeps the journal's
  // order fixed.
  for (auto& thread : woken) {
    std::unique_lock<std::mutex> lock(thread->m);
    thread->Settle(lock);
  }
}

bool IsSimulatedThread() { return t_current != nullptr; }

std::optional<uint64_t> NextThreadWakeMs() {
  std::lock_guard<std::mutex> registry(R().m);
  std::optional<uint64_t> next;
  for (auto& thread : R().threads) {
    std::lock_guard<std::mutex> lock(thread->m);
    if (thread->state == State::kBlocked && thread->wakeAtMs &&
        (!next || *thread->wakeAtMs < *next)) {
      next = thread->wakeAtMs;
    }
  }
  return next;
}

size_t LiveThreads() {
  std::lock_guard<std::mutex> registry(R().m);
  size_t count = 0;
  for (auto& thread : R().threads) {
    std::lock_guard<std::mutex> lock(thread->m);
    if (thread->state != State::kEnded) ++count;
  }
  return count;
}

}  // namespace sim

using sim::Enter;
using sim::Fmt;

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES security, size_t stackSize,
                           LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                           LPDWORD threadId) {
  if (Enter("CreateThread", Fmt("%p, %zu, %s, %p, 0x%X", static_cast<void*>(security), stackSize,
                                start ? "proc" : "NULL", parameter, flags))) {
    return nullptr;
  }
  // Suspended threads are not simulated.
  if (!start || flags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto thread = std::make_shared<sim::ThreadObject>();
  DWORD id;
  {
    std::lock_guard<std::mutex> registry(sim::R().m);
    id = sim::R().nextId++;
    sim::R().threads.push_back(thread);
  }
  thread->worker = std::thread(sim::Run, thread.get(), start, parameter);
  HANDLE handle = sim::NewHandle(thread);
  if (threadId) *threadId = id;
  // The new thread runs in no virtual time: it has ended or blocked before
  // its creator goes on, which keeps the journal's order fixed.
  std::unique_lock<std::mutex> lock(thread->m);
  thread->Settle(lock);
  return handle;
}

BOOL WINAPI GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
  if (Enter("GetExitCodeThread", Fmt("%p", handle))) return FALSE;
  auto thread = sim::Lookup<sim::ThreadObject>(handle);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::unique_lock<std::mutex> lock(thread->m);
  thread->Settle(lock);
  *exitCode = thread->state == sim::State::kEnded ? thread->exitCode : STILL_ACTIVE;
  return TRUE;
}
