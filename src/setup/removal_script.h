// The self-deleting batch file that removes the uninstalled executable once
// the uninstaller has ended, and the texts around it. No platform calls.
#pragma once

#include <string>
#include <vector>

constexpr const char* kRemovalScriptPath = "c:\\DelAll.bat";

// The path the script deletes: the short (8.3) form when the system gave one,
// else the long path (volumes without 8.3 names give none).
std::string ScriptPath(const std::string& longPath, const std::string& shortPath);

// The script's four lines, without line ends. In the path every % is
// doubled, and a path with a blank is put in double quotes; any other path
// is written as it is.
std::vector<std::string> RemovalScriptLines(const std::string& path);

// The whole file: every line ended by CR LF.
std::string RemovalScriptText(const std::string& path);
