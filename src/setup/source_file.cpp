#include "setup/source_file.h"

#include "monitor/errors.h"
#include "monitor/module_path.h"
#include "platform/win_base.h"
#include "setup/read_only.h"

namespace {

constexpr DWORD kChunk = 4096;

// Deletes `path`; a read-only file (an install from a CD-ROM, or an older
// install's) loses the attribute first. True when nothing is left there.
bool DeleteIfThere(const std::string& path) {
  if (DeleteFileA(path.c_str())) return true;
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
  if (error != ERROR_ACCESS_DENIED) return false;
  ClearReadOnly(path);
  return DeleteFileA(path.c_str()) != FALSE;
}

// Writes `source` from its start into `copy`; 0 or the error.
DWORD CopyBytes(HANDLE source, HANDLE copy) {
  if (SetFilePointer(source, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    return GetLastError();
  }
  char bytes[kChunk];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(source, bytes, kChunk, &read, nullptr)) return GetLastError();
    if (read == 0) return 0;
    DWORD written = 0;
    if (!WriteFile(copy, bytes, read, &written, nullptr)) return GetLastError();
    if (written != read) return ERROR_DISK_FULL;
  }
}

}  // namespace

SourceFile::SourceFile() : file_(INVALID_HANDLE_VALUE) {
  std::string path;
  if (!ReadModulePath(&path)) {
    const DWORD error = GetLastError();
    RaiseInOutError(error ? error : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  }
  file_ = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) RaiseInOutError(GetLastError());
}

SourceFile::~SourceFile() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

DWORD CopyHeldFile(HANDLE source, const std::string& target, LPSECURITY_ATTRIBUTES access) {
  // The old copy is moved out of the way rather than written over, and
  // comes back should the new one fail.
  // A program still running from the old copy (a monitor that would not
  // quit) holds it: nothing is replaced then. The probe writes nothing.
  HANDLE probe = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
  } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
    return ERROR_SHARING_VIOLATION;
  }
  const std::string old = target + ".old";
  if (!DeleteIfThere(old)) return GetLastError();
  const bool moved = MoveFileA(target.c_str(), old.c_str()) != FALSE;
  if (!moved && GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND) {
    return GetLastError();
  }
  // CREATE_NEW: whatever got that name since is not ours.
  HANDLE copy = CreateFileA(target.c_str(), GENERIC_WRITE, 0, access, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD error = copy == INVALID_HANDLE_VALUE ? GetLastError() : CopyBytes(source, copy);
  if (copy != INVALID_HANDLE_VALUE) {
    if (!CloseHandle(copy) && !error) error = GetLastError();
    if (error) DeleteFileA(target.c_str());
  }
  if (error) {
    if (moved) MoveFileA(old.c_str(), target.c_str());
    return error;
  }
  // A program still running from it keeps it until the next install.
  if (moved) DeleteIfThere(old);
  return 0;
}
