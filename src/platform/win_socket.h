// wsock32: a TCP connection by host name (Windows Sockets 1.1).
//
// On Windows wsock32.dll is not a load-time import: platform/win/on_demand.cpp
// defines these calls and loads it from the system folder on first use, so
// the program starts on a Windows 98 or NT 4.0 installed without a network.
// Where the DLL or a function is missing, WSAStartup returns the loader's
// error (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND) and the other calls fail
// with it as their last error. The SDK's winsock.h is not included (it
// declares the calls as imports), so the records are declared here on both
// platforms, in the Windows layout.
#pragma once
#include "platform/win_types.h"

typedef UINT_PTR SOCKET;

#define INVALID_SOCKET (~static_cast<SOCKET>(0))
#define SOCKET_ERROR (-1)
#define AF_INET 2
#define SOCK_STREAM 1
#define IPPROTO_TCP 6

#ifndef _WIN32  // winerror.h has them
#define WSAEINTR 10004
#define WSAEWOULDBLOCK 10035
#define WSAENOTSOCK 10038
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAHOST_NOT_FOUND 11001
#endif

// WSAStartup fills it; the program reads nothing from it. The 32-bit and the
// 64-bit layouts order the fields differently: room for either.
typedef struct WSAData {
  WORD wVersion;
  WORD wHighVersion;
  char rest[508];
} WSADATA, *LPWSADATA;

typedef struct in_addr {
  BYTE bytes[4];  // in network order
} IN_ADDR;

typedef struct sockaddr {
  WORD sa_family;
  char sa_data[14];
} SOCKADDR;

typedef struct sockaddr_in {
  short sin_family;
  WORD sin_port;  // in network order
  IN_ADDR sin_addr;
  char sin_zero[8];
} SOCKADDR_IN;

typedef struct hostent {
  char* h_name;
  char** h_aliases;
  short h_addrtype;
  short h_length;
  char** h_addr_list;
} HOSTENT;

// ioctlsocket's command that makes a socket non-blocking or blocking again
// (winsock.h: _IOW('f', 126, u_long)).
constexpr LONG kSocketNonBlocking = static_cast<LONG>(0x8004667Eu);

// select's socket set and time limit, in the Windows layout (fd_set with
// FD_SETSIZE 64, and timeval), under names of their own: the host's C
// library has its own fd_set and timeval.
constexpr UINT kSocketSetSize = 64;
typedef struct SocketSet {
  UINT fd_count;
  SOCKET fd_array[kSocketSetSize];
} SOCKET_SET;
typedef struct SocketWait {
  LONG tv_sec;
  LONG tv_usec;
} SOCKET_WAIT;

int WINAPI WSAStartup(WORD versionRequested, LPWSADATA data);
int WINAPI WSACleanup();
int WINAPI WSAGetLastError();
HOSTENT* WINAPI gethostbyname(const char* name);
SOCKET WINAPI socket(int family, int type, int protocol);
int WINAPI connect(SOCKET s, const SOCKADDR* name, int length);
int WINAPI recv(SOCKET s, char* buffer, int length, int flags);
int WINAPI ioctlsocket(SOCKET s, LONG command, ULONG* argument);
// Leaves in each set the sockets that are ready; the first argument is
// ignored. A non-blocking connect that succeeded makes its socket writable,
// one that failed puts it in the exception set.
int WINAPI select(int ignored, SOCKET_SET* read, SOCKET_SET* write, SOCKET_SET* except,
                  const SOCKET_WAIT* timeout);
int WINAPI closesocket(SOCKET s);
