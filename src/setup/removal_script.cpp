#include "setup/removal_script.h"

#include "monitor/windows_version.h"

namespace {

// Characters that make cmd split or cut a batch line outside double quotes:
// a blank and , ; = end an argument (`del` would delete the pieces, `if
// exist` test the first one), & starts another command, ^ escapes the next
// character, and ( ) group commands. Inside quotes they are plain text.
constexpr const char* kQuotedCharacters = " &^,;=()";

// How the path stands in the batch file. cmd expands %...% inside a batch
// file, quotes or not: %windir% would name another folder and a lone % would
// vanish, so `del` could hit a file that is not ours; %% gives one %.
std::string BatchArgument(const std::string& path) {
  std::string escaped;
  for (char c : path) {
    if (c == '%') escaped += '%';
    escaped += c;
  }
  return path.find_first_of(kQuotedCharacters) == std::string::npos ? escaped
                                                                    : "\"" + escaped + "\"";
}

bool IsAscii(char c) { return static_cast<unsigned char>(c) < 0x80; }

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

}  // namespace

std::string ScriptPath(const std::string& longPath, const std::string& shortPath) {
  return shortPath.empty() ? longPath : shortPath;
}

bool OemPathNamesSameFile(const std::string& ansiPath, const std::string& oemPath) {
  if (oemPath.size() != ansiPath.size()) return false;
  for (size_t i = 0; i < ansiPath.size(); ++i) {
    if (IsAscii(ansiPath[i]) ? oemPath[i] != ansiPath[i] : IsAscii(oemPath[i])) return false;
  }
  return true;
}

std::vector<std::string> RemovalScriptLines(const std::string& oemPath) {
  const std::string target = BatchArgument(oemPath);
  return {":Repeat", "del " + target, "if exist " + target + " goto Repeat",
          std::string("del ") + kRemovalScriptPath};
}

std::vector<std::string> RemovalScriptLines(const std::string& oemPath,
                                            const std::string& oemScript,
                                            const std::string& oemFolder,
                                            const std::string& oemProgramFolder) {
  std::vector<std::string> lines = RemovalScriptLines(oemPath);
  std::string& last = lines.back();
  last.clear();
  if (!oemProgramFolder.empty()) {
    last += "rd ";
    last += BatchArgument(oemProgramFolder);
    last += " & ";
  }
  last += "del ";
  last += BatchArgument(oemScript);
  last += " & rd ";
  last += BatchArgument(oemFolder);
  last += " & exit";
  return lines;
}

std::string RemovalScriptText(const std::string& oemPath) {
  return Joined(RemovalScriptLines(oemPath));
}

std::string RemovalScriptText(const std::string& oemPath, const std::string& oemScript,
                              const std::string& oemFolder, const std::string& oemProgramFolder) {
  return Joined(RemovalScriptLines(oemPath, oemScript, oemFolder, oemProgramFolder));
}

std::string RemovalCommandLine(const std::string& cmd, const std::string& script,
                               uint32_t version) {
  std::string line = cmd.find(' ') == std::string::npos ? cmd : "\"" + cmd + "\"";
  if (CmdRunsAutoRun(version)) line += " /d";
  return line + " /c \"" + script + "\"";
}
