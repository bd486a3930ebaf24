#include "monitor/event_log.h"

#include <algorithm>
#include <cstring>

#include "monitor/event_report.h"
#include "monitor/trusted_folder.h"
#include "platform/win_base.h"
#include "platform/win_file.h"
#include "platform/win_time.h"

namespace {

// Only where the system cannot name its own folder.
constexpr char kFallbackWindowsDirectory[] = "c:\\windows";
constexpr DWORD kTrimWindow = 128;
constexpr DWORD kCtrlZ = 0x1A;
constexpr size_t kOutputBufferSize = 128;

DWORD OpenFlags(bool guarded) {
  return guarded ? FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT : FILE_ATTRIBUTE_NORMAL;
}

// Opens the log for reading and writing and leaves the position where the
// new line goes: the end, or the first Ctrl-Z among the last 128 bytes, which
// is cut off with everything after it. Returns INVALID_HANDLE_VALUE with the
// error in `*error`: ERROR_FILE_NOT_FOUND when the log does not exist. Any
// other failure comes before anything is written, so an existing log is
// never lost to a fallback. A `guarded` log is opened as itself, never as
// what a reparse point names, and refused (ERROR_ACCESS_DENIED) unless it is
// a plain file with this one name: a hard link would carry the lines to
// another file.
HANDLE OpenForAppend(const char* path, bool guarded, DWORD* error) {
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, OpenFlags(guarded), nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return file;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (guarded && (!GetFileInformationByHandle(file, &info) || info.nNumberOfLinks != 1 ||
                  (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
    *error = ERROR_ACCESS_DENIED;
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  DWORD size = GetFileSize(file, nullptr);
  DWORD start = size > kTrimWindow ? size - kTrimWindow : 0;
  unsigned char tail[kTrimWindow];
  DWORD read = 0;
  bool ok = size != INVALID_FILE_SIZE &&
            SetFilePointer(file, static_cast<LONG>(start), nullptr, FILE_BEGIN) !=
                INVALID_SET_FILE_POINTER &&
            ReadFile(file, tail, kTrimWindow, &read, nullptr);
  if (ok) {
    const unsigned char* ctrlZ = std::find(tail, tail + read, kCtrlZ);
    if (ctrlZ != tail + read) {
      LONG back = static_cast<LONG>(ctrlZ - tail) - static_cast<LONG>(read);
      ok = SetFilePointer(file, back, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
           SetEndOfFile(file);
    }
  }
  if (!ok) {
    *error = GetLastError();
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

// Bytes collect here and reach the file 128 at a time; the rest at the end.
struct OutputBuffer {
  HANDLE file;
  char bytes[kOutputBufferSize];
  size_t used;
};

bool Flush(OutputBuffer* out) {
  DWORD written;
  const bool ok =
      WriteFile(out->file, out->bytes, static_cast<DWORD>(out->used), &written, nullptr);
  out->used = 0;
  return ok;
}

bool Put(OutputBuffer* out, const char* bytes, size_t count) {
  while (count > 0) {
    size_t part = std::min(count, kOutputBufferSize - out->used);
    memcpy(out->bytes + out->used, bytes, part);
    out->used += part;
    bytes += part;
    count -= part;
    if (out->used == kOutputBufferSize && !Flush(out)) return false;
  }
  return true;
}

}  // namespace

std::string g_eventLogFolder;
const void* g_eventLogAccount;

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

DWORD LogEvent(const char* message) {
  ReportLogLine(message);
  // The service's folder: written only while it is one that only the
  // Administrators could have made or changed.
  const bool guarded = !g_eventLogFolder.empty();
  if (guarded && !IsAdministratorsFolder(g_eventLogFolder, g_eventLogAccount)) {
    return ERROR_ACCESS_DENIED;
  }
  const std::string path = EventLogPath();
  DWORD error = 0;
  HANDLE file = OpenForAppend(path.c_str(), guarded, &error);
  if (file == INVALID_HANDLE_VALUE) {
    if (error != ERROR_FILE_NOT_FOUND) return error;
    // CREATE_NEW in the service's folder: nothing made there meanwhile is
    // followed or emptied.
    file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                       guarded ? CREATE_NEW : CREATE_ALWAYS, OpenFlags(guarded), nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    error = 0;
  }
  OutputBuffer out;
  out.file = file;
  out.used = 0;
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::string line = FormatTimestamp(now, g_localeFormats);
  line += ' ';
  line += message ? message : "";
  line += "\r\n";
  // A failed line must not leave the log held open for writing: every
  // later event would then fail to open it.
  const bool written = Put(&out, line.data(), line.size()) && (out.used == 0 || Flush(&out));
  if (!written) error = GetLastError();
  if (!CloseHandle(file) && written) error = GetLastError();
  return error;
}
