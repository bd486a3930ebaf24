// Splitting any command line: no crash, no word holds a double quote, and
// joining the words again (quoted where needed) splits back to them.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "monitor/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  line = line.substr(0, line.find('\0'));
  const std::vector<std::string> words = SplitCommandLine(line.c_str());
  std::string joined;
  for (const std::string& word : words) {
    if (word.find('"') != std::string::npos) abort();
    bool quote = word.empty();
    for (unsigned char c : word) quote = quote || c <= 0x20;
    if (!joined.empty()) joined += ' ';
    joined += quote ? "\"" + word + "\"" : word;
  }
  // An empty word quoted is "", which the splitter skips between words.
  std::vector<std::string> expected;
  for (const std::string& word : words) {
    if (!word.empty()) expected.push_back(word);
  }
  if (SplitCommandLine(joined.c_str()) != expected) abort();
  return 0;
}
