// The host a server table entry names, for a fetch that connects to it
// itself rather than through a URL session.
#pragma once

#include <string>

// The host of an "http://HOST:13/" entry: the text between the scheme and
// the port. Empty when the entry is not such a URL (another scheme, another
// port or none, a user name, no host, a character no host name has), so a
// socket never connects anywhere the URL session would not have.
std::string DaytimeHost(const char* url);
