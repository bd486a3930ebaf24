#include "setup/removal_script.h"

namespace {

// How the path stands in the batch file. cmd expands %...% inside a batch
// file: %windir% would name another folder and a lone % would vanish, so
// `del` could hit a file that is not ours; %% gives one %. cmd also splits an
// unquoted argument at blanks: `del` would delete the pieces and `if exist`
// test the first one, so the program would stay.
std::string BatchArgument(const std::string& path) {
  std::string escaped;
  for (char c : path) {
    if (c == '%') escaped += '%';
    escaped += c;
  }
  return path.find(' ') == std::string::npos ? escaped : "\"" + escaped + "\"";
}

}  // namespace

std::string ScriptPath(const std::string& longPath, const std::string& shortPath) {
  return shortPath.empty() ? longPath : shortPath;
}

std::vector<std::string> RemovalScriptLines(const std::string& path) {
  const std::string target = BatchArgument(path);
  return {":Repeat", "del " + target, "if exist " + target + " goto Repeat",
          std::string("del ") + kRemovalScriptPath};
}

std::string RemovalScriptText(const std::string& path) {
  std::string text;
  for (const std::string& line : RemovalScriptLines(path)) text += line + "\r\n";
  return text;
}
