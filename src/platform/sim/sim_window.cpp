// Simulated user32 and gdi32.
#include "platform/sim/sim_window.h"

#include <algorithm>
#include <deque>
#include <map>

#include "platform/sim/sim.h"
#include "platform/sim/sim_service_manager.h"
#include "platform/sim/sim_session.h"
#include "platform/win_base.h"
#include "platform/win_process.h"
#include "platform/win_sessions.h"

namespace sim {
namespace {

struct OwnWindow {
  HWND handle;
  WindowInfo info;
  WNDPROC proc;
};

struct Foreign {
  DWORD processId;
  HWND window;
  std::string title;
  std::string className;
  std::optional<uint64_t> endsAfterQuitMs;
  std::optional<uint64_t> quitAtMs;
  bool running = true;
  DWORD session = 0;
  // Kernel objects it holds open (sim::HandOver), each with the event behind it.
  std::vector<std::pair<std::shared_ptr<Object>, const Object*>> held;
};

struct WindowState {
  std::map<std::string, WNDCLASSA> classes;
  std::vector<OwnWindow> windows;
  std::deque<MSG> queue;
  std::vector<TimerInfo> timers;
  UINT_PTR nextTimerId = 1;
  std::vector<Foreign> foreign;
  DWORD nextProcessId = 2000;
  uintptr_t nextWindow = 0x10000;
  std::vector<MessageBoxCall> boxes;
  int boxResult = IDOK;
  DWORD session = 0;
};

WindowState& W() {
  static WindowState state;
  return state;
}

ResetHook reset([] { W() = WindowState(); });

// The OEM byte for each ANSI byte from 0x80 on, as Windows' CharToOemA gives
// them for code pages 1252 and 437 (read from Wine, which uses Windows'
// tables): letters 437 has keep their look (0xE9 e-acute becomes 0x82); the
// others become look-alikes (0xC0 A-grave is A, 0x89 per mille is %, 0x8B is
// <), a control byte (0xA7 section sign is 0x15) or ?. Bytes below 0x80 stay.
constexpr unsigned char kAnsi1252ToOem437[128] = {
    0x3F, 0x3F, 0x2C, 0x9F, 0x2C, 0x2E, 0x2B, 0xD8,  // 80-87
    0x5E, 0x25, 0x53, 0x3C, 0x4F, 0x3F, 0x5A, 0x3F,  // 88-8F
    0x3F, 0x60, 0x27, 0x22, 0x22, 0x07, 0x2D, 0x2D,  // 90-97
    0x7E, 0x54, 0x73, 0x3E, 0x6F, 0x3F, 0x7A, 0x59,  // 98-9F
    0xFF, 0xAD, 0x9B, 0x9C, 0x0F, 0x9D, 0xDD, 0x15,  // A0-A7
    0x22, 0x63, 0xA6, 0xAE, 0xAA, 0x2D, 0x72, 0x5F,  // A8-AF
    0xF8, 0xF1, 0xFD, 0x33, 0x27, 0xE6, 0x14, 0xFA,  // B0-B7
    0x2C, 0x31, 0xA7, 0xAF, 0xAC, 0xAB, 0x5F, 0xA8,  // B8-BF
    0x41, 0x41, 0x41, 0x41, 0x8E, 0x8F, 0x92, 0x80,  // C0-C7
    0x45, 0x90, 0x45, 0x45, 0x49, 0x49, 0x49, 0x49,  // C8-CF
    0x44, 0xA5, 0x4F, 0x4F, 0x4F, 0x4F, 0x99, 0x78,  // D0-D7
    0x4F, 0x55, 0x55, 0x55, 0x9A, 0x59, 0x5F, 0xE1,  // D8-DF
    0x85, 0xA0, 0x83, 0x61, 0x84, 0x86, 0x91, 0x87,  // E0-E7
    0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,  // E8-EF
    0x64, 0xA4, 0x95, 0xA2, 0x93, 0x6F, 0x94, 0xF6,  // F0-F7
    0x6F, 0x97, 0xA3, 0x96, 0x81, 0x79, 0x5F, 0x98,  // F8-FF
};

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

Foreign* FindForeign(DWORD processId) {
  for (Foreign& f : W().foreign) {
    if (f.processId == processId) return &f;
  }
  return nullptr;
}

// Ends a foreign process whose end time has come.
void SettleForeign() {
  for (Foreign& f : W().foreign) {
    if (f.running && f.quitAtMs && f.endsAfterQuitMs &&
        *f.quitAtMs + *f.endsAfterQuitMs <= NowMs()) {
      f.running = false;
      // An ended process's handles close.
      f.held.clear();
    }
  }
}

struct ProcessObject : Object {
  DWORD processId;
  DWORD access;
  ProcessObject(DWORD id, DWORD rights) : processId(id), access(rights) {}
  const char* Kind() const override { return "process"; }
  DWORD Wait(DWORD timeoutMs) override {
    std::unique_lock<std::recursive_mutex> guard(Lock());
    // Like Wine and Windows: a handle without SYNCHRONIZE cannot be waited on.
    if (!(access & SYNCHRONIZE)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return WAIT_FAILED;
    }
    SettleForeign();
    Foreign* f = FindForeign(processId);
    if (!f || !f->running) return WAIT_OBJECT_0;
    if (f->quitAtMs && f->endsAfterQuitMs) {
      uint64_t endMs = *f->quitAtMs + *f->endsAfterQuitMs;
      if (timeoutMs == INFINITE || endMs <= NowMs() + timeoutMs) {
        RunScheduled(endMs);
        SettleForeign();
        return WAIT_OBJECT_0;
      }
    }
    if (timeoutMs == INFINITE) throw Stalled{"endless wait for a process that never ends"};
    RunScheduled(NowMs() + timeoutMs);
    return WAIT_TIMEOUT;
  }
};

// With Lock() held: the timer due first, if any.
TimerInfo* NextTimer() {
  TimerInfo* due = nullptr;
  for (TimerInfo& t : W().timers) {
    if (!due || t.dueMs < due->dueMs) due = &t;
  }
  return due;
}

// With Lock() held: takes the next message, a posted one first, then a
// timer's that is due; false when there is none now.
bool TakeMessage(LPMSG message) {
  if (!W().queue.empty()) {
    *message = W().queue.front();
    W().queue.pop_front();
    return true;
  }
  TimerInfo* due = NextTimer();
  if (due && due->dueMs <= NowMs()) {
    *message = MSG{};
    message->message = WM_TIMER;
    message->wParam = due->id;
    message->lParam = reinterpret_cast<LPARAM>(due->callback);
    message->time = static_cast<DWORD>(NowMs());
    due->dueMs = NowMs() + due->elapseMs;
    return true;
  }
  return false;
}

bool MessageWaiting() {
  if (!W().queue.empty()) return true;
  const TimerInfo* due = NextTimer();
  return due && due->dueMs <= NowMs();
}

}  // namespace

std::vector<MessageBoxCall> MessageBoxes() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return W().boxes;
}

void SetMessageBoxResult(int result) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  W().boxResult = result;
}

std::vector<TimerInfo> Timers() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return W().timers;
}

std::vector<WindowInfo> OwnWindows() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::vector<WindowInfo> infos;
  for (const OwnWindow& w : W().windows) infos.push_back(w.info);
  return infos;
}

DWORD AddForeignMonitor(const std::string& title, std::optional<uint64_t> endsAfterQuitMs,
                        const std::string& className) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Foreign f;
  f.processId = W().nextProcessId++;
  f.window = reinterpret_cast<HWND>(W().nextWindow += 0x10);
  f.title = title;
  f.className = className;
  f.endsAfterQuitMs = endsAfterQuitMs;
  f.session = W().session;
  W().foreign.push_back(f);
  return f.processId;
}

bool ForeignProcessRunning(DWORD processId) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  SettleForeign();
  Foreign* f = FindForeign(processId);
  return f && f->running;
}

std::optional<uint64_t> ForeignQuitTime(DWORD processId) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Foreign* f = FindForeign(processId);
  return f ? f->quitAtMs : std::nullopt;
}

void SetSession(DWORD session) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  W().session = session;
}

DWORD Session() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return W().session;
}

void HandOver(HANDLE handle, DWORD processId) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Foreign* f = FindForeign(processId);
  std::shared_ptr<Object> object = TakeHandle(handle);
  if (f && object) f->held.emplace_back(object, EventBehind(object.get()));
}

void SettleProcesses() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  SettleForeign();
}

void TellHolders(const Object* event) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  for (Foreign& f : W().foreign) {
    for (const auto& held : f.held) {
      if (held.second == event && f.running && !f.quitAtMs) f.quitAtMs = NowMs();
    }
  }
}

void QuitAt(uint64_t atMs) {
  At(atMs, [] {
    MSG quit{};
    quit.message = WM_QUIT;
    W().queue.push_back(quit);
  });
}

}  // namespace sim

using sim::Enter;
using sim::Fmt;
using sim::Str;
using sim::W;

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
  if (Enter("RegisterClassA",
            Fmt("style=%u, proc=%s, cls=%d, wnd=%d, inst=%p, icon=%p, cursor=%p, brush=%p, "
                "menu=%s, class=%s",
                wc->style, wc->lpfnWndProc ? "set" : "NULL", wc->cbClsExtra, wc->cbWndExtra,
                static_cast<void*>(wc->hInstance), static_cast<void*>(wc->hIcon),
                static_cast<void*>(wc->hCursor), static_cast<void*>(wc->hbrBackground),
                Str(wc->lpszMenuName).c_str(), Str(wc->lpszClassName).c_str()))) {
    return 0;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  W().classes[wc->lpszClassName] = *wc;
  return static_cast<ATOM>(0xC000 + W().classes.size());
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
  if (Enter("CreateWindowExA",
            Fmt("0x%X, %s, %s, 0x%X, 0x%X, 0x%X, 0x%X, 0x%X, %p, %p, %p, %p", exStyle,
                Str(className).c_str(), Str(windowName).c_str(), style, static_cast<unsigned>(x),
                static_cast<unsigned>(y), static_cast<unsigned>(width),
                static_cast<unsigned>(height), static_cast<void*>(parent), static_cast<void*>(menu),
                static_cast<void*>(instance), param))) {
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  auto cls = W().classes.find(className ? className : "");
  if (cls == W().classes.end()) {
    SetLastError(1407);  // ERROR_CANNOT_FIND_WND_CLASS
    return nullptr;
  }
  sim::OwnWindow window;
  window.handle = reinterpret_cast<HWND>(W().nextWindow += 0x10);
  window.info = {className, windowName ? windowName : "", exStyle, style};
  window.proc = cls->second.lpfnWndProc;
  W().windows.push_back(window);
  return window.handle;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Enter("DefWindowProcA", Fmt("%p, 0x%X, %zu, %zd", static_cast<void*>(window), message,
                              static_cast<size_t>(wParam), static_cast<ptrdiff_t>(lParam)));
  return 0;
}

void WINAPI PostQuitMessage(int exitCode) {
  Enter("PostQuitMessage", Fmt("%d", exitCode));
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  MSG quit{};
  quit.message = WM_QUIT;
  quit.wParam = static_cast<WPARAM>(exitCode);
  W().queue.push_back(quit);
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback) {
  if (Enter("SetTimer", Fmt("%p, %zu, %u, %s", static_cast<void*>(window), static_cast<size_t>(id),
                            elapse, callback ? "proc" : "NULL"))) {
    return 0;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  UINT_PTR newId = W().nextTimerId++;
  W().timers.push_back({newId, elapse, sim::NowMs() + elapse, callback});
  return newId;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
  if (Enter("KillTimer", Fmt("%p, %zu", static_cast<void*>(window), static_cast<size_t>(id)))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  auto& timers = W().timers;
  auto it = std::find_if(timers.begin(), timers.end(),
                         [id](const sim::TimerInfo& t) { return t.id == id; });
  if (it == timers.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  timers.erase(it);
  return TRUE;
}

// Takes the next message; with an empty queue, virtual time runs on to the
// next scheduled action or due timer, whichever comes first.
BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
  if (Enter("GetMessageA", Fmt("%p, %u, %u", static_cast<void*>(window), filterMin, filterMax))) {
    return -1;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  for (;;) {
    // Whatever is due now runs first; it may post messages or touch timers.
    std::optional<uint64_t> next = sim::RunScheduled(sim::NowMs());
    if (sim::TakeMessage(message)) return message->message == WM_QUIT ? FALSE : TRUE;
    const sim::TimerInfo* due = sim::NextTimer();
    if (next && (!due || *next <= due->dueMs)) {
      sim::RunScheduled(*next);
    } else if (due) {
      sim::RunScheduled(due->dueMs);
    } else {
      throw sim::Stalled{"GetMessageA with an empty queue, no timer and nothing scheduled"};
    }
  }
}

BOOL WINAPI TranslateMessage(const MSG* message) {
  Enter("TranslateMessage", Fmt("0x%X", message->message));
  return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
  Enter("DispatchMessageA", Fmt("0x%X", message->message));
  if (message->message == WM_TIMER && message->lParam) {
    auto callback = reinterpret_cast<TIMERPROC>(message->lParam);
    callback(message->hwnd, WM_TIMER, message->wParam, static_cast<DWORD>(sim::NowMs()));
    return 0;
  }
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    for (const sim::OwnWindow& w : W().windows) {
      if (w.handle == message->hwnd) proc = w.proc;
    }
  }
  return proc ? proc(message->hwnd, message->message, message->wParam, message->lParam) : 0;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  Enter("LoadIconA", Fmt("%p, %zu", static_cast<void*>(instance), reinterpret_cast<size_t>(name)));
  return reinterpret_cast<HICON>(static_cast<uintptr_t>(0x10003));
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  Enter("LoadCursorA",
        Fmt("%p, %zu", static_cast<void*>(instance), reinterpret_cast<size_t>(name)));
  return reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x10005));
}

HGDIOBJ WINAPI GetStockObject(int object) {
  Enter("GetStockObject", Fmt("%d", object));
  return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(0x1900010 + object));
}

HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName) {
  if (Enter("FindWindowA", Fmt("%s, %s", Str(className).c_str(), Str(windowName).c_str()))) {
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::SettleForeign();
  auto matches = [&](const std::string& cls, const std::string& title) {
    return (!className || sim::SameText(cls, className)) &&
           (!windowName || sim::SameText(title, windowName));
  };
  for (const sim::OwnWindow& w : W().windows) {
    if (matches(w.info.className, w.info.title)) return w.handle;
  }
  for (const sim::Foreign& f : W().foreign) {
    if (f.running && f.session == W().session && matches(f.className, f.title)) return f.window;
  }
  SetLastError(ERROR_SUCCESS);
  return nullptr;
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (Enter("PostMessageA", Fmt("%p, 0x%X, %zu, %zd", static_cast<void*>(window), message,
                                static_cast<size_t>(wParam), static_cast<ptrdiff_t>(lParam)))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  for (const sim::OwnWindow& w : W().windows) {
    if (w.handle == window) {
      MSG posted{window, message, wParam, lParam, static_cast<DWORD>(sim::NowMs()), {0, 0}};
      W().queue.push_back(posted);
      return TRUE;
    }
  }
  for (sim::Foreign& f : W().foreign) {
    if (f.window == window && f.running) {
      if (message == WM_QUIT && !f.quitAtMs) f.quitAtMs = sim::NowMs();
      return TRUE;
    }
  }
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return FALSE;
}

DWORD WINAPI GetWindowThreadProcessId(HWND window, LPDWORD processId) {
  if (Enter("GetWindowThreadProcessId", Fmt("%p", static_cast<void*>(window)))) return 0;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  for (const sim::OwnWindow& w : W().windows) {
    if (w.handle == window) {
      if (processId) *processId = sim::kOwnProcessId;
      return sim::kOwnProcessId + 1;
    }
  }
  for (const sim::Foreign& f : W().foreign) {
    if (f.window == window) {
      if (processId) *processId = f.processId;
      return f.processId + 1;
    }
  }
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return 0;
}

HANDLE WINAPI OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId) {
  if (Enter("OpenProcess", Fmt("0x%X, %d, %u", access, inheritHandle, processId))) {
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (!sim::FindForeign(processId)) {
    if (auto service = sim::OpenServiceProcess(processId, access)) return sim::NewHandle(service);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return sim::NewHandle(std::make_shared<sim::ProcessObject>(processId, access));
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  if (Enter("MessageBoxA", Fmt("%p, %s, %s, 0x%X", static_cast<void*>(owner), Str(text).c_str(),
                               Str(caption).c_str(), type))) {
    return 0;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  W().boxes.push_back({text ? text : "", caption ? caption : "", type, sim::NowMs()});
  return W().boxResult;
}

// Like Windows, converts in place when both point to the same buffer.
BOOL WINAPI CharToOemA(LPCSTR source, LPSTR destination) {
  if (Enter("CharToOemA", Str(source))) return FALSE;
  for (size_t i = 0;; ++i) {
    const unsigned char c = static_cast<unsigned char>(source[i]);
    destination[i] = static_cast<char>(c < 0x80 ? c : sim::kAnsi1252ToOem437[c - 0x80]);
    if (c == 0) return TRUE;
  }
}

// Only PM_REMOVE, the way the program calls it.
BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax,
                         UINT removeFlags) {
  if (Enter("PeekMessageA",
            Fmt("%p, %u, %u, %u", static_cast<void*>(window), filterMin, filterMax, removeFlags))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::RunScheduled(sim::NowMs());
  return sim::TakeMessage(message) ? TRUE : FALSE;
}

// "MsgWaitForMultipleObjects function": with waitAll FALSE, WAIT_OBJECT_0
// plus the index of the first object signalled, or WAIT_OBJECT_0 + count
// when input is there. Windows wakes only for input that came since the
// thread last looked; here any waiting message counts, so a caller that
// leaves messages in the queue is not caught. Virtual time runs to the next
// scheduled action or timer.
DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                       DWORD milliseconds, DWORD wakeMask) {
  std::string args = Fmt("%u, {", count);
  for (DWORD i = 0; i < count && handles; ++i) args += Fmt(i ? ", %p" : "%p", handles[i]);
  args += Fmt("}, %d, %u, 0x%X", waitAll, milliseconds, wakeMask);
  if (Enter("MsgWaitForMultipleObjects", args)) return WAIT_FAILED;
  std::vector<std::shared_ptr<sim::Object>> objects;
  for (DWORD i = 0; i < count; ++i) {
    std::shared_ptr<sim::Object> object = sim::LookupHandle(handles[i]);
    if (!object) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objects.push_back(object);
  }
  if (waitAll || wakeMask != QS_ALLINPUT) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::optional<uint64_t> deadline;
  if (milliseconds != INFINITE) deadline = sim::NowMs() + milliseconds;
  for (;;) {
    const std::optional<uint64_t> next = sim::RunScheduled(sim::NowMs());
    for (size_t i = 0; i < objects.size(); ++i) {
      const DWORD result = objects[i]->Wait(0);
      if (result == WAIT_OBJECT_0) return WAIT_OBJECT_0 + static_cast<DWORD>(i);
      if (result == WAIT_FAILED) return WAIT_FAILED;
    }
    if (sim::MessageWaiting()) return WAIT_OBJECT_0 + count;
    if (deadline && *deadline <= sim::NowMs()) return WAIT_TIMEOUT;
    std::optional<uint64_t> target = deadline;
    const sim::TimerInfo* due = sim::NextTimer();
    if (due && (!target || due->dueMs < *target)) target = due->dueMs;
    if (next && (!target || *next < *target)) target = next;
    if (!target) throw sim::Stalled{"MsgWaitForMultipleObjects with nothing to wake it"};
    sim::RunScheduled(*target);
  }
}
