// wininet, rasapi32 and wsock32, loaded when first called instead of at
// load time, and the newer calls of DLLs the program imports at load time,
// looked up when first called so that the program still loads where they are
// missing (98 SE, NT 4.0).
#include <cstring>

#include "platform/win_base.h"
#include "platform/win_file.h"
#include "platform/win_folder.h"
#include "platform/win_inet.h"
#include "platform/win_security.h"
#include "platform/win_service.h"
#include "platform/win_shell.h"
#include "platform/win_socket.h"

namespace {

constexpr char kWinInet[] = "wininet.dll";
constexpr char kRasApi[] = "rasapi32.dll";
constexpr char kWinsock[] = "wsock32.dll";
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

// XP SP1 and later.
BOOL WINAPI SetDllDirectoryA(LPCSTR pathName) {
  auto* call = Entry<decltype(SetDllDirectoryA)>(kKernel32, "SetDllDirectoryA");
  return call ? call(pathName) : FALSE;
}

// 8 and later, Vista and 7 with update KB2533623.
BOOL WINAPI SetDefaultDllDirectories(DWORD directoryFlags) {
  auto* call = Entry<decltype(SetDefaultDllDirectories)>(kKernel32, "SetDefaultDllDirectories");
  return call ? call(directoryFlags) : FALSE;
}

// Windows Sockets 1.1. WSAStartup returns its error instead of setting it.
int WINAPI WSAStartup(WORD versionRequested, LPWSADATA data) {
  auto* call = Entry<decltype(WSAStartup)>(kWinsock, "WSAStartup");
  return call ? call(versionRequested, data) : static_cast<int>(GetLastError());
}

int WINAPI WSACleanup() {
  auto* call = Entry<decltype(WSACleanup)>(kWinsock, "WSACleanup");
  return call ? call() : SOCKET_ERROR;
}

int WINAPI WSAGetLastError() {
  auto* call = Entry<decltype(WSAGetLastError)>(kWinsock, "WSAGetLastError");
  return call ? call() : static_cast<int>(GetLastError());
}

HOSTENT* WINAPI gethostbyname(const char* name) {
  auto* call = Entry<decltype(gethostbyname)>(kWinsock, "gethostbyname");
  return call ? call(name) : nullptr;
}

SOCKET WINAPI socket(int family, int type, int protocol) {
  auto* call = Entry<decltype(socket)>(kWinsock, "socket");
  return call ? call(family, type, protocol) : INVALID_SOCKET;
}

int WINAPI connect(SOCKET s, const SOCKADDR* name, int length) {
  auto* call = Entry<decltype(connect)>(kWinsock, "connect");
  return call ? call(s, name, length) : SOCKET_ERROR;
}

int WINAPI recv(SOCKET s, char* buffer, int length, int flags) {
  auto* call = Entry<decltype(recv)>(kWinsock, "recv");
  return call ? call(s, buffer, length, flags) : SOCKET_ERROR;
}

int WINAPI ioctlsocket(SOCKET s, LONG command, ULONG* argument) {
  auto* call = Entry<decltype(ioctlsocket)>(kWinsock, "ioctlsocket");
  return call ? call(s, command, argument) : SOCKET_ERROR;
}

int WINAPI select(int ignored, SOCKET_SET* read, SOCKET_SET* write, SOCKET_SET* except,
                  const SOCKET_WAIT* timeout) {
  auto* call = Entry<decltype(select)>(kWinsock, "select");
  return call ? call(ignored, read, write, except, timeout) : SOCKET_ERROR;
}

int WINAPI closesocket(SOCKET s) {
  auto* call = Entry<decltype(closesocket)>(kWinsock, "closesocket");
  return call ? call(s) : SOCKET_ERROR;
}

// Windows 2000 and later.
BOOL WINAPI ChangeServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPVOID info) {
  auto* call = Entry<decltype(ChangeServiceConfig2A)>(kAdvApi32, "ChangeServiceConfig2A");
  return call ? call(service, infoLevel, info) : FALSE;
}

SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerExA(LPCSTR serviceName,
                                                           LPHANDLER_FUNCTION_EX handler,
                                                           LPVOID context) {
  auto* call =
      Entry<decltype(RegisterServiceCtrlHandlerExA)>(kAdvApi32, "RegisterServiceCtrlHandlerExA");
  return call ? call(serviceName, handler, context) : nullptr;
}

// NT 4.0 SP4 and later.
BOOL WINAPI QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, LPBYTE buffer,
                                 DWORD size, LPDWORD needed) {
  auto* call = Entry<decltype(QueryServiceStatusEx)>(kAdvApi32, "QueryServiceStatusEx");
  return call ? call(service, infoLevel, buffer, size, needed) : FALSE;
}

BOOL WINAPI AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD flags, DWORD access, PSID sid) {
  auto* call = Entry<decltype(AddAccessAllowedAceEx)>(kAdvApi32, "AddAccessAllowedAceEx");
  return call ? call(acl, revision, flags, access, sid) : FALSE;
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

// Windows 2000 and ME on; it returns its error as an HRESULT.
HRESULT WINAPI SHGetFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path) {
  auto* call = Entry<decltype(SHGetFolderPathA)>(kShell32, "SHGetFolderPathA");
  return call ? call(owner, folder, token, flags, path) : HRESULT_FROM_WIN32(GetLastError());
}
