// Simulated advapi32 registry calls, with the results and edge cases of
// Windows (and Wine, which behaves the same for every call used here).
#include "platform/sim/sim_registry.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>

#include "platform/sim/sim.h"
#include "platform/win_base.h"

namespace sim {
namespace {

// Not needed by the program, so not in the platform headers.
constexpr LSTATUS kErrorBadPathname = 161;
constexpr LSTATUS kErrorNoAccess = 998;
constexpr LSTATUS kErrorKeyDeleted = 1018;

constexpr REGSAM kQueryValue = 0x0001;
constexpr REGSAM kSetValue = 0x0002;
constexpr REGSAM kCreateSubKey = 0x0004;
constexpr REGSAM kEnumerateSubKeys = 0x0008;
constexpr REGSAM kDelete = 0x00010000;

std::string Upper(const std::string& text) {
  std::string upper = text;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

struct Node {
  std::string path;  // full display path, fixed at creation
  std::string name;
  std::weak_ptr<Node> parent;
  bool hive = false;
  bool deleted = false;
  // Keyed by the upper-case name, so enumeration is case-insensitive
  // alphabetical, as on Windows.
  std::map<std::string, std::shared_ptr<Node>> children;
  std::map<std::string, std::pair<std::string, RegValue>> values;
};

struct Key {
  std::shared_ptr<Node> node;
  REGSAM access;
};

struct Registry {
  std::shared_ptr<Node> machine;
  std::shared_ptr<Node> user;
  std::map<uintptr_t, Key> handles;
  uintptr_t nextHandle = 0x2000000;
};

Registry& R();

void MarkDeleted(Node& node) {
  node.deleted = true;
  for (auto& child : node.children) MarkDeleted(*child.second);
}

std::shared_ptr<Node> Child(const std::shared_ptr<Node>& parent, const std::string& name) {
  auto it = parent->children.find(Upper(name));
  return it == parent->children.end() ? nullptr : it->second;
}

std::shared_ptr<Node> AddChild(const std::shared_ptr<Node>& parent, const std::string& name) {
  auto node = std::make_shared<Node>();
  node->name = name;
  node->path = parent->path + "\\" + name;
  node->parent = parent;
  parent->children[Upper(name)] = node;
  return node;
}

std::vector<std::string> Split(const char* path) {
  std::vector<std::string> parts;
  std::string part;
  for (const char* p = path ? path : ""; *p; ++p) {
    if (*p == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += *p;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::shared_ptr<Node> Hive(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return R().machine;
  if (root == HKEY_CURRENT_USER) return R().user;
  return nullptr;
}

// The key a handle stands for: a predefined root with every right, or an
// opened key. False for anything else.
bool Resolve(HKEY handle, Key* key) {
  if (std::shared_ptr<Node> hive = Hive(handle)) {
    *key = {hive, KEY_ALL_ACCESS | kDelete};
    return true;
  }
  auto it = R().handles.find(reinterpret_cast<uintptr_t>(handle));
  if (it == R().handles.end()) return false;
  *key = it->second;
  return true;
}

// Common checks of a key argument: a valid handle, a live key, the right.
LSTATUS Check(HKEY handle, REGSAM right, Key* key) {
  if (!Resolve(handle, key)) return ERROR_INVALID_HANDLE;
  if (key->node->deleted) return kErrorKeyDeleted;
  if ((key->access & right) != right) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

HKEY NewKeyHandle(const std::shared_ptr<Node>& node, REGSAM access) {
  uintptr_t value = R().nextHandle;
  R().nextHandle += 4;
  R().handles[value] = {node, access};
  return reinterpret_cast<HKEY>(value);
}

// The key `path` names below `node`, or null.
std::shared_ptr<Node> Below(std::shared_ptr<Node> node, const char* path) {
  for (const std::string& part : Split(path)) {
    if (!node) break;
    node = Child(node, part);
  }
  return node;
}

std::shared_ptr<Node> Find(HKEY root, const std::string& path) {
  return Below(Hive(root), path.c_str());
}

std::shared_ptr<Node> FindOrAdd(HKEY root, const std::string& path) {
  std::shared_ptr<Node> node = Hive(root);
  for (const std::string& part : Split(path.c_str())) {
    std::shared_ptr<Node> child = Child(node, part);
    node = child ? child : AddChild(node, part);
  }
  return node;
}

void Detach(const std::shared_ptr<Node>& node) {
  MarkDeleted(*node);
  if (std::shared_ptr<Node> parent = node->parent.lock()) parent->children.erase(Upper(node->name));
}

std::shared_ptr<Node> NewHive(const char* name) {
  auto node = std::make_shared<Node>();
  node->path = node->name = name;
  node->hive = true;
  return node;
}

std::shared_ptr<Node> AddPath(std::shared_ptr<Node> node, const char* path) {
  for (const std::string& part : Split(path)) {
    std::shared_ptr<Node> child = Child(node, part);
    node = child ? child : AddChild(node, part);
  }
  return node;
}

Registry FreshMachine() {
  Registry r;
  r.machine = NewHive("HKEY_LOCAL_MACHINE");
  r.user = NewHive("HKEY_CURRENT_USER");
  AddPath(r.user, "Software");
  AddPath(r.machine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
  // Every NT has the Application log; HKEY_LOCAL_MACHINE takes no new key.
  AddPath(r.machine, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application");
  std::shared_ptr<Node> folders =
      AddPath(r.machine, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
  folders->values["COMMON STARTUP"] = {"Common Startup",
                                       {REG_SZ, std::string(kFreshCommonStartup) + '\0'}};
  return r;
}

// Usable before the first sim::Reset() too.
Registry& R() {
  static Registry registry = FreshMachine();
  return registry;
}

ResetHook reset([] { R() = FreshMachine(); });

// Stored bytes as the journal shows them: zero and other control bytes
// escaped, everything else as is.
std::string Bytes(const BYTE* data, DWORD size) {
  if (!data) return "NULL";
  std::string text = "\"";
  for (DWORD i = 0; i < size; ++i) {
    BYTE b = data[i];
    if (b == 0) {
      text += "\\0";
    } else if (b < 0x20 || b >= 0x7F || b == '"') {
      text += Fmt("\\x%02X", b);
    } else {
      text += static_cast<char>(b);
    }
  }
  return text + "\"";
}

std::string SizeArg(const DWORD* size) { return size ? Fmt("&%u", *size) : "NULL"; }

}  // namespace

void RegAddKey(HKEY root, const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  FindOrAdd(root, path);
}

bool RegKeyExists(HKEY root, const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return Find(root, path) != nullptr;
}

void RegRemoveKey(HKEY root, const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::shared_ptr<Node> node = Find(root, path);
  if (node && !node->hive) Detach(node);
}

std::vector<std::string> RegSubKeys(HKEY root, const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::vector<std::string> names;
  if (std::shared_ptr<Node> node = Find(root, path)) {
    for (const auto& child : node->children) names.push_back(child.second->name);
  }
  return names;
}

void RegPutValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                 const std::string& data) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  FindOrAdd(root, path)->values[Upper(name)] = {name, {type, data}};
}

void RegPutText(HKEY root, const std::string& path, const std::string& name,
                const std::string& text) {
  RegPutValue(root, path, name, REG_SZ, text + '\0');
}

void RegRemoveValue(HKEY root, const std::string& path, const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (std::shared_ptr<Node> node = Find(root, path)) node->values.erase(Upper(name));
}

std::optional<RegValue> RegGetValue(HKEY root, const std::string& path, const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::shared_ptr<Node> node = Find(root, path);
  if (!node) return std::nullopt;
  auto it = node->values.find(Upper(name));
  if (it == node->values.end()) return std::nullopt;
  return it->second.second;
}

size_t OpenKeys() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return R().handles.size();
}

std::string KeyName(HKEY key) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Key resolved;
  if (!Resolve(key, &resolved)) return Fmt("%p", static_cast<void*>(key));
  return resolved.node->deleted ? resolved.node->path + " (deleted)" : resolved.node->path;
}

}  // namespace sim

using sim::Enter;
using sim::Fmt;
using sim::KeyName;
using sim::Str;

LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                               DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security,
                               HKEY* result, LPDWORD disposition) {
  if (auto error =
          Enter("RegCreateKeyExA", Fmt("%s, %s, %u, %s, %u, 0x%X, %s", KeyName(key).c_str(),
                                       Str(subKey).c_str(), reserved, Str(keyClass).c_str(),
                                       options, access, security ? "security" : "NULL"))) {
    return static_cast<LSTATUS>(*error);
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (!result) return ERROR_INVALID_PARAMETER;
  sim::Key base;
  if (LSTATUS status = sim::Check(key, 0, &base)) return status;
  if (subKey && subKey[0] == '\\') return sim::kErrorBadPathname;
  std::shared_ptr<sim::Node> node = base.node;
  bool created = false;
  for (const std::string& part : sim::Split(subKey)) {
    std::shared_ptr<sim::Node> child = sim::Child(node, part);
    if (!child) {
      // The right to add a key is the parent's; below a new key the caller
      // owns everything. New keys directly under HKEY_LOCAL_MACHINE are
      // refused whatever the rights, as on Windows (Wine allows them).
      if (!created && (base.access & sim::kCreateSubKey) == 0) return ERROR_ACCESS_DENIED;
      if (node == sim::R().machine) return ERROR_ACCESS_DENIED;
      child = sim::AddChild(node, part);
      created = true;
    }
    node = child;
  }
  *result = sim::NewKeyHandle(node, access);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result) {
  if (auto error = Enter("RegOpenKeyExA", Fmt("%s, %s, %u, 0x%X", KeyName(key).c_str(),
                                              Str(subKey).c_str(), options, access))) {
    return static_cast<LSTATUS>(*error);
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (!result) return ERROR_INVALID_PARAMETER;
  sim::Key base;
  if (LSTATUS status = sim::Check(key, 0, &base)) return status;
  std::shared_ptr<sim::Node> node = sim::Below(base.node, subKey);
  if (!node) return ERROR_FILE_NOT_FOUND;
  *result = sim::NewKeyHandle(node, access);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
  if (auto error = Enter("RegCloseKey", KeyName(key))) return static_cast<LSTATUS>(*error);
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::Hive(key)) return ERROR_SUCCESS;
  return sim::R().handles.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS
                                                                  : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegFlushKey(HKEY key) {
  if (auto error = Enter("RegFlushKey", KeyName(key))) return static_cast<LSTATUS>(*error);
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Key resolved;
  return sim::Check(key, 0, &resolved);
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD dataSize) {
  if (auto error = Enter("RegQueryValueExA",
                         Fmt("%s, %s, %s, %s, %s, %s", KeyName(key).c_str(), Str(valueName).c_str(),
                             reserved ? "reserved" : "NULL", type ? "&type" : "NULL",
                             data ? "&data" : "NULL", sim::SizeArg(dataSize).c_str()))) {
    return static_cast<LSTATUS>(*error);
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Key resolved;
  if (LSTATUS status = sim::Check(key, sim::kQueryValue, &resolved)) return status;
  if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  auto it = resolved.node->values.find(sim::Upper(valueName ? valueName : ""));
  if (it == resolved.node->values.end()) return ERROR_FILE_NOT_FOUND;
  const sim::RegValue& value = it->second.second;
  const DWORD size = static_cast<DWORD>(value.data.size());
  if (type) *type = value.type;
  // No buffer: a question about existence (no size) or about the size.
  if (!data) {
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
  }
  // Too small: the size needed, and nothing copied the caller may rely on.
  if (*dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  if (size) memcpy(data, value.data.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

// The bytes are stored exactly as given. (NT quietly counts a terminating
// zero the caller left out of a string's size when the next byte happens to
// be one; the simulation does not, so a size without the zero shows.)
LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                              const BYTE* data, DWORD dataSize) {
  if (auto error = Enter("RegSetValueExA",
                         Fmt("%s, %s, %u, %u, %s, %u", KeyName(key).c_str(), Str(valueName).c_str(),
                             reserved, type, sim::Bytes(data, dataSize).c_str(), dataSize))) {
    return static_cast<LSTATUS>(*error);
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Key resolved;
  if (LSTATUS status = sim::Check(key, sim::kSetValue, &resolved)) return status;
  if (!data && dataSize) return sim::kErrorNoAccess;
  std::string name = valueName ? valueName : "";
  std::string bytes = data ? std::string(reinterpret_cast<const char*>(data), dataSize) : "";
  resolved.node->values[sim::Upper(name)] = {name, {type, bytes}};
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classSize, LPDWORD reserved,
                                LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                                LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                                LPDWORD securityDescriptor, PFILETIME lastWriteTime) {
  (void)lastWriteTime;  // not kept
  if (auto error = Enter("RegQueryInfoKeyA", KeyName(key))) return static_cast<LSTATUS>(*error);
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Key resolved;
  if (LSTATUS status = sim::Check(key, sim::kQueryValue, &resolved)) return status;
  if (reserved || (keyClass && !classSize)) return ERROR_INVALID_PARAMETER;
  const sim::Node& node = *resolved.node;
  DWORD longestKey = 0, longestName = 0, longestData = 0;
  for (const auto& child : node.children) {
    longestKey = std::max(longestKey, static_cast<DWORD>(child.second->name.size()));
  }
  for (const auto& value : node.values) {
    longestName = std::max(longestName, static_cast<DWORD>(value.second.first.size()));
    longestData = std::max(longestData, static_cast<DWORD>(value.second.second.data.size()));
  }
  if (keyClass && *classSize) keyClass[0] = '\0';
  if (classSize) *classSize = 0;
  if (subKeys) *subKeys = static_cast<DWORD>(node.children.size());
  if (maxSubKeyLen) *maxSubKeyLen = longestKey;
  if (maxClassLen) *maxClassLen = 0;
  if (values) *values = static_cast<DWORD>(node.values.size());
  if (maxValueNameLen) *maxValueNameLen = longestName;
  if (maxValueLen) *maxValueLen = longestData;
  if (securityDescriptor) *securityDescriptor = 0;
  return ERROR_SUCCESS;
}

// `nameSize` is in characters with the terminating zero going in, without it
// coming out; a name that does not fit leaves it unchanged.
LSTATUS WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                             LPSTR keyClass, LPDWORD classSize, PFILETIME lastWriteTime) {
  (void)lastWriteTime;
  if (auto error = Enter("RegEnumKeyExA", Fmt("%s, %u, %s", KeyName(key).c_str(), index,
                                              sim::SizeArg(nameSize).c_str()))) {
    return static_cast<LSTATUS>(*error);
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Key resolved;
  if (LSTATUS status = sim::Check(key, sim::kEnumerateSubKeys, &resolved)) return status;
  if (reserved || !name || !nameSize) return ERROR_INVALID_PARAMETER;
  const auto& children = resolved.node->children;
  if (index >= children.size()) return ERROR_NO_MORE_ITEMS;
  auto it = children.begin();
  std::advance(it, index);
  const std::string& found = it->second->name;
  if (found.size() >= *nameSize) return ERROR_MORE_DATA;
  memcpy(name, found.c_str(), found.size() + 1);
  *nameSize = static_cast<DWORD>(found.size());
  if (keyClass && classSize && *classSize) keyClass[0] = '\0';
  if (classSize) *classSize = 0;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  if (auto error =
          Enter("RegDeleteKeyA", Fmt("%s, %s", KeyName(key).c_str(), Str(subKey).c_str()))) {
    return static_cast<LSTATUS>(*error);
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (!subKey) return ERROR_INVALID_PARAMETER;
  sim::Key base;
  if (LSTATUS status = sim::Check(key, 0, &base)) return status;
  std::shared_ptr<sim::Node> node = sim::Below(base.node, subKey);
  if (!node) return ERROR_FILE_NOT_FOUND;
  // Only a leaf goes, and never a hive.
  if (node->hive || !node->children.empty()) return ERROR_ACCESS_DENIED;
  sim::Detach(node);
  return ERROR_SUCCESS;
}
