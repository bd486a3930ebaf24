// The simulated file system: what tests set up and inspect.
//
// Paths are compared without regard to letter case, as on Windows, and '/'
// counts as '\'. A file can only be created in a directory that exists; after
// sim::Reset() "c:\", "c:\windows" and "c:\windows\system32" with cmd.exe
// exist, as on a freshly installed XP.
//
// A file's names share one file object: hard links are names of the same
// bytes, and an open handle keeps the object it opened whatever becomes of its
// name. Junctions and file symbolic links are followed wherever a path goes
// through them; only the calls that act on a name itself (GetFileAttributesA,
// CreateFileA with FILE_FLAG_OPEN_REPARSE_POINT, MoveFileA, DeleteFileA,
// RemoveDirectoryA, FindFirstFileA's entries) see the link. The test helpers
// below follow links as CreateFileA does, unless they say otherwise.
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
// Creates or replaces a file; its parent directories are made as needed. A
// file already there keeps its object (its handles see the new bytes).
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

// The owner of a file or directory as SID text ("S-1-5-32-544"); "" when
// there is no such thing. What the program makes gets the owner its security
// attributes name, else the token's default owner (sim::DefaultOwner()); what
// a test makes, and what is there after a reset, belongs to Administrators.
// SetFileSecurityA with OWNER_SECURITY_INFORMATION changes it.
std::string OwnerOf(const std::string& path);
void SetOwner(const std::string& path, const std::string& sid);

// A junction (a directory reparse point) or a file symbolic link at `path`
// (parents made as needed) leading to the absolute path `target` (which need
// not exist). GetFileAttributesA reports FILE_ATTRIBUTE_REPARSE_POINT, with
// FILE_ATTRIBUTE_DIRECTORY for a junction. Nothing may be at `path` yet.
void AddJunction(const std::string& path, const std::string& target);
void AddFileSymlink(const std::string& path, const std::string& target);
// Whether the last component of `path` is a link (not followed).
bool IsReparsePoint(const std::string& path);

// A second name for an existing file (parents made as needed): the same file object, so the same
// bytes, attributes and owner. Deleting one name leaves the other.
void AddHardLink(const std::string& existing, const std::string& newName);
// The number of names the file has (0 when there is no such file).
DWORD LinkCount(const std::string& path);

// Another process renames `from` (a file, a directory with all under it, or a
// link itself) to `to`, as MoveFileA does: 0, or the error Windows gives
// (ERROR_SHARING_VIOLATION while a handle is open on the file, or on a file
// under the directory, without FILE_SHARE_DELETE; ERROR_ALREADY_EXISTS when
// `to` is there).
DWORD MoveAsOther(const std::string& from, const std::string& to);
// Another process deletes the name `path` (a link itself, if it is one) and
// creates a new file there with `bytes`: 0, or the error of the delete
// (ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED for a read-only or running
// file) or of the create (ERROR_ACCESS_DENIED while the old file, open with
// FILE_SHARE_DELETE, is still pending deletion: "DeleteFile function").
DWORD ReplaceAsOther(const std::string& path, const std::string& bytes);
// The name `path` gets a new file object with `bytes` whatever is open on the
// old one (as a Unix-level rename under Wine can do); handles keep the old.
void ReplaceUnderneath(const std::string& path, const std::string& bytes);

// The folder GetSystemDirectoryA reports: the Windows folder's SYSTEM on 98,
// its system32 on NT.
std::string SystemDirectory();
// Makes the system folder and, on NT, its cmd.exe.
void AddSystemFolder();

// The Program Files folder SHGetFolderPathA gives (C:\Program Files after a
// reset; "C:\Program Files (x86)" plays a 64-bit Windows).
void SetProgramFilesFolder(const std::string& path);
const std::string& ProgramFilesFolder();
// The all-users application data folder SHGetFolderPathA gives
// (CSIDL_COMMON_APPDATA): by default C:\ProgramData from Vista on and
// "C:\Documents and Settings\All Users\Application Data" before; a path set
// here is given on every version until the next reset.
void SetCommonAppDataFolder(const std::string& path);
std::string CommonAppDataFolder();

}  // namespace sim
