// The host a socket fetch connects to, taken from a server table entry.
#include "monitor/daytime_host.h"

#include <gtest/gtest.h>

#include "monitor/server_table.h"

namespace {

TEST(DaytimeHost, TakesTheHostOfAnHttpUrlOnPort13) {
  struct Case {
    const char* url;
    const char* host;  // "" when no socket may connect for it
  } cases[] = {
      {"http://time-a-g.nist.gov:13/", "time-a-g.nist.gov"},
      {"http://time-b-wwv.nist.gov:13", "time-b-wwv.nist.gov"},
      {"HTTP://Time-C-G.NIST.gov:13/", "Time-C-G.NIST.gov"},
      {"http://127.0.0.11:13/", "127.0.0.11"},
      {"http://host:013/", "host"},
      {"http://host:13/daytime", "host"},
      // The URL session would have gone elsewhere: port 80, another port.
      {"http://host/", ""},
      {"http://host", ""},
      {"http://host:80/", ""},
      {"http://host:130/", ""},
      {"http://host:1/", ""},
      {"http://host:/", ""},
      // Not an http URL, or no plain host in it.
      {"https://host:13/", ""},
      {"ftp://host:13/", ""},
      {"host:13", ""},
      {"http://:13/", ""},
      {"http://user@host:13/", ""},
      {"http://[::1]:13/", ""},
      {"http://ho st:13/", ""},
      {"http://host\\evil:13/", ""},
      {"", ""},
      {"http:/", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DaytimeHost(c.url), c.host) << c.url;
  EXPECT_EQ(DaytimeHost(nullptr), "");
  EXPECT_EQ(DaytimeHost(("http://" + std::string(255, 'a') + ":13/").c_str()),
            std::string(255, 'a'));
  EXPECT_EQ(DaytimeHost(("http://" + std::string(256, 'a') + ":13/").c_str()), "");
}

TEST(DaytimeHost, EveryServerOfTheTableHasOne) {
  InitServerTable();
  for (LONG index = 1; index <= kServerCount; ++index) {
    EXPECT_NE(DaytimeHost(g_servers.urls[index]), "") << g_servers.urls[index];
  }
}

}  // namespace
