#include "monitor/daytime_host.h"

#include <cstring>

namespace {

constexpr char kScheme[] = "http://";
constexpr size_t kMaxHostLength = 255;

bool HostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.';
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string DaytimeHost(const char* url) {
  if (!url) return std::string();
  const size_t schemeLength = sizeof kScheme - 1;
  for (size_t i = 0; i < schemeLength; ++i) {
    if (Lower(url[i]) != kScheme[i]) return std::string();
  }
  const char* host = url + schemeLength;
  size_t length = 0;
  while (HostCharacter(host[length])) ++length;
  if (length == 0 || length > kMaxHostLength) return std::string();
  const char* rest = host + length;
  // The DAYTIME port, said: without it the URL means port 80. Nothing but a
  // path after it.
  if (*rest++ != ':') return std::string();
  while (*rest == '0') ++rest;
  if (strncmp(rest, "13", 2) != 0) return std::string();
  rest += 2;
  if (*rest != '\0' && *rest != '/') return std::string();
  return std::string(host, length);
}
