// The simulated file system: directories, files with their read-only
// attribute, open handles with Windows' sharing rules, and the kernel32 file
// calls over them.
#include "platform/sim/sim_file.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "platform/sim/sim.h"
#include "platform/sim/sim_security.h"
#include "platform/win_base.h"
#include "platform/win_file.h"

namespace sim {
namespace {

// Not needed by the program, so not in the shared headers.
constexpr DWORD kTruncateExisting = 5;
constexpr DWORD kGenericAll = 0x10000000u;
constexpr DWORD kFileReadData = 0x0001;
constexpr DWORD kFileWriteData = 0x0002;
constexpr DWORD kFileAppendData = 0x0004;
constexpr DWORD kErrorFileExists = 80;
constexpr DWORD kErrorNegativeSeek = 131;
constexpr DWORD kAttributeDirectory = 0x10;
constexpr DWORD kErrorInvalidSecurityDescr = 1338;

struct Opener {
  bool reads;
  bool writes;
  DWORD shareMode;
};

struct Node {
  std::string bytes;
  bool readOnly = false;
  DWORD otherAttributes = 0;  // hidden, system, archive, ...
  bool locked = false;
  std::map<int, Opener> openers;
};

struct FileSystem {
  std::set<std::string> directories;
  std::map<std::string, std::shared_ptr<Node>> files;
  std::map<std::string, std::string> shortPaths;
  std::map<int, std::shared_ptr<Node>> holds;  // by hold id, also the opener id
  int nextId = 1;
  size_t diskLimit = 0;
  DWORD diskError = ERROR_DISK_FULL;
  std::string windowsDirectory = "C:\\WINDOWS";
  std::string userWindowsDirectory;
  // By key, for files and folders alike; "NULL" or "default security" when
  // made without a descriptor of the program's own.
  std::map<std::string, std::string> security;
  std::set<std::string> foreign;
};

FileSystem& Fs() {
  static FileSystem fs;
  return fs;
}

ResetHook reset([] {
  Fs() = FileSystem();
  Fs().directories = {"c:\\", "c:\\windows"};
});

bool Reads(DWORD access) { return (access & (GENERIC_READ | kGenericAll | kFileReadData)) != 0; }

bool Writes(DWORD access) {
  return (access & (GENERIC_WRITE | kGenericAll | kFileWriteData | kFileAppendData)) != 0;
}

// '/' as '\', and the case a path is compared in; same length as the input.
std::string Separators(const std::string& path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool IsRoot(const std::string& key) { return key.size() == 3 && key[1] == ':' && key[2] == '\\'; }

// The lookup key: lower case, '\' only, no trailing '\' except on a root.
std::string Key(const std::string& path) {
  std::string key;
  // Windows collapses runs of separators inside a path.
  for (char c : Lower(Separators(path))) {
    if (c == '\\' && !key.empty() && key.back() == '\\') continue;
    key += c;
  }
  while (key.size() > 3 && key.back() == '\\') key.pop_back();
  if (key.size() == 2 && key[1] == ':') key += '\\';
  return key;
}

std::string ParentKey(const std::string& key) {
  if (IsRoot(key)) return std::string();
  size_t slash = key.rfind('\\');
  if (slash == std::string::npos) return std::string();
  if (slash == 2 && key[1] == ':') return key.substr(0, 3);
  return key.substr(0, slash);
}

bool ValidName(const std::string& path) {
  if (path.empty()) return false;
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (c < 0x20 || strchr("<>\"|?*", c)) return false;
    if (c == ':' && i != 1) return false;
  }
  return true;
}

bool HasDirectory(const std::string& key) { return Fs().directories.count(key) != 0; }

std::shared_ptr<Node> FindFile(const std::string& key) {
  auto it = Fs().files.find(key);
  return it == Fs().files.end() ? nullptr : it->second;
}

// Where an open of `path` fails before the file itself is looked at.
std::optional<DWORD> PathError(const std::string& path) {
  if (!ValidName(path)) return ERROR_INVALID_NAME;
  std::string key = Key(path);
  if (HasDirectory(key)) return ERROR_ACCESS_DENIED;
  std::string parent = ParentKey(key);
  if (parent.empty() || !HasDirectory(parent)) return ERROR_PATH_NOT_FOUND;
  return std::nullopt;
}

DWORD AttributesOf(const Node& node) {
  const DWORD attributes = (node.readOnly ? FILE_ATTRIBUTE_READONLY : 0) | node.otherAttributes;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

void PutAttributes(Node& node, DWORD attributes) {
  node.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  node.otherAttributes = attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NORMAL);
}

// The existing file a call names, or null with the call's error set.
std::shared_ptr<Node> ExistingFile(LPCSTR fileName) {
  const std::string path = fileName ? fileName : "";
  if (std::optional<DWORD> error = PathError(path)) {
    SetLastError(*error);
    return nullptr;
  }
  std::shared_ptr<Node> node = FindFile(Key(path));
  if (!node) SetLastError(ERROR_FILE_NOT_FOUND);
  return node;
}

// Windows' sharing rule: each side must allow what the other asks for.
bool Conflicts(const Node& node, bool reads, bool writes, DWORD shareMode) {
  for (const auto& entry : node.openers) {
    const Opener& o = entry.second;
    if (reads && !(o.shareMode & FILE_SHARE_READ)) return true;
    if (writes && !(o.shareMode & FILE_SHARE_WRITE)) return true;
    if (o.reads && !(shareMode & FILE_SHARE_READ)) return true;
    if (o.writes && !(shareMode & FILE_SHARE_WRITE)) return true;
  }
  return false;
}

// Why an existing file refuses an open asking for this, if it does.
std::optional<DWORD> OpenError(const Node& node, bool reads, bool writes, DWORD shareMode) {
  if (writes && node.readOnly) return ERROR_ACCESS_DENIED;
  if (writes && node.locked) return ERROR_SHARING_VIOLATION;
  if (Conflicts(node, reads, writes, shareMode)) return ERROR_SHARING_VIOLATION;
  return std::nullopt;
}

struct FileHandle : Object {
  std::shared_ptr<Node> node;
  int openerId = 0;
  bool reads = false;
  bool writes = false;
  uint64_t position = 0;

  const char* Kind() const override { return "file"; }
  void Closed() override {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    node->openers.erase(openerId);
  }
};

std::shared_ptr<FileHandle> FindHandle(HANDLE handle) {
  std::shared_ptr<FileHandle> file = Lookup<FileHandle>(handle);
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

std::string Pointer(const void* p) { return p ? Fmt("%p", p) : std::string("NULL"); }

}  // namespace

void AddDirectory(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  for (std::string key = Key(path); !key.empty(); key = ParentKey(key)) {
    Fs().directories.insert(key);
  }
}

void DeleteDirectory(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::string key = Key(path);
  if (IsRoot(key)) return;
  std::string below = key + "\\";
  auto inside = [&](const std::string& k) {
    return k == key || k.compare(0, below.size(), below) == 0;
  };
  for (auto it = Fs().directories.begin(); it != Fs().directories.end();) {
    it = inside(*it) ? Fs().directories.erase(it) : std::next(it);
  }
  for (auto it = Fs().files.begin(); it != Fs().files.end();) {
    it = inside(it->first) ? Fs().files.erase(it) : std::next(it);
  }
  for (auto it = Fs().security.begin(); it != Fs().security.end();) {
    it = inside(it->first) ? Fs().security.erase(it) : std::next(it);
  }
}

bool DirectoryExists(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return HasDirectory(Key(path));
}

void PutFile(const std::string& path, const std::string& bytes, bool readOnly) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::string key = Key(path);
  AddDirectory(ParentKey(key));
  std::shared_ptr<Node>& node = Fs().files[key];
  if (!node) node = std::make_shared<Node>();
  node->bytes = bytes;
  node->readOnly = readOnly;
}

std::optional<std::string> FileBytes(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::shared_ptr<Node> node = FindFile(Key(path));
  if (!node) return std::nullopt;
  return node->bytes;
}

bool FileExists(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return FindFile(Key(path)) != nullptr;
}

bool IsReadOnly(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::shared_ptr<Node> node = FindFile(Key(path));
  return node && node->readOnly;
}

void RemoveFile(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Fs().files.erase(Key(path));
  Fs().security.erase(Key(path));
}

void SetReadOnly(const std::string& path, bool readOnly) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (std::shared_ptr<Node> node = FindFile(Key(path))) node->readOnly = readOnly;
}

DWORD Attributes(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::shared_ptr<Node> node = FindFile(Key(path));
  return node ? AttributesOf(*node) : 0;
}

void SetAttributes(const std::string& path, DWORD attributes) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (std::shared_ptr<Node> node = FindFile(Key(path))) PutAttributes(*node, attributes);
}

void SetLocked(const std::string& path, bool locked) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (std::shared_ptr<Node> node = FindFile(Key(path))) node->locked = locked;
}

int HoldFile(const std::string& path, DWORD access, DWORD shareMode) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::shared_ptr<Node> node = FindFile(Key(path));
  if (!node) return 0;
  int id = Fs().nextId++;
  node->openers[id] = {Reads(access), Writes(access), shareMode};
  Fs().holds[id] = node;
  return id;
}

void ReleaseFile(int holdId) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  auto it = Fs().holds.find(holdId);
  if (it == Fs().holds.end()) return;
  it->second->openers.erase(holdId);
  Fs().holds.erase(it);
}

void SetShortPath(const std::string& longPath, const std::string& shortPath) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Fs().shortPaths[Key(longPath)] = shortPath;
}

void SetWindowsDirectory(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Fs().windowsDirectory = path;
}

void SetUserWindowsDirectory(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Fs().userWindowsDirectory = path;
}

std::optional<std::string> SecurityOf(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const std::string key = Key(path);
  if (!FindFile(key) && !HasDirectory(key)) return std::nullopt;
  auto it = Fs().security.find(key);
  if (it == Fs().security.end()) return std::nullopt;
  return it->second;
}

void SetDiskLimit(size_t limit, DWORD error) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Fs().diskLimit = limit;
  Fs().diskError = error;
}

std::string ObjectSecurity(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  auto it = Fs().security.find(Key(path));
  // Made without a descriptor, an object takes what its folder passes on.
  if (it == Fs().security.end() || it->second == "NULL" || it->second == "default security") {
    return "inherited";
  }
  return it->second;
}

void SetForeignOwner(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Fs().foreign.insert(Key(path));
}

}  // namespace sim

using sim::Enter;
using sim::Fmt;

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                          HANDLE templateFile) {
  const std::string accessList = sim::SecurityText(security);
  if (Enter("CreateFileA",
            Fmt("%s, 0x%X, 0x%X, %s, %u, 0x%X, %s", sim::Str(fileName).c_str(), access, shareMode,
                accessList.c_str(), disposition, flags, sim::Pointer(templateFile).c_str()))) {
    return INVALID_HANDLE_VALUE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (accessList.rfind("invalid", 0) == 0) {
    sim::Fail(sim::kErrorInvalidSecurityDescr);
    return INVALID_HANDLE_VALUE;
  }
  if (disposition < CREATE_NEW || disposition > sim::kTruncateExisting) {
    sim::Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string path = fileName ? fileName : "";
  if (std::optional<DWORD> error = sim::PathError(path)) {
    sim::Fail(*error);
    return INVALID_HANDLE_VALUE;
  }
  std::string key = sim::Key(path);
  std::shared_ptr<sim::Node> node = sim::FindFile(key);
  const bool reads = sim::Reads(access);
  const bool writes = sim::Writes(access);
  const bool truncates = disposition == CREATE_ALWAYS || disposition == sim::kTruncateExisting;
  DWORD error = ERROR_SUCCESS;
  if (node) {
    if (disposition == CREATE_NEW) {
      sim::Fail(sim::kErrorFileExists);
      return INVALID_HANDLE_VALUE;
    }
    if (disposition == sim::kTruncateExisting && !writes) {
      sim::Fail(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
    }
    if (std::optional<DWORD> refused =
            sim::OpenError(*node, reads, writes || truncates, shareMode)) {
      sim::Fail(*refused);
      return INVALID_HANDLE_VALUE;
    }
    if (truncates) node->bytes.clear();
    if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) error = ERROR_ALREADY_EXISTS;
  } else {
    if (disposition == OPEN_EXISTING || disposition == sim::kTruncateExisting) {
      sim::Fail(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    node = std::make_shared<sim::Node>();
    node->readOnly = (flags & FILE_ATTRIBUTE_READONLY) != 0;
    sim::Fs().files[key] = node;
    sim::Fs().security[key] = accessList;
  }
  auto handle = std::make_shared<sim::FileHandle>();
  handle->node = node;
  handle->openerId = sim::Fs().nextId++;
  handle->reads = reads;
  handle->writes = writes;
  node->openers[handle->openerId] = {reads, writes, shareMode};
  SetLastError(error);
  return sim::NewHandle(handle);
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  if (Enter("GetFileSize", Fmt("%p", file))) return INVALID_FILE_SIZE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::shared_ptr<sim::FileHandle> handle = sim::FindHandle(file);
  if (!handle) return INVALID_FILE_SIZE;
  uint64_t size = handle->node->bytes.size();
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
  if (Enter("SetFilePointer",
            Fmt("%p, %d, %s, %u", file, distance,
                distanceHigh ? Fmt("%d", *distanceHigh).c_str() : "NULL", method))) {
    return INVALID_SET_FILE_POINTER;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::shared_ptr<sim::FileHandle> handle = sim::FindHandle(file);
  if (!handle) return INVALID_SET_FILE_POINTER;
  // Without a high part the distance is a signed 32-bit value.
  int64_t move = distanceHigh
                     ? static_cast<int64_t>(
                           (static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                           static_cast<uint32_t>(distance))
                     : distance;
  int64_t base;
  switch (method) {
    case FILE_BEGIN:
      base = 0;
      break;
    case FILE_CURRENT:
      base = static_cast<int64_t>(handle->position);
      break;
    case FILE_END:
      base = static_cast<int64_t>(handle->node->bytes.size());
      break;
    default:
      sim::Fail(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
  }
  int64_t target = base + move;
  if (target < 0) {
    sim::Fail(sim::kErrorNegativeSeek);
    return INVALID_SET_FILE_POINTER;
  }
  handle->position = static_cast<uint64_t>(target);
  if (distanceHigh) *distanceHigh = static_cast<LONG>(handle->position >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(handle->position);
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                     LPOVERLAPPED overlapped) {
  if (read) *read = 0;
  if (Enter("ReadFile", Fmt("%p, %u, %s", file, toRead, sim::Pointer(overlapped).c_str()))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::shared_ptr<sim::FileHandle> handle = sim::FindHandle(file);
  if (!handle) return FALSE;
  if (!handle->reads) return sim::Fail(ERROR_ACCESS_DENIED);
  const std::string& bytes = handle->node->bytes;
  size_t count = 0;
  if (handle->position < bytes.size()) {
    count = std::min<size_t>(toRead, bytes.size() - handle->position);
    memcpy(buffer, bytes.data() + handle->position, count);
  }
  handle->position += count;
  if (read) *read = static_cast<DWORD>(count);
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                      LPOVERLAPPED overlapped) {
  if (written) *written = 0;
  if (Enter("WriteFile", Fmt("%p, %u, %s", file, toWrite, sim::Pointer(overlapped).c_str()))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::shared_ptr<sim::FileHandle> handle = sim::FindHandle(file);
  if (!handle) return FALSE;
  if (!handle->writes) return sim::Fail(ERROR_ACCESS_DENIED);
  std::string& bytes = handle->node->bytes;
  uint64_t end = handle->position + toWrite;
  size_t limit = sim::Fs().diskLimit;
  if (toWrite > 0 && limit > 0 && std::max<uint64_t>(end, bytes.size()) > limit) {
    return sim::Fail(sim::Fs().diskError);
  }
  if (end > bytes.size()) bytes.resize(end, '\0');
  memcpy(&bytes[handle->position], buffer, toWrite);
  handle->position = end;
  if (written) *written = toWrite;
  return TRUE;
}

BOOL WINAPI SetEndOfFile(HANDLE file) {
  if (Enter("SetEndOfFile", Fmt("%p", file))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::shared_ptr<sim::FileHandle> handle = sim::FindHandle(file);
  if (!handle) return FALSE;
  if (!handle->writes) return sim::Fail(ERROR_ACCESS_DENIED);
  size_t limit = sim::Fs().diskLimit;
  if (limit > 0 && handle->position > limit) return sim::Fail(sim::Fs().diskError);
  handle->node->bytes.resize(handle->position, '\0');
  return TRUE;
}

BOOL WINAPI CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists) {
  if (Enter("CopyFileA", Fmt("%s, %s, %d", sim::Str(existingFileName).c_str(),
                             sim::Str(newFileName).c_str(), failIfExists))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::shared_ptr<sim::Node> source = sim::ExistingFile(existingFileName);
  if (!source) return FALSE;
  std::string to = newFileName ? newFileName : "";
  // The source is read with others allowed to read; the target is written
  // with no sharing at all.
  if (std::optional<DWORD> error = sim::OpenError(*source, true, false, FILE_SHARE_READ)) {
    return sim::Fail(*error);
  }
  if (std::optional<DWORD> error = sim::PathError(to)) return sim::Fail(*error);
  std::string targetKey = sim::Key(to);
  std::shared_ptr<sim::Node> target = sim::FindFile(targetKey);
  if (target) {
    if (failIfExists) return sim::Fail(sim::kErrorFileExists);
    if (target == source) return sim::Fail(ERROR_SHARING_VIOLATION);
    if (std::optional<DWORD> error = sim::OpenError(*target, false, true, 0)) {
      return sim::Fail(*error);
    }
  } else {
    target = std::make_shared<sim::Node>();
    sim::Fs().files[targetKey] = target;
  }
  target->bytes = source->bytes;
  sim::PutAttributes(*target, sim::AttributesOf(*source));
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

DWORD WINAPI GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
  if (Enter("GetShortPathNameA", Fmt("%s, %u", sim::Str(longPath).c_str(), size))) return 0;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::string path = sim::Separators(longPath ? longPath : "");
  std::string key = sim::Key(path);
  if (!sim::ValidName(path) || (!sim::FindFile(key) && !sim::HasDirectory(key))) {
    sim::Fail(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  // The longest registered prefix, ending at a component boundary, is
  // replaced by its short form; the rest stays as the caller wrote it.
  std::string lower = sim::Lower(path);
  std::string result = path;
  size_t best = 0;
  for (const auto& entry : sim::Fs().shortPaths) {
    const std::string& prefix = entry.first;
    size_t n = prefix.size();
    if (n <= best || lower.compare(0, n, prefix) != 0) continue;
    if (lower.size() != n && lower[n] != '\\' && prefix.back() != '\\') continue;
    best = n;
    result = entry.second + path.substr(n);
  }
  if (result.size() >= size) return static_cast<DWORD>(result.size() + 1);
  memcpy(shortPath, result.c_str(), result.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(result.size());
}

namespace sim {
namespace {

// The length without the terminator, or the size needed with it when the
// buffer is too small (nothing copied then).
UINT CopyFolder(const std::string& path, LPSTR buffer, UINT size) {
  if (path.size() >= size) return static_cast<UINT>(path.size() + 1);
  memcpy(buffer, path.c_str(), path.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<UINT>(path.size());
}

}  // namespace
}  // namespace sim

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  if (Enter("GetWindowsDirectoryA", Fmt("%u", size))) return 0;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  const sim::FileSystem& fs = sim::Fs();
  return sim::CopyFolder(
      fs.userWindowsDirectory.empty() ? fs.windowsDirectory : fs.userWindowsDirectory, buffer,
      size);
}

// Missing before Windows 2000: the program's run-time lookup fails then.
UINT WINAPI GetSystemWindowsDirectoryA(LPSTR buffer, UINT size) {
  if (Enter("GetSystemWindowsDirectoryA", Fmt("%u", size))) return 0;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::PlayedWindows() < sim::Windows::k2000) {
    sim::Fail(ERROR_PROC_NOT_FOUND);
    return 0;
  }
  return sim::CopyFolder(sim::Fs().windowsDirectory, buffer, size);
}

// As CreateDirectory documents it: the parent must exist, and a file or
// folder of the name already there is ERROR_ALREADY_EXISTS.
BOOL WINAPI CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES security) {
  const std::string accessList = sim::SecurityText(security);
  if (Enter("CreateDirectoryA", Fmt("%s, %s", sim::Str(pathName).c_str(), accessList.c_str()))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (accessList.rfind("invalid", 0) == 0) return sim::Fail(sim::kErrorInvalidSecurityDescr);
  const std::string path = pathName ? pathName : "";
  if (!sim::ValidName(path)) return sim::Fail(ERROR_INVALID_NAME);
  const std::string key = sim::Key(path);
  if (sim::HasDirectory(key) || sim::FindFile(key)) return sim::Fail(ERROR_ALREADY_EXISTS);
  const std::string parent = sim::ParentKey(key);
  if (parent.empty() || !sim::HasDirectory(parent)) return sim::Fail(ERROR_PATH_NOT_FOUND);
  sim::Fs().directories.insert(key);
  sim::Fs().security[key] = accessList;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// Only an empty folder goes (ERROR_DIR_NOT_EMPTY otherwise); a drive's root
// never does.
BOOL WINAPI RemoveDirectoryA(LPCSTR pathName) {
  if (Enter("RemoveDirectoryA", sim::Str(pathName))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  const std::string path = pathName ? pathName : "";
  if (!sim::ValidName(path)) return sim::Fail(ERROR_INVALID_NAME);
  const std::string key = sim::Key(path);
  if (sim::IsRoot(key)) return sim::Fail(ERROR_ACCESS_DENIED);
  if (!sim::HasDirectory(key)) return sim::Fail(ERROR_FILE_NOT_FOUND);
  const std::string below = key + "\\";
  for (const std::string& directory : sim::Fs().directories) {
    if (directory.compare(0, below.size(), below) == 0) return sim::Fail(ERROR_DIR_NOT_EMPTY);
  }
  for (const auto& file : sim::Fs().files) {
    if (file.first.compare(0, below.size(), below) == 0) return sim::Fail(ERROR_DIR_NOT_EMPTY);
  }
  sim::Fs().directories.erase(key);
  sim::Fs().security.erase(key);
  sim::Fs().foreign.erase(key);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR fileName) {
  if (Enter("GetFileAttributesA", sim::Str(fileName))) return INVALID_FILE_ATTRIBUTES;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (fileName && sim::ValidName(fileName) && sim::HasDirectory(sim::Key(fileName))) {
    return sim::kAttributeDirectory;
  }
  std::shared_ptr<sim::Node> node = sim::ExistingFile(fileName);
  return node ? sim::AttributesOf(*node) : INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI SetFileAttributesA(LPCSTR fileName, DWORD attributes) {
  if (Enter("SetFileAttributesA", Fmt("%s, 0x%X", sim::Str(fileName).c_str(), attributes))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::shared_ptr<sim::Node> node = sim::ExistingFile(fileName);
  if (!node) return FALSE;
  // Attributes are not the file's data: a running exe takes them too.
  sim::PutAttributes(*node, attributes);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR fileName) {
  if (Enter("DeleteFileA", sim::Str(fileName))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::shared_ptr<sim::Node> node = sim::ExistingFile(fileName);
  if (!node) return FALSE;
  // A read-only file and a running exe refuse deletion; so does a file
  // someone has open (the simulation knows no FILE_SHARE_DELETE).
  if (node->readOnly || node->locked) return sim::Fail(ERROR_ACCESS_DENIED);
  if (!node->openers.empty()) return sim::Fail(ERROR_SHARING_VIOLATION);
  sim::Fs().files.erase(sim::Key(fileName));
  sim::Fs().security.erase(sim::Key(fileName));
  sim::Fs().foreign.erase(sim::Key(fileName));
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// Microsoft, "SetFileSecurityA function": the object's owner and list are
// replaced with the descriptor's, which needs WRITE_OWNER and WRITE_DAC.
BOOL WINAPI SetFileSecurityA(LPCSTR fileName, SECURITY_INFORMATION information,
                             PSECURITY_DESCRIPTOR descriptor) {
  const std::string text = sim::DescriptorText(static_cast<SECURITY_DESCRIPTOR*>(descriptor));
  if (Enter("SetFileSecurityA",
            Fmt("%s, 0x%X, %s", sim::Str(fileName).c_str(), information, text.c_str()))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::PlaysWindows9x()) return sim::Fail(120);  // ERROR_CALL_NOT_IMPLEMENTED
  if (!descriptor || text.rfind("invalid", 0) == 0) {
    return sim::Fail(sim::kErrorInvalidSecurityDescr);
  }
  const std::string path = fileName ? fileName : "";
  if (!sim::ValidName(path)) return sim::Fail(ERROR_INVALID_NAME);
  const std::string key = sim::Key(path);
  if (!sim::HasDirectory(key) && !sim::FindFile(key)) {
    const std::string parent = sim::ParentKey(key);
    return sim::Fail(parent.empty() || !sim::HasDirectory(parent) ? ERROR_PATH_NOT_FOUND
                                                                  : ERROR_FILE_NOT_FOUND);
  }
  if (sim::Fs().foreign.count(key)) return sim::Fail(ERROR_ACCESS_DENIED);
  sim::Fs().security[key] = text;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
