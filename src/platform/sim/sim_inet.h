// The simulated network: whether the machine is online, its dial-up
// connections, and how each server (by URL) behaves when it is opened.
#pragma once

#include <string>
#include <vector>

#include "platform/win_inet.h"

namespace sim {

// WinINet's last errors as the simulation sets them.
constexpr DWORD kInternetNameNotResolved = 12007;
constexpr DWORD kInternetOperationCancelled = 12017;
constexpr DWORD kInternetCannotConnect = 12029;
constexpr DWORD kRasInvalidSize = 632;  // ERROR_INVALID_SIZE

// What InternetGetConnectedState reports, with the flags Wine gives (0x12
// online, 0x30 offline). Offline until set.
void SetOnline(bool online);

// A dial-up connection that RasEnumConnectionsA lists, in the order added,
// with the state RasGetConnectStatusA reports. Returns its handle.
HRASCONN AddDialUp(const std::string& entryName, DWORD state);

// How the server behind `url` answers an open. A URL with no script does
// not resolve (12007).
//
// Replies: the open succeeds after `delayMs` (a session closed meanwhile
// cuts it short with 12017); each read then returns the next piece, at most
// as many bytes as asked, and 0 bytes once the pieces are used up.
void ServeReply(const std::string& url, const std::string& bytes, uint64_t delayMs = 0);
void ServePieces(const std::string& url, const std::vector<std::string>& pieces);
// The connection is refused: the open fails at once with 12029.
void RefuseOpen(const std::string& url);
// Accepts and never answers; closing the session makes the open fail (12017),
// as on Windows.
void HangUntilSessionClosed(const std::string& url);
// Accepts and never answers, and closing the session does not help, as under
// Wine: the open never returns.
void HangForever(const std::string& url);
// Sends `bytes` and keeps the connection open. A read waits for all the
// bytes it asked for or the server's close (WinINet's InternetReadFile
// "returns when the requested bytes are read or the end of the data"), so
// the first read waits: until the session is closed, which fails it with
// 12017 (Windows), or with `wakesOnClose` false for ever (Wine).
void ServeAndStall(const std::string& url, const std::string& bytes, bool wakesOnClose);

// A machine without the DLL ("wininet.dll" or "rasapi32.dll"): every call
// of it fails as the program's loader makes it fail, with
// ERROR_MOD_NOT_FOUND. MissingEntry does the same for one function that the
// installed version of its DLL lacks (ERROR_PROC_NOT_FOUND).
void MissingDll(const std::string& dll);
void MissingEntry(const std::string& function);

// The URLs InternetOpenUrlA was asked for, in order.
std::vector<std::string> OpenedUrls();
// The kind ("session" or "url") of every handle InternetCloseHandle closed,
// in order; handles closed along with their session are not listed.
std::vector<std::string> InternetCloses();
// Internet handles not yet closed (a URL handle closes with its session).
size_t OpenInternetHandles(const std::string& kind = "");

}  // namespace sim
