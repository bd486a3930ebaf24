// Where the removal script lies on Windows NT: a folder of its own, made
// fresh under the Windows folder, with the script inside. No platform calls.
#pragma once

#include <string>

// Tries at most this many names before giving up: each one that is taken
// (left by an earlier removal, or made by someone else) is passed over, never
// used.
constexpr int kRemovalFolderAttempts = 100;

// The folder's path for try `attempt` (0 first): "VornRemoval", then
// "VornRemoval.1", "VornRemoval.2", ..., in `windowsFolder`.
std::string RemovalFolder(const std::string& windowsFolder, int attempt);

// The script's path in that folder.
std::string RemovalScriptIn(const std::string& folder);
