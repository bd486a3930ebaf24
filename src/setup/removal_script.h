// The self-deleting batch file that removes the uninstalled executable once
// the uninstaller has ended, and the texts around it. No platform calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Where the script lies on Windows 9x, which has no access lists.
constexpr const char* kRemovalScriptPath = "c:\\DelAll.bat";

// The path the script deletes: the short (8.3) form when the system gave one,
// else the long path (volumes without 8.3 names give none).
std::string ScriptPath(const std::string& longPath, const std::string& shortPath);

// Whether `oemPath`, the OEM code page form of `ansiPath` as CharToOemA gave
// it, still names the same file. A character the OEM code page lacks comes
// out as a look-alike (A-grave as A, the per-mille sign as %, a single
// guillemet as <) or a control byte (the section sign in code page 437), and
// a script would then delete another file or run another command. Such a
// stand-in is an ASCII or control byte where the path had a non-ASCII one.
bool OemPathNamesSameFile(const std::string& ansiPath, const std::string& oemPath);

// The script's four lines, without line ends, for `oemPath` in the OEM code
// page, in which cmd and COMMAND.COM read a batch file. In the path every %
// is doubled, and a path holding a blank or any of & ^ , ; = ( ) is put in
// double quotes; any other path is written as it is. The last line deletes
// kRemovalScriptPath: the script as Windows 9x keeps it.
std::vector<std::string> RemovalScriptLines(const std::string& oemPath);

// The same for a script at `oemScript` in a folder of its own, `oemFolder`
// (Windows NT), all three paths in the OEM code page and written as above.
// The last line deletes the script, removes its folder and ends cmd, all in
// one line: cmd reads a line whole before it runs it, and reads the next
// one by the script's name, which must not find anything put there after
// the folder has gone. With an `oemProgramFolder` (the service's program
// folder, Vista and later), that line removes it first; `rd` removes only
// an empty folder, so nothing else put there goes with it.
std::vector<std::string> RemovalScriptLines(const std::string& oemPath,
                                            const std::string& oemScript,
                                            const std::string& oemFolder,
                                            const std::string& oemProgramFolder = "");

// The whole file: every line ended by CR LF.
std::string RemovalScriptText(const std::string& oemPath);
std::string RemovalScriptText(const std::string& oemPath, const std::string& oemScript,
                              const std::string& oemFolder,
                              const std::string& oemProgramFolder = "");

// How Windows NT is to start the script at `script`: the command
// interpreter `cmd` (its full path, in the system folder, never found by a
// search or %ComSpec%) with /c and the script in double quotes. From
// Windows 2000 on, /d too: cmd then runs no AutoRun command from the
// registry, which under User Account Control the user's processes without
// elevation can set, and would run with the uninstaller's rights. NT 4.0's
// cmd has neither the switch nor AutoRun. `version` is GetVersion's.
std::string RemovalCommandLine(const std::string& cmd, const std::string& script, uint32_t version);
