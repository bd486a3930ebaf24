// wininet and rasapi32, loaded when first called instead of at load time,
// and the newer calls of DLLs the program imports at load time, looked up
// when first called so that the program still loads where they are missing.
#include <cstring>

#include "platform/win_file.h"
#include "platform/win_inet.h"
#include "platform/win_security.h"
#include "platform/win_shell.h"

namespace {

constexpr char kWinInet[] = "wininet.dll";
constexpr char kRasApi[] = "rasapi32.dll";
constexpr char kKernel32[] = "kernel32.dll";
constexpr char kAdvApi32[] = "advapi32.dll";
constexpr char kShell32[] = "shell32.dll";

// Loads `dll` from the system folder, by its full path: the monitor's
// current folder is wherever the installer ran (a download folder), and a
// DLL of that name lying there must not be loaded in its place.
HMODULE LoadFromSystemFolder(const char* dll) {
  char path[MAX_PATH + 16];  // room for the DLL's name
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  path[length] = '\\';
  memcpy(path + length + 1, dll, strlen(dll) + 1);
  // No "cannot find" box from the system: the program stays silent and the
  // call's failure takes the usual path.
  const UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryA(path);
  const DWORD error = GetLastError();
  SetErrorMode(mode);
  SetLastError(error);
  return module;
}

// The entry point `name` of `dll`, loading the DLL when it is not loaded
// yet; null with the loader's error as the last error when either is
// missing. A loaded DLL stays for the life of the process, and a missing one
// is looked for again on the next call.
FARPROC Find(const char* dll, const char* name) {
  HMODULE module = GetModuleHandleA(dll);
  if (!module) module = LoadFromSystemFolder(dll);
  FARPROC entry = module ? GetProcAddress(module, name) : nullptr;
  // The callers pass the last error on as the call's own result.
  if (!entry && GetLastError() == ERROR_SUCCESS) {
    SetLastError(module ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND);
  }
  return entry;
}

template <class Function>
Function* Entry(const char* dll, const char* name) {
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(Find(dll, name)));
}

}  // namespace

BOOL WINAPI InternetGetConnectedState(LPDWORD flags, DWORD reserved) {
  auto* call = Entry<decltype(InternetGetConnectedState)>(kWinInet, "InternetGetConnectedState");
  return call ? call(flags, reserved) : FALSE;
}

HINTERNET WINAPI InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass,
                               DWORD flags) {
  auto* call = Entry<decltype(InternetOpenA)>(kWinInet, "InternetOpenA");
  return call ? call(agent, accessType, proxy, proxyBypass, flags) : nullptr;
}

HINTERNET WINAPI InternetOpenUrlA(HINTERNET session, LPCSTR url, LPCSTR headers,
                                  DWORD headersLength, DWORD flags, DWORD_PTR context) {
  auto* call = Entry<decltype(InternetOpenUrlA)>(kWinInet, "InternetOpenUrlA");
  return call ? call(session, url, headers, headersLength, flags, context) : nullptr;
}

BOOL WINAPI InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read) {
  auto* call = Entry<decltype(InternetReadFile)>(kWinInet, "InternetReadFile");
  return call ? call(file, buffer, toRead, read) : FALSE;
}

BOOL WINAPI InternetCloseHandle(HINTERNET handle) {
  auto* call = Entry<decltype(InternetCloseHandle)>(kWinInet, "InternetCloseHandle");
  return call ? call(handle) : FALSE;
}

// RAS calls return their error instead of setting the last error.
DWORD WINAPI RasEnumConnectionsA(LPRASCONNA connections, LPDWORD size, LPDWORD count) {
  auto* call = Entry<decltype(RasEnumConnectionsA)>(kRasApi, "RasEnumConnectionsA");
  return call ? call(connections, size, count) : GetLastError();
}

DWORD WINAPI RasGetConnectStatusA(HRASCONN connection, LPRASCONNSTATUSA status) {
  auto* call = Entry<decltype(RasGetConnectStatusA)>(kRasApi, "RasGetConnectStatusA");
  return call ? call(connection, status) : GetLastError();
}

UINT WINAPI GetSystemWindowsDirectoryA(LPSTR buffer, UINT size) {
  auto* call = Entry<decltype(GetSystemWindowsDirectoryA)>(kKernel32, "GetSystemWindowsDirectoryA");
  return call ? call(buffer, size) : 0;
}

BOOL WINAPI SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor,
                                         SECURITY_DESCRIPTOR_CONTROL bitsOfInterest,
                                         SECURITY_DESCRIPTOR_CONTROL bitsToSet) {
  auto* call =
      Entry<decltype(SetSecurityDescriptorControl)>(kAdvApi32, "SetSecurityDescriptorControl");
  return call ? call(descriptor, bitsOfInterest, bitsToSet) : FALSE;
}

BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* info) {
  auto* call = Entry<decltype(ShellExecuteExA)>(kShell32, "ShellExecuteExA");
  return call ? call(info) : FALSE;
}
