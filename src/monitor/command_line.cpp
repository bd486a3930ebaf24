#include "monitor/command_line.h"

namespace {

bool IsSeparator(unsigned char c) { return c >= 0x01 && c <= 0x20; }

// Past the separators before a word, and any "" pairs among them.
const unsigned char* SkipToWord(const unsigned char* p) {
  for (;;) {
    while (IsSeparator(*p)) ++p;
    if (p[0] != '"' || p[1] != '"') return p;
    p += 2;
  }
}

}  // namespace

std::vector<std::string> SplitCommandLine(const char* line) {
  std::vector<std::string> words;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(line ? line : "");
  for (;;) {
    p = SkipToWord(p);
    if (*p == 0) break;
    std::string word;
    while (*p > 0x20) {
      if (*p == '"') {
        ++p;
        while (*p != 0 && *p != '"') word += static_cast<char>(*p++);
        if (*p != 0) ++p;
      } else {
        word += static_cast<char>(*p++);
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::string ParametersText(const char* line) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(line ? line : "");
  // Word 0 as SplitCommandLine reads it, "" pairs before it included.
  p = SkipToWord(p);
  while (*p > 0x20) {
    if (*p == '"') {
      ++p;
      while (*p != 0 && *p != '"') ++p;
      if (*p != 0) ++p;
    } else {
      ++p;
    }
  }
  while (IsSeparator(*p)) ++p;
  return reinterpret_cast<const char*>(p);
}

std::string ParamStr(const std::vector<std::string>& words, size_t index) {
  return index < words.size() ? words[index] : std::string();
}
