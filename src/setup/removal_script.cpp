#include "setup/removal_script.h"

namespace {

// cmd splits an unquoted argument at blanks: `del` would delete the pieces
// and `if exist` test the first one, so the program would stay.
std::string Quoted(const std::string& path) {
  return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

}  // namespace

std::string ScriptPath(const std::string& longPath, const std::string& shortPath) {
  return shortPath.empty() ? longPath : shortPath;
}

std::vector<std::string> RemovalScriptLines(const std::string& path) {
  const std::string target = Quoted(path);
  return {":Repeat", "del " + target, "if exist " + target + " goto Repeat",
          std::string("del ") + kRemovalScriptPath};
}

std::string RemovalScriptText(const std::string& path) {
  std::string text;
  for (const std::string& line : RemovalScriptLines(path)) text += line + "\r\n";
  return text;
}
