#include "setup/own_folder.h"

#include "monitor/ascii_case.h"
#include "monitor/trusted_folder.h"
#include "platform/win_base.h"
#include "platform/win_file.h"

namespace {

// Only `ownFile`, a plain file: nothing else, no folder, no link.
bool HoldsOnly(const std::string& folder, const char* ownFile) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool only = true;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (!SameIgnoringCase(name, ownFile) ||
        (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
      only = false;
    }
  } while (only && FindNextFileA(find, &entry));
  FindClose(find);
  return only;
}

bool Protect(const std::string& folder, PrivateAccess& access) {
  return SetFileSecurityA(folder.c_str(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                          access.Descriptor()) != FALSE;
}

// Moves the folder out of the way; false with the error when no name is free.
bool SetAside(OwnFolder* folder) {
  for (int attempt = 0; attempt < kSetAsideAttempts; ++attempt) {
    const std::string aside = SetAsideName(folder->path, attempt);
    if (MoveFileA(folder->path.c_str(), aside.c_str())) {
      folder->aside = aside;
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

}  // namespace

std::string SetAsideName(const std::string& folder, int attempt) {
  std::string name = folder + ".set-aside";
  if (attempt > 0) name += "." + std::to_string(attempt);
  return name;
}

DWORD MakeOwnFolder(OwnFolder* folder, const char* ownFile, PrivateAccess& access) {
  const char* path = folder->path.c_str();
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
    // The list goes on before the contents are read: from then on nobody
    // else can add to them.
    if (IsAdministratorsFolder(folder->path) && Protect(folder->path, access) &&
        HoldsOnly(folder->path, ownFile)) {
      return 0;
    }
    if (!SetAside(folder)) return GetLastError();
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    return GetLastError();
  }
  if (!CreateDirectoryA(path, access.Attributes())) {
    const DWORD error = GetLastError();
    UndoOwnFolder(*folder);
    return error;
  }
  folder->made = true;
  return 0;
}

void UndoOwnFolder(const OwnFolder& folder) {
  if (folder.made) RemoveDirectoryA(folder.path.c_str());
  if (!folder.aside.empty()) MoveFileA(folder.aside.c_str(), folder.path.c_str());
}
