// The simulated file system: directories, file objects with their names,
// junctions and file symbolic links, owners, open handles with Windows'
// sharing rules, and the kernel32 file calls over them.
#include "platform/sim/sim_file.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

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
constexpr DWORD kDelete = 0x00010000u;
constexpr DWORD kErrorFileExists = 80;
constexpr DWORD kErrorNotSameDevice = 17;
constexpr DWORD kErrorNegativeSeek = 131;
constexpr DWORD kErrorInvalidOwner = 1307;
constexpr DWORD kErrorInvalidSecurityDescr = 1338;
constexpr DWORD kErrorCantResolveFilename = 1921;
constexpr DWORD kErrorCallNotImplemented = 120;
constexpr DWORD kErrorDirectory = 267;  // ERROR_DIRECTORY: not a directory
constexpr WORD kSelfRelative = 0x8000;  // SE_SELF_RELATIVE
constexpr DWORD kVolumeSerial = 0x1E5C0DA7;
constexpr DWORD kAttributeDirectory = 0x10;
constexpr DWORD kAttributeReparsePoint = 0x400;
// "Reparse Point Tags": what FindFirstFileA puts in dwReserved0.
constexpr DWORD kTagMountPoint = 0xA0000003u;
constexpr DWORD kTagSymlink = 0xA000000Cu;
// "Reparse Points": at most 63 of them are followed on one path.
constexpr int kMaxReparseHops = 63;

struct Opener {
  bool reads;
  bool writes;
  bool deletes;
  DWORD shareMode;
};

// A file object: every name of it (hard links) and every handle on it share
// this record, so a handle keeps its file when the name goes elsewhere.
struct Node {
  std::string bytes;
  bool readOnly = false;
  DWORD otherAttributes = 0;  // hidden, system, archive, ...
  bool locked = false;
  std::map<int, Opener> openers;
  std::string owner = kAdministratorsSid;
  uint64_t index = 0;  // GetFileInformationByHandle's file index
  // "DeleteFile function": deleted while open with FILE_SHARE_DELETE, the
  // file keeps these names until its last handle closes, and opening it
  // fails with ERROR_ACCESS_DENIED meanwhile.
  std::set<std::string> pendingNames;
};

// A junction or file symbolic link; `self` is what opening the link itself
// with FILE_FLAG_OPEN_REPARSE_POINT gives.
struct Link {
  std::string target;
  bool directory;
  std::shared_ptr<Node> self;
};

struct FileSystem {
  std::set<std::string> directories;
  std::map<std::string, std::shared_ptr<Node>> files;
  std::map<std::string, Link> links;
  std::map<std::string, std::string> directoryOwners;
  // The last component of each name as it was made, for FindFirstFileA.
  std::map<std::string, std::string> names;
  std::map<std::string, std::string> shortPaths;
  std::map<int, std::shared_ptr<Node>> holds;  // by hold id, also the opener id
  int nextId = 1;
  uint64_t nextIndex = 1;
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

std::shared_ptr<Node> NewNode() {
  auto node = std::make_shared<Node>();
  node->index = Fs().nextIndex++;
  return node;
}

ResetHook reset([] {
  Fs() = FileSystem();
  Fs().directories = {"c:\\", "c:\\windows", "c:\\windows\\system32"};
  Fs().names = {{"c:\\windows", "WINDOWS"}, {"c:\\windows\\system32", "system32"}};
  Fs().files["c:\\windows\\system32\\cmd.exe"] = NewNode();
  Fs().files["c:\\windows\\system32\\cmd.exe"]->bytes = "MZ";
  Fs().names["c:\\windows\\system32\\cmd.exe"] = "cmd.exe";
});

bool Reads(DWORD access) { return (access & (GENERIC_READ | kGenericAll | kFileReadData)) != 0; }

bool Writes(DWORD access) {
  return (access & (GENERIC_WRITE | kGenericAll | kFileWriteData | kFileAppendData)) != 0;
}

bool Deletes(DWORD access) { return (access & (kDelete | kGenericAll)) != 0; }

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

bool Absolute(const std::string& key) { return key.size() >= 3 && key[1] == ':' && key[2] == '\\'; }

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

std::string Child(const std::string& parent, const std::string& name) {
  return IsRoot(parent) ? parent + name : parent + "\\" + name;
}

// The last component as the caller wrote it.
std::string LastName(const std::string& path) {
  std::string text = Separators(path);
  while (text.size() > 1 && text.back() == '\\') text.pop_back();
  const size_t slash = text.rfind('\\');
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

bool Below(const std::string& key, const std::string& top) {
  if (key == top) return true;
  const std::string prefix = IsRoot(top) ? top : top + "\\";
  return key.compare(0, prefix.size(), prefix) == 0;
}

// `key` with every link on the way replaced by its target, the last
// component's too when `followLast`; "" after too many links.
std::string Follow(const std::string& key, bool followLast, int& hops) {
  if (!Absolute(key)) return key;
  std::string out = key.substr(0, 3);
  size_t at = 3;
  while (at < key.size()) {
    size_t end = key.find('\\', at);
    if (end == std::string::npos) end = key.size();
    std::string next = Child(out, key.substr(at, end - at));
    auto link = Fs().links.find(next);
    if (link != Fs().links.end() && (end < key.size() || followLast)) {
      if (++hops > kMaxReparseHops) return std::string();
      next = Follow(Key(link->second.target), true, hops);
      if (next.empty()) return next;
    }
    out = next;
    at = end + 1;
  }
  return out;
}

// The key `path` reaches, following links ("" after too many).
std::string Real(const std::string& path, bool followLast = true) {
  int hops = 0;
  return Follow(Key(path), followLast, hops);
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

const Link* FindLink(const std::string& key) {
  auto it = Fs().links.find(key);
  return it == Fs().links.end() ? nullptr : &it->second;
}

bool Taken(const std::string& key) { return HasDirectory(key) || FindFile(key) || FindLink(key); }

void Remember(const std::string& key, const std::string& path) { Fs().names[key] = LastName(path); }

// The key a call's path names, links followed as asked, or the call's error.
std::optional<DWORD> Locate(const std::string& path, bool followLast, std::string* key) {
  if (!ValidName(path)) return ERROR_INVALID_NAME;
  *key = Real(path, followLast);
  if (key->empty()) return kErrorCantResolveFilename;
  return std::nullopt;
}

// ERROR_FILE_NOT_FOUND when the folder is there, ERROR_PATH_NOT_FOUND when not.
DWORD Missing(const std::string& key) {
  const std::string parent = ParentKey(key);
  return !parent.empty() && HasDirectory(parent) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// Where an open of `path` fails before the file itself is looked at.
std::optional<DWORD> PathError(const std::string& path, std::string* key) {
  if (std::optional<DWORD> error = Locate(path, true, key)) return error;
  if (HasDirectory(*key)) return ERROR_ACCESS_DENIED;
  std::string parent = ParentKey(*key);
  if (parent.empty() || !HasDirectory(parent)) return ERROR_PATH_NOT_FOUND;
  return std::nullopt;
}

DWORD AttributesOf(const Node& node) {
  const DWORD attributes = (node.readOnly ? FILE_ATTRIBUTE_READONLY : 0) | node.otherAttributes;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

void PutAttributes(Node& node, DWORD attributes) {
  node.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  // The directory and reparse bits are the object's kind, not settable.
  node.otherAttributes = (node.otherAttributes & (kAttributeDirectory | kAttributeReparsePoint)) |
                         (attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NORMAL |
                                         kAttributeDirectory | kAttributeReparsePoint));
}

DWORD LinksOf(const std::shared_ptr<Node>& node) {
  DWORD count = 0;
  for (const auto& entry : Fs().files) count += entry.second == node ? 1 : 0;
  return count ? count : 1;
}

// The existing file a call names, or null with the call's error set.
std::shared_ptr<Node> ExistingFile(LPCSTR fileName) {
  const std::string path = fileName ? fileName : "";
  std::string key;
  if (std::optional<DWORD> error = PathError(path, &key)) {
    SetLastError(*error);
    return nullptr;
  }
  std::shared_ptr<Node> node = FindFile(key);
  if (!node) SetLastError(ERROR_FILE_NOT_FOUND);
  if (node && !node->pendingNames.empty()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return node;
}

// Windows' sharing rule: each side must allow what the other asks for.
bool Conflicts(const Node& node, bool reads, bool writes, bool deletes, DWORD shareMode) {
  for (const auto& entry : node.openers) {
    const Opener& o = entry.second;
    if (reads && !(o.shareMode & FILE_SHARE_READ)) return true;
    if (writes && !(o.shareMode & FILE_SHARE_WRITE)) return true;
    if (deletes && !(o.shareMode & FILE_SHARE_DELETE)) return true;
    if (o.reads && !(shareMode & FILE_SHARE_READ)) return true;
    if (o.writes && !(shareMode & FILE_SHARE_WRITE)) return true;
    if (o.deletes && !(shareMode & FILE_SHARE_DELETE)) return true;
  }
  return false;
}

// Why an existing file refuses an open asking for this, if it does.
std::optional<DWORD> OpenError(const Node& node, bool reads, bool writes, DWORD shareMode,
                               bool deletes = false) {
  if (!node.pendingNames.empty()) return ERROR_ACCESS_DENIED;
  if (writes && node.readOnly) return ERROR_ACCESS_DENIED;
  if (writes && node.locked) return ERROR_SHARING_VIOLATION;
  if (Conflicts(node, reads, writes, deletes, shareMode)) return ERROR_SHARING_VIOLATION;
  return std::nullopt;
}

void ForgetName(const std::string& key) {
  Fs().files.erase(key);
  Fs().links.erase(key);
  Fs().names.erase(key);
  Fs().security.erase(key);
  Fs().foreign.erase(key);
}

struct FileHandle : Object {
  std::shared_ptr<Node> node;
  int openerId = 0;
  bool reads = false;
  bool writes = false;
  uint64_t position = 0;

  const char* Kind() const override { return "file"; }
  void Closed() override;
};

// Ends one opener of the file; after the last one of a deleted file its
// names go.
void Release(const std::shared_ptr<Node>& node, int openerId) {
  node->openers.erase(openerId);
  if (!node->openers.empty()) return;
  for (const std::string& key : node->pendingNames) {
    if (FindFile(key) == node) ForgetName(key);
  }
  node->pendingNames.clear();
}

void FileHandle::Closed() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Release(node, openerId);
}

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

// The owner a descriptor in security attributes names, "" for none.
std::string NamedOwner(const SECURITY_ATTRIBUTES* attributes) {
  if (!attributes || !attributes->lpSecurityDescriptor) return std::string();
  const auto* descriptor =
      static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor);
  if (descriptor->Revision != SECURITY_DESCRIPTOR_REVISION || !descriptor->Owner) {
    return std::string();
  }
  return SidText(descriptor->Owner);
}

// The owner an object the program makes gets, or the error when the token
// may not name that owner ("SetSecurityDescriptorOwner function").
std::optional<DWORD> NewOwner(const SECURITY_ATTRIBUTES* attributes, std::string* owner) {
  const std::string named = NamedOwner(attributes);
  if (named.empty() || PlaysWindows9x()) {
    *owner = DefaultOwner();
    return std::nullopt;
  }
  if (!MayOwn(named)) return kErrorInvalidOwner;
  *owner = named;
  return std::nullopt;
}

// Deletes the file name `key` (not followed) as DeleteFile does; 0 or the error.
DWORD DeleteName(const std::string& key) {
  if (const Link* link = FindLink(key)) {
    // "Hard Links and Junctions": the link goes, never its target; a
    // junction is a directory, which DeleteFile refuses.
    if (link->directory) return ERROR_ACCESS_DENIED;
    ForgetName(key);
    return 0;
  }
  if (HasDirectory(key)) return ERROR_ACCESS_DENIED;
  std::shared_ptr<Node> node = FindFile(key);
  if (!node) return Missing(key);
  // A read-only file and a running exe refuse deletion; so does a file
  // someone has open without FILE_SHARE_DELETE.
  if (node->readOnly || node->locked || !node->pendingNames.empty()) return ERROR_ACCESS_DENIED;
  if (Conflicts(*node, false, false, true,
                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
    return ERROR_SHARING_VIOLATION;
  }
  if (node->openers.empty()) {
    ForgetName(key);
  } else {
    node->pendingNames.insert(key);
  }
  return 0;
}

// Renames `from` to `to` as MoveFile does; links are moved themselves.
DWORD Rename(const std::string& from, const std::string& to) {
  if (!ValidName(from) || !ValidName(to)) return ERROR_INVALID_NAME;
  const std::string source = Real(from, false);
  const std::string target = Real(to, false);
  if (source.empty() || target.empty()) return kErrorCantResolveFilename;
  if (IsRoot(source)) return ERROR_ACCESS_DENIED;
  const bool directory = HasDirectory(source);
  std::shared_ptr<Node> node = FindFile(source);
  const Link* link = FindLink(source);
  if (!directory && !node && !link) return Missing(source);
  const std::string parent = ParentKey(target);
  if (parent.empty() || !HasDirectory(parent)) return ERROR_PATH_NOT_FOUND;
  if (target == source) return 0;
  if (Taken(target)) return ERROR_ALREADY_EXISTS;
  if (directory && source.compare(0, 2, target, 0, 2) != 0) return kErrorNotSameDevice;
  // "MoveFileEx function": a folder cannot go inside itself.
  if (directory && Below(target, source)) return ERROR_SHARING_VIOLATION;
  // The name is opened for DELETE: every handle on the file, or on a file
  // below the folder, must share delete.
  constexpr DWORD kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  if (node) {
    if (!node->pendingNames.empty()) return ERROR_ACCESS_DENIED;
    if (Conflicts(*node, false, false, true, kAll)) return ERROR_SHARING_VIOLATION;
  }
  if (directory) {
    for (const auto& entry : Fs().files) {
      if (Below(entry.first, source) && Conflicts(*entry.second, false, false, true, kAll)) {
        return ERROR_SHARING_VIOLATION;
      }
    }
  }
  // Every name at or below `source` moves to the same place below `target`.
  auto moved = [&](const std::string& key) { return target + key.substr(source.size()); };
  auto rekey = [&](auto& table) {
    std::vector<std::string> keys;
    for (const auto& entry : table) {
      if (Below(entry.first, source)) keys.push_back(entry.first);
    }
    for (const std::string& key : keys) {
      auto entry = table.extract(key);
      entry.key() = moved(key);
      table.insert(std::move(entry));
    }
  };
  auto rekeySet = [&](std::set<std::string>& set) {
    std::set<std::string> out;
    for (const std::string& key : set) out.insert(Below(key, source) ? moved(key) : key);
    set = std::move(out);
  };
  rekey(Fs().files);
  rekey(Fs().links);
  rekey(Fs().directoryOwners);
  rekey(Fs().names);
  rekey(Fs().shortPaths);
  rekey(Fs().security);
  rekeySet(Fs().directories);
  rekeySet(Fs().foreign);
  for (auto& entry : Fs().files) rekeySet(entry.second->pendingNames);
  Fs().names[target] = LastName(to);
  return 0;
}

// A new file object with `bytes` at the name `key`, in place of what was there.
void PutNewFile(const std::string& key, const std::string& name, const std::string& bytes) {
  ForgetName(key);
  std::shared_ptr<Node> node = NewNode();
  node->bytes = bytes;
  Fs().files[key] = node;
  Fs().names[key] = name;
}

}  // namespace

void AddDirectory(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::string text = Separators(path);  // the caller's spelling, for the names
  while (text.size() > 3 && text.back() == '\\') text.pop_back();
  for (std::string key = Real(path); !key.empty(); key = ParentKey(key)) {
    if (!HasDirectory(key)) {
      Fs().directories.insert(key);
      Remember(key, text);
    }
    const size_t slash = text.find_last_of('\\');
    text = slash == std::string::npos ? std::string() : text.substr(0, slash);
  }
}

void DeleteDirectory(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::string key = Real(path);
  if (key.empty() || IsRoot(key)) return;
  for (auto it = Fs().directories.begin(); it != Fs().directories.end();) {
    it = Below(*it, key) ? Fs().directories.erase(it) : std::next(it);
  }
  std::vector<std::string> names;
  for (const auto& entry : Fs().names) {
    if (Below(entry.first, key)) names.push_back(entry.first);
  }
  for (const auto& entry : Fs().files) {
    if (Below(entry.first, key)) names.push_back(entry.first);
  }
  for (const auto& entry : Fs().links) {
    if (Below(entry.first, key)) names.push_back(entry.first);
  }
  for (const std::string& name : names) ForgetName(name);
  for (auto it = Fs().directoryOwners.begin(); it != Fs().directoryOwners.end();) {
    it = Below(it->first, key) ? Fs().directoryOwners.erase(it) : std::next(it);
  }
}

bool DirectoryExists(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return HasDirectory(Real(path));
}

void PutFile(const std::string& path, const std::string& bytes, bool readOnly) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::string key = Real(path);
  AddDirectory(ParentKey(key));
  std::shared_ptr<Node>& node = Fs().files[key];
  if (!node) {
    node = NewNode();
    Remember(key, path);
  }
  node->bytes = bytes;
  node->readOnly = readOnly;
}

std::optional<std::string> FileBytes(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::shared_ptr<Node> node = FindFile(Real(path));
  if (!node) return std::nullopt;
  return node->bytes;
}

bool FileExists(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return FindFile(Real(path)) != nullptr;
}

bool IsReadOnly(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::shared_ptr<Node> node = FindFile(Real(path));
  return node && node->readOnly;
}

void RemoveFile(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  ForgetName(Real(path));
}

void SetReadOnly(const std::string& path, bool readOnly) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (std::shared_ptr<Node> node = FindFile(Real(path))) node->readOnly = readOnly;
}

DWORD Attributes(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::shared_ptr<Node> node = FindFile(Real(path));
  return node ? AttributesOf(*node) : 0;
}

void SetAttributes(const std::string& path, DWORD attributes) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (std::shared_ptr<Node> node = FindFile(Real(path))) PutAttributes(*node, attributes);
}

void SetLocked(const std::string& path, bool locked) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (std::shared_ptr<Node> node = FindFile(Real(path))) node->locked = locked;
}

int HoldFile(const std::string& path, DWORD access, DWORD shareMode) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::shared_ptr<Node> node = FindFile(Real(path));
  if (!node) return 0;
  int id = Fs().nextId++;
  node->openers[id] = {Reads(access), Writes(access), Deletes(access), shareMode};
  Fs().holds[id] = node;
  return id;
}

void ReleaseFile(int holdId) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  auto it = Fs().holds.find(holdId);
  if (it == Fs().holds.end()) return;
  std::shared_ptr<Node> node = it->second;
  Fs().holds.erase(it);
  Release(node, holdId);
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
  const std::string key = Real(path);
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
  auto it = Fs().security.find(Real(path));
  // Made without a descriptor, an object takes what its folder passes on.
  if (it == Fs().security.end() || it->second == "NULL" || it->second == "default security") {
    return "inherited";
  }
  return it->second;
}

void SetForeignOwner(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Fs().foreign.insert(Real(path));
}

std::string OwnerOf(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const std::string key = Real(path);
  if (std::shared_ptr<Node> node = FindFile(key)) return node->owner;
  if (!HasDirectory(key)) return std::string();
  auto it = Fs().directoryOwners.find(key);
  return it == Fs().directoryOwners.end() ? kAdministratorsSid : it->second;
}

void SetOwner(const std::string& path, const std::string& sid) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const std::string key = Real(path);
  if (std::shared_ptr<Node> node = FindFile(key)) {
    node->owner = sid;
  } else if (HasDirectory(key)) {
    Fs().directoryOwners[key] = sid;
  }
}

namespace {

void AddLink(const std::string& path, const std::string& target, bool directory) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const std::string key = Real(path, false);
  if (key.empty() || Taken(key)) return;
  AddDirectory(ParentKey(key));
  std::shared_ptr<Node> self = NewNode();
  self->otherAttributes = kAttributeReparsePoint | (directory ? kAttributeDirectory : 0);
  Fs().links[key] = {target, directory, self};
  Remember(key, path);
}

}  // namespace

void AddJunction(const std::string& path, const std::string& target) {
  AddLink(path, target, true);
}

void AddFileSymlink(const std::string& path, const std::string& target) {
  AddLink(path, target, false);
}

bool IsReparsePoint(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return FindLink(Real(path, false)) != nullptr;
}

void AddHardLink(const std::string& existing, const std::string& newName) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::shared_ptr<Node> node = FindFile(Real(existing));
  const std::string key = Real(newName, false);
  if (!node || key.empty() || Taken(key)) return;
  AddDirectory(ParentKey(key));
  Fs().files[key] = node;
  Remember(key, newName);
}

DWORD LinkCount(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::shared_ptr<Node> node = FindFile(Real(path));
  return node ? LinksOf(node) : 0;
}

DWORD MoveAsOther(const std::string& from, const std::string& to) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return Rename(from, to);
}

DWORD ReplaceAsOther(const std::string& path, const std::string& bytes) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (!ValidName(path)) return ERROR_INVALID_NAME;
  const std::string key = Real(path, false);
  if (key.empty()) return kErrorCantResolveFilename;
  if (!HasDirectory(ParentKey(key))) return ERROR_PATH_NOT_FOUND;
  if (Taken(key)) {
    if (DWORD error = DeleteName(key)) return error;
    // Still open elsewhere: the name waits for its last handle.
    if (FindFile(key)) return ERROR_ACCESS_DENIED;
  }
  PutNewFile(key, LastName(path), bytes);
  return 0;
}

void ReplaceUnderneath(const std::string& path, const std::string& bytes) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const std::string key = Real(path, false);
  if (key.empty() || HasDirectory(key)) return;
  AddDirectory(ParentKey(key));
  if (std::shared_ptr<Node> old = FindFile(key)) old->pendingNames.erase(key);
  PutNewFile(key, LastName(path), bytes);
}

std::string SystemDirectory() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return Fs().windowsDirectory + (PlaysWindows9x() ? "\\SYSTEM" : "\\system32");
}

void AddSystemFolder() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const std::string folder = SystemDirectory();
  AddDirectory(folder);
  if (!PlaysWindows9x() && !FileExists(folder + "\\cmd.exe")) PutFile(folder + "\\cmd.exe", "MZ");
}

}  // namespace sim

using sim::Enter;
using sim::Fmt;

// "CreateFileA function": with FILE_FLAG_OPEN_REPARSE_POINT a link in the
// last component is opened itself, not followed; a directory, a junction
// among them, opens only with FILE_FLAG_BACKUP_SEMANTICS, and the simulation
// opens no directory but a junction itself.
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
  const std::string path = fileName ? fileName : "";
  const bool reads = sim::Reads(access);
  const bool writes = sim::Writes(access);
  const bool deletes = sim::Deletes(access);
  const bool truncates = disposition == CREATE_ALWAYS || disposition == sim::kTruncateExisting;
  std::string key;
  std::shared_ptr<sim::Node> node;
  DWORD error = ERROR_SUCCESS;
  if (flags & FILE_FLAG_OPEN_REPARSE_POINT) {
    if (std::optional<DWORD> refused = sim::Locate(path, false, &key)) {
      sim::Fail(*refused);
      return INVALID_HANDLE_VALUE;
    }
  }
  if (const sim::Link* link = key.empty() ? nullptr : sim::FindLink(key)) {
    if (link->directory && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) {
      sim::Fail(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    if (disposition == CREATE_NEW) {
      sim::Fail(sim::kErrorFileExists);
      return INVALID_HANDLE_VALUE;
    }
    node = link->self;
    if (std::optional<DWORD> refused = sim::OpenError(*node, reads, writes, shareMode, deletes)) {
      sim::Fail(*refused);
      return INVALID_HANDLE_VALUE;
    }
    if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) error = ERROR_ALREADY_EXISTS;
  } else {
    if (std::optional<DWORD> refused = sim::PathError(path, &key)) {
      sim::Fail(*refused);
      return INVALID_HANDLE_VALUE;
    }
    node = sim::FindFile(key);
  }
  if (node && !(node->otherAttributes & sim::kAttributeReparsePoint)) {
    if (!node->pendingNames.empty()) {
      sim::Fail(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    if (disposition == CREATE_NEW) {
      sim::Fail(sim::kErrorFileExists);
      return INVALID_HANDLE_VALUE;
    }
    if (disposition == sim::kTruncateExisting && !writes) {
      sim::Fail(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
    }
    if (std::optional<DWORD> refused =
            sim::OpenError(*node, reads, writes || truncates, shareMode, deletes)) {
      sim::Fail(*refused);
      return INVALID_HANDLE_VALUE;
    }
    if (truncates) node->bytes.clear();
    if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) error = ERROR_ALREADY_EXISTS;
  } else if (!node) {
    if (disposition == OPEN_EXISTING || disposition == sim::kTruncateExisting) {
      sim::Fail(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    std::string owner;
    if (std::optional<DWORD> refused = sim::NewOwner(security, &owner)) {
      sim::Fail(*refused);
      return INVALID_HANDLE_VALUE;
    }
    node = sim::NewNode();
    node->readOnly = (flags & FILE_ATTRIBUTE_READONLY) != 0;
    node->owner = owner;
    sim::Fs().files[key] = node;
    sim::Remember(key, path);
    sim::Fs().security[key] = accessList;
  }
  auto handle = std::make_shared<sim::FileHandle>();
  handle->node = node;
  handle->openerId = sim::Fs().nextId++;
  handle->reads = reads;
  handle->writes = writes;
  node->openers[handle->openerId] = {reads, writes, deletes, shareMode};
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
  std::string targetKey;
  if (std::optional<DWORD> error = sim::PathError(to, &targetKey)) return sim::Fail(*error);
  std::shared_ptr<sim::Node> target = sim::FindFile(targetKey);
  if (target) {
    if (failIfExists) return sim::Fail(sim::kErrorFileExists);
    if (target == source) return sim::Fail(ERROR_SHARING_VIOLATION);
    if (std::optional<DWORD> error = sim::OpenError(*target, false, true, 0)) {
      return sim::Fail(*error);
    }
  } else {
    target = sim::NewNode();
    target->owner = sim::DefaultOwner();
    sim::Fs().files[targetKey] = target;
    sim::Remember(targetKey, to);
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
  std::string key = sim::ValidName(path) ? sim::Real(path) : std::string();
  if (key.empty() || (!sim::FindFile(key) && !sim::HasDirectory(key))) {
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

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
  if (Enter("GetSystemDirectoryA", Fmt("%u", size))) return 0;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  return sim::CopyFolder(sim::SystemDirectory(), buffer, size);
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
  std::string key;
  if (std::optional<DWORD> error = sim::Locate(path, false, &key)) return sim::Fail(*error);
  if (sim::Taken(key)) return sim::Fail(ERROR_ALREADY_EXISTS);
  const std::string parent = sim::ParentKey(key);
  if (parent.empty() || !sim::HasDirectory(parent)) return sim::Fail(ERROR_PATH_NOT_FOUND);
  std::string owner;
  if (std::optional<DWORD> error = sim::NewOwner(security, &owner)) return sim::Fail(*error);
  sim::Fs().directories.insert(key);
  sim::Fs().directoryOwners[key] = owner;
  sim::Remember(key, path);
  sim::Fs().security[key] = accessList;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// Only an empty folder goes (ERROR_DIR_NOT_EMPTY otherwise); a drive's root
// never does. A junction goes itself, whatever its target holds ("Hard
// Links and Junctions").
BOOL WINAPI RemoveDirectoryA(LPCSTR pathName) {
  if (Enter("RemoveDirectoryA", sim::Str(pathName))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  const std::string path = pathName ? pathName : "";
  std::string key;
  if (std::optional<DWORD> error = sim::Locate(path, false, &key)) return sim::Fail(*error);
  if (sim::IsRoot(key)) return sim::Fail(ERROR_ACCESS_DENIED);
  if (const sim::Link* link = sim::FindLink(key)) {
    if (!link->directory) return sim::Fail(sim::kErrorDirectory);
    sim::ForgetName(key);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  }
  if (sim::FindFile(key)) return sim::Fail(sim::kErrorDirectory);
  if (!sim::HasDirectory(key)) return sim::Fail(sim::Missing(key));
  for (const std::string& directory : sim::Fs().directories) {
    if (directory != key && sim::Below(directory, key)) return sim::Fail(ERROR_DIR_NOT_EMPTY);
  }
  for (const auto& file : sim::Fs().files) {
    if (sim::Below(file.first, key)) return sim::Fail(ERROR_DIR_NOT_EMPTY);
  }
  for (const auto& link : sim::Fs().links) {
    if (sim::Below(link.first, key)) return sim::Fail(ERROR_DIR_NOT_EMPTY);
  }
  sim::Fs().directories.erase(key);
  sim::Fs().directoryOwners.erase(key);
  sim::ForgetName(key);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// The name's own attributes: a link is not followed.
DWORD WINAPI GetFileAttributesA(LPCSTR fileName) {
  if (Enter("GetFileAttributesA", sim::Str(fileName))) return INVALID_FILE_ATTRIBUTES;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::string key;
  if (std::optional<DWORD> error = sim::Locate(fileName ? fileName : "", false, &key)) {
    sim::Fail(*error);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (const sim::Link* link = sim::FindLink(key)) return sim::AttributesOf(*link->self);
  if (sim::HasDirectory(key)) return sim::kAttributeDirectory;
  std::shared_ptr<sim::Node> node = sim::FindFile(key);
  if (!node) {
    sim::Fail(sim::Missing(key));
    return INVALID_FILE_ATTRIBUTES;
  }
  if (!node->pendingNames.empty()) {
    sim::Fail(ERROR_ACCESS_DENIED);
    return INVALID_FILE_ATTRIBUTES;
  }
  return sim::AttributesOf(*node);
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

// "DeleteFile function": a link goes itself; a file open with
// FILE_SHARE_DELETE keeps its name until its last handle closes.
BOOL WINAPI DeleteFileA(LPCSTR fileName) {
  if (Enter("DeleteFileA", sim::Str(fileName))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::string key;
  if (std::optional<DWORD> error = sim::Locate(fileName ? fileName : "", false, &key)) {
    return sim::Fail(*error);
  }
  if (DWORD error = sim::DeleteName(key)) return sim::Fail(error);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// "MoveFile function": a file or a folder with all below it, on the same
// volume for a folder; the new name must not exist. A link moves itself.
BOOL WINAPI MoveFileA(LPCSTR existingFileName, LPCSTR newFileName) {
  if (Enter("MoveFileA",
            Fmt("%s, %s", sim::Str(existingFileName).c_str(), sim::Str(newFileName).c_str()))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (DWORD error =
          sim::Rename(existingFileName ? existingFileName : "", newFileName ? newFileName : "")) {
    return sim::Fail(error);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// The file the handle holds, whatever its names have become.
BOOL WINAPI GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
  if (Enter("GetFileInformationByHandle", Fmt("%p", file))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::shared_ptr<sim::FileHandle> handle = sim::FindHandle(file);
  if (!handle) return FALSE;
  if (!information) return sim::Fail(ERROR_INVALID_PARAMETER);
  const sim::Node& node = *handle->node;
  memset(information, 0, sizeof *information);
  information->dwFileAttributes = sim::AttributesOf(node);
  information->dwVolumeSerialNumber = sim::kVolumeSerial;
  const uint64_t size = node.bytes.size();
  information->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  information->nFileSizeLow = static_cast<DWORD>(size);
  information->nNumberOfLinks = sim::LinksOf(handle->node);
  information->nFileIndexHigh = static_cast<DWORD>(node.index >> 32);
  information->nFileIndexLow = static_cast<DWORD>(node.index);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

namespace sim {
namespace {

struct Search : Object {
  std::vector<WIN32_FIND_DATAA> entries;
  size_t next = 0;
  const char* Kind() const override { return "find"; }
};

// Wildcards of a file name, '*' any run and '?' any one character, without
// regard to case; "*.*" is every name, as on Windows.
bool Matches(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*") return true;
  size_t p = 0, n = 0, star = std::string::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

WIN32_FIND_DATAA Entry(const std::string& name, DWORD attributes, uint64_t size, DWORD tag) {
  WIN32_FIND_DATAA data;
  memset(&data, 0, sizeof data);
  data.dwFileAttributes = attributes;
  data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data.nFileSizeLow = static_cast<DWORD>(size);
  data.dwReserved0 = tag;
  const size_t length = std::min<size_t>(name.size(), MAX_PATH - 1);
  memcpy(data.cFileName, name.data(), length);
  return data;
}

// The name a key was made with, or the key's own last component.
std::string NameOf(const std::string& key) {
  auto it = Fs().names.find(key);
  return it != Fs().names.end() ? it->second : key.substr(key.rfind('\\') + 1);
}

}  // namespace
}  // namespace sim

// "FindFirstFile function": "folder\pattern"; a folder other than a root
// lists "." and ".." first. Entries come in the order of their names, as on
// NTFS; links show FILE_ATTRIBUTE_REPARSE_POINT and their tag.
HANDLE WINAPI FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
  if (Enter("FindFirstFileA", sim::Str(fileName))) return INVALID_HANDLE_VALUE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  const std::string path = sim::Separators(fileName ? fileName : "");
  const size_t slash = path.rfind('\\');
  const std::string pattern =
      sim::Lower(slash == std::string::npos ? path : path.substr(slash + 1));
  std::string folder;
  if (slash == std::string::npos || pattern.empty() || !findData ||
      sim::Locate(path.substr(0, slash + 1), true, &folder) || !sim::HasDirectory(folder)) {
    sim::Fail(pattern.empty() || !findData ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto search = std::make_shared<sim::Search>();
  if (!sim::IsRoot(folder)) {
    for (const char* dots : {".", ".."}) {
      if (sim::Matches(pattern, dots)) {
        search->entries.push_back(sim::Entry(dots, sim::kAttributeDirectory, 0, 0));
      }
    }
  }
  std::map<std::string, WIN32_FIND_DATAA> children;  // by key: in name order
  auto add = [&](const std::string& key, DWORD attributes, uint64_t size, DWORD tag) {
    if (sim::ParentKey(key) != folder || key == folder) return;
    const std::string name = sim::NameOf(key);
    if (sim::Matches(pattern, sim::Lower(name))) {
      children[key] = sim::Entry(name, attributes, size, tag);
    }
  };
  for (const std::string& directory : sim::Fs().directories) {
    add(directory, sim::kAttributeDirectory, 0, 0);
  }
  for (const auto& file : sim::Fs().files) {
    add(file.first, sim::AttributesOf(*file.second), file.second->bytes.size(), 0);
  }
  for (const auto& link : sim::Fs().links) {
    add(link.first, sim::AttributesOf(*link.second.self), 0,
        link.second.directory ? sim::kTagMountPoint : sim::kTagSymlink);
  }
  for (const auto& child : children) search->entries.push_back(child.second);
  if (search->entries.empty()) {
    sim::Fail(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *findData = search->entries[0];
  search->next = 1;
  SetLastError(ERROR_SUCCESS);
  return sim::NewHandle(search);
}

BOOL WINAPI FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData) {
  if (Enter("FindNextFileA", Fmt("%p", findFile))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  std::shared_ptr<sim::Search> search = sim::Lookup<sim::Search>(findFile);
  if (!search) return sim::Fail(ERROR_INVALID_HANDLE);
  if (search->next >= search->entries.size()) return sim::Fail(ERROR_NO_MORE_FILES);
  *findData = search->entries[search->next++];
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE findFile) {
  if (Enter("FindClose", Fmt("%p", findFile))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (!sim::Lookup<sim::Search>(findFile)) return sim::Fail(ERROR_INVALID_HANDLE);
  sim::TakeHandle(findFile);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

namespace sim {
namespace {

// Where SetFileSecurityA and GetFileSecurityA find the object, or the error.
std::optional<DWORD> SecuredObject(LPCSTR fileName, std::string* key) {
  const std::string path = fileName ? fileName : "";
  if (std::optional<DWORD> error = Locate(path, true, key)) return error;
  if (!HasDirectory(*key) && !FindFile(*key)) return Missing(*key);
  return std::nullopt;
}

}  // namespace
}  // namespace sim

// Microsoft, "SetFileSecurityA function": the object's owner and list are
// replaced with the descriptor's, which needs WRITE_OWNER and WRITE_DAC; the
// owner must be one the token may name ("SetSecurityDescriptorOwner").
BOOL WINAPI SetFileSecurityA(LPCSTR fileName, SECURITY_INFORMATION information,
                             PSECURITY_DESCRIPTOR descriptor) {
  const std::string text = sim::DescriptorText(static_cast<SECURITY_DESCRIPTOR*>(descriptor));
  if (Enter("SetFileSecurityA",
            Fmt("%s, 0x%X, %s", sim::Str(fileName).c_str(), information, text.c_str()))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::PlaysWindows9x()) return sim::Fail(sim::kErrorCallNotImplemented);
  if (!descriptor || text.rfind("invalid", 0) == 0) {
    return sim::Fail(sim::kErrorInvalidSecurityDescr);
  }
  std::string key;
  if (std::optional<DWORD> error = sim::SecuredObject(fileName, &key)) return sim::Fail(*error);
  if (sim::Fs().foreign.count(key)) return sim::Fail(ERROR_ACCESS_DENIED);
  const auto* record = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
  if ((information & OWNER_SECURITY_INFORMATION) && record->Owner) {
    const std::string owner = sim::SidText(record->Owner);
    if (!sim::MayOwn(owner)) return sim::Fail(sim::kErrorInvalidOwner);
    if (std::shared_ptr<sim::Node> node = sim::FindFile(key)) {
      node->owner = owner;
    } else {
      sim::Fs().directoryOwners[key] = owner;
    }
  }
  sim::Fs().security[key] = text;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// "GetFileSecurityA function": a self-relative descriptor, its owner SID
// right after the 20-byte header; a buffer too small gets nothing, and
// `needed` says the size. Only the owner is simulated: asking for more is
// ERROR_INVALID_PARAMETER here.
BOOL WINAPI GetFileSecurityA(LPCSTR fileName, SECURITY_INFORMATION requested,
                             PSECURITY_DESCRIPTOR descriptor, DWORD size, LPDWORD needed) {
  if (Enter("GetFileSecurityA", Fmt("%s, 0x%X, %u", sim::Str(fileName).c_str(), requested, size))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::PlaysWindows9x()) return sim::Fail(sim::kErrorCallNotImplemented);
  if (!needed || requested != OWNER_SECURITY_INFORMATION) {
    return sim::Fail(ERROR_INVALID_PARAMETER);
  }
  std::string key;
  if (std::optional<DWORD> error = sim::SecuredObject(fileName, &key)) return sim::Fail(*error);
  std::shared_ptr<sim::Node> node = sim::FindFile(key);
  const std::string owner = node ? node->owner : sim::OwnerOf(key);
  const std::vector<BYTE> sid = sim::SidBytes(owner);
  constexpr DWORD kHeader = 20;  // SECURITY_DESCRIPTOR_RELATIVE
  *needed = static_cast<DWORD>(kHeader + sid.size());
  if (!descriptor || size < *needed) return sim::Fail(ERROR_INSUFFICIENT_BUFFER);
  BYTE* out = static_cast<BYTE*>(descriptor);
  memset(out, 0, kHeader);
  out[0] = SECURITY_DESCRIPTOR_REVISION;
  const WORD control = sim::kSelfRelative;
  memcpy(out + 2, &control, sizeof control);
  const DWORD ownerOffset = sid.empty() ? 0 : kHeader;
  memcpy(out + 4, &ownerOffset, sizeof ownerOffset);
  if (!sid.empty()) memcpy(out + kHeader, sid.data(), sid.size());
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
