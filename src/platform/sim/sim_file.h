// The simulated file system: what tests set up and inspect.
//
// Paths are compared without regard to letter case, as on Windows. A file
// can only be created in a directory that exists; "c:\" always exists.
#pragma once

#include <optional>
#include <string>

#include "platform/win_types.h"

namespace sim {

void AddDirectory(const std::string& path);
bool DirectoryExists(const std::string& path);
void PutFile(const std::string& path, const std::string& bytes, bool readOnly = false);
std::optional<std::string> FileBytes(const std::string& path);
bool FileExists(const std::string& path);
void RemoveFile(const std::string& path);
void SetReadOnly(const std::string& path, bool readOnly);
// A file held open by another process in a way that makes every open fail
// with ERROR_SHARING_VIOLATION (as an exe that is running does for writers).
void SetLocked(const std::string& path, bool locked);
// The short (8.3) form GetShortPathNameA reports for a long path; without
// one, the long path is its own short form.
void SetShortPath(const std::string& longPath, const std::string& shortPath);
// Every WriteFile from now on fails with this error once the file holds
// `limit` bytes (a full disk); 0 removes the limit.
void SetDiskLimit(size_t limit, DWORD error = ERROR_DISK_FULL);

}  // namespace sim
