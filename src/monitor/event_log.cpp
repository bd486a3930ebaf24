#include "monitor/event_log.h"

#include <algorithm>
#include <cstring>

#include "monitor/errors.h"
#include "platform/win_base.h"
#include "platform/win_file.h"
#include "platform/win_time.h"

namespace {

// Only where the system cannot name its own folder.
constexpr char kFallbackWindowsDirectory[] = "c:\\windows";
constexpr DWORD kTrimWindow = 128;
constexpr DWORD kCtrlZ = 0x1A;
constexpr size_t kOutputBufferSize = 128;

// Opens the log for reading and writing and leaves the position where the
// new line goes: the end, or the first Ctrl-Z among the last 128 bytes, which
// is cut off with everything after it. Returns INVALID_HANDLE_VALUE when the
// log does not exist. Any other failure raises before anything is written,
// so an existing log is never lost to a fallback.
HANDLE OpenForAppend(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return INVALID_HANDLE_VALUE;
    RaiseInOutError(error);
  }
  try {
    DWORD size = GetFileSize(file, nullptr);
    if (size == INVALID_FILE_SIZE) RaiseInOutError(GetLastError());
    DWORD start = size > kTrimWindow ? size - kTrimWindow : 0;
    if (SetFilePointer(file, static_cast<LONG>(start), nullptr, FILE_BEGIN) ==
        INVALID_SET_FILE_POINTER) {
      RaiseInOutError(GetLastError());
    }
    unsigned char tail[kTrimWindow];
    DWORD read = 0;
    if (!ReadFile(file, tail, kTrimWindow, &read, nullptr)) RaiseInOutError(GetLastError());
    const unsigned char* ctrlZ = std::find(tail, tail + read, kCtrlZ);
    if (ctrlZ != tail + read) {
      LONG back = static_cast<LONG>(ctrlZ - tail) - static_cast<LONG>(read);
      if (SetFilePointer(file, back, nullptr, FILE_END) == INVALID_SET_FILE_POINTER) {
        RaiseInOutError(GetLastError());
      }
      if (!SetEndOfFile(file)) RaiseInOutError(GetLastError());
    }
  } catch (...) {
    CloseHandle(file);
    throw;
  }
  return file;
}

// Bytes collect here and reach the file 128 at a time; the rest at the end.
struct OutputBuffer {
  HANDLE file;
  char bytes[kOutputBufferSize];
  size_t used;
};

void Flush(OutputBuffer* out) {
  DWORD written;
  if (!WriteFile(out->file, out->bytes, static_cast<DWORD>(out->used), &written, nullptr)) {
    RaiseInOutError(GetLastError());
  }
  out->used = 0;
}

void Put(OutputBuffer* out, const char* bytes, size_t count) {
  while (count > 0) {
    size_t part = std::min(count, kOutputBufferSize - out->used);
    memcpy(out->bytes + out->used, bytes, part);
    out->used += part;
    bytes += part;
    count -= part;
    if (out->used == kOutputBufferSize) Flush(out);
  }
}

}  // namespace

std::string g_eventLogFolder;

std::string EventLogPath() {
  if (!g_eventLogFolder.empty()) return g_eventLogFolder + "\\" + kEventLogName;
  char folder[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
  std::string path = length == 0 || length >= sizeof folder ? kFallbackWindowsDirectory
                                                            : std::string(folder, length);
  // A system installed in a drive's root ("D:\") names it with the backslash.
  if (path.empty() || path.back() != '\\') path += '\\';
  return path + kEventLogName;
}

void LogEvent(const char* message) {
  const std::string path = EventLogPath();
  HANDLE file = OpenForAppend(path.c_str());
  if (file == INVALID_HANDLE_VALUE) {
    file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) RaiseInOutError(GetLastError());
  }
  OutputBuffer out;
  out.file = file;
  out.used = 0;
  try {
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string line = FormatTimestamp(now, g_localeFormats);
    line += ' ';
    line += message ? message : "";
    line += "\r\n";
    Put(&out, line.data(), line.size());
    if (out.used > 0) Flush(&out);
  } catch (...) {
    // A failed line must not leave the log held open for writing: every
    // later event would then fail to open it.
    CloseHandle(file);
    throw;
  }
  if (!CloseHandle(file)) RaiseInOutError(GetLastError());
}
