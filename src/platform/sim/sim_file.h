// The simulated file system: what tests set up and inspect.
//
// Paths are compared without regard to letter case, as on Windows, and '/'
// counts as '\'. A file can only be created in a directory that exists; after
// sim::Reset() "c:\" and "c:\windows" exist, as on a freshly installed machine.
// A directory cannot be opened or deleted as a file (ERROR_ACCESS_DENIED), and
// CREATE_NEW fails on an existing file (ERROR_FILE_EXISTS). CreateFileA's
// journal entry shows the access list it was given (see sim::SecurityText).
#pragma once

#include <optional>
#include <string>

#include "platform/win_types.h"

namespace sim {

// Makes the directory and any missing parents.
void AddDirectory(const std::string& path);
// Removes the directory with everything in it ("c:\" cannot be removed).
void DeleteDirectory(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates or replaces a file; its parent directories are made as needed.
void PutFile(const std::string& path, const std::string& bytes, bool readOnly = false);
std::optional<std::string> FileBytes(const std::string& path);
bool FileExists(const std::string& path);
bool IsReadOnly(const std::string& path);
void RemoveFile(const std::string& path);
void SetReadOnly(const std::string& path, bool readOnly);
// All of a file's attributes as GetFileAttributesA reports them (0 when
// there is no such file), and setting them as a test would with attrib.
DWORD Attributes(const std::string& path);
void SetAttributes(const std::string& path, DWORD attributes);
// A file held by another process the way a running exe is: every open that
// asks for write access fails with ERROR_SHARING_VIOLATION (reading works).
void SetLocked(const std::string& path, bool locked);
// Another process opens the file with this access and share mode and keeps it
// open until ReleaseFile; the file must exist. Opens by this process then
// conflict exactly as Windows' sharing rules say. Returns a hold id.
int HoldFile(const std::string& path, DWORD access, DWORD shareMode);
void ReleaseFile(int holdId);
// The short (8.3) form GetShortPathNameA reports for a long path, file or
// directory; a directory's short form also shortens the paths below it.
// Without one, the long path is its own short form.
void SetShortPath(const std::string& longPath, const std::string& shortPath);
// The folder GetWindowsDirectoryA and GetSystemWindowsDirectoryA report
// (C:\WINDOWS after a reset, as on a default Windows 98 or XP); the test
// makes the directory itself.
void SetWindowsDirectory(const std::string& path);
// Terminal Server: from now on GetWindowsDirectoryA reports this folder of
// the user's own, while GetSystemWindowsDirectoryA still reports the shared
// one (as the GetSystemWindowsDirectory page describes it).
void SetUserWindowsDirectory(const std::string& path);
// The access list a file or folder was made with by CreateFileA or
// CreateDirectoryA, as sim::SecurityText gives it ("NULL" without security
// attributes); nullopt for one a test made or that is not there.
std::optional<std::string> SecurityOf(const std::string& path);
// Every WriteFile from now on fails with this error, writing nothing, when it
// would make its file hold more than `limit` bytes (a full disk); 0 removes
// the limit.
void SetDiskLimit(size_t limit, DWORD error = ERROR_DISK_FULL);

// The access list a file or directory was made with (CreateFileA,
// CreateDirectoryA) or last given (SetFileSecurityA), as sim::SecurityText
// shows it; "inherited" when it was made without one or by the test.
std::string ObjectSecurity(const std::string& path);
// The file or directory belongs to another account that leaves this process
// no right to change its owner or access list: SetFileSecurityA fails with
// ERROR_ACCESS_DENIED, as it does without WRITE_OWNER and WRITE_DAC.
void SetForeignOwner(const std::string& path);

// The Program Files folder SHGetFolderPathA gives (C:\Program Files after a
// reset; "C:\Program Files (x86)" plays a 64-bit Windows).
void SetProgramFilesFolder(const std::string& path);
const std::string& ProgramFilesFolder();

}  // namespace sim
