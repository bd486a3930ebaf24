// The simulated Windows Sockets: DAYTIME servers by host name, as a TCP
// client meets them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_socket.h"

namespace sim {

// How the server behind `host` behaves. A name with no script does not
// resolve (WSAHOST_NOT_FOUND); each name that has one resolves to an address
// of its own (127.0.0.11, .12, ... in the order the names were first set).
//
// Serves `pieces`, one per recv at most, then closes the connection (recv
// returns 0). The connection is accepted `delayMs` after connect is called;
// a socket closed meanwhile makes connect fail with WSAEINTR.
void ServeDaytime(const std::string& host, const std::vector<std::string>& pieces,
                  uint64_t delayMs = 0);
// Serves `pieces` and then keeps the connection open without a word: the
// next recv blocks until the socket is closed.
void ServeAndStall(const std::string& host, const std::vector<std::string>& pieces);
// Refuses the connection: connect fails at once with WSAECONNREFUSED (a
// non-blocking one puts the socket in select's exception set at once).
void RefuseConnection(const std::string& host);
// Never answers the connection (its packets are dropped): a blocking connect
// waits until the socket is closed, a non-blocking one never completes.
void SilentConnect(const std::string& host);
// `name` resolves to the addresses of `hosts` (each scripted as above), in
// that order.
void ResolveTo(const std::string& name, const std::vector<std::string>& hosts);
// Accepts and never answers: recv blocks until the socket is closed.
void SilentServer(const std::string& host);
// The name lookup for `host` never returns, whatever else happens (a dead
// DNS server over a dial-up line): only the end of the test ends it.
void HangNameLookup(const std::string& host);
// No wsock32.dll: WSAStartup returns ERROR_MOD_NOT_FOUND, as the program's
// loader makes it, and every other call fails with it.
void MissingWinsock();

// The names gethostbyname was asked for, and the hosts connect reached, in order.
std::vector<std::string> LookedUpHosts();
std::vector<std::string> ConnectedHosts();
// Sockets created and not yet closed.
size_t OpenSockets();
// closesocket calls made while another call on that socket was blocked in it
// (Microsoft, "closesocket function": the descriptor may be reused at once,
// so such a close can hit another thread's socket).
size_t SocketsClosedWhileInUse();
// WSAStartup calls not yet balanced by WSACleanup.
int WinsockUsers();

}  // namespace sim
