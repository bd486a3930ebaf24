// The self-deleting batch file that removes the uninstalled executable once
// the uninstaller has ended, and the texts around it. No platform calls.
#pragma once

#include <string>
#include <vector>

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
// double quotes; any other path is written as it is.
std::vector<std::string> RemovalScriptLines(const std::string& oemPath);

// The whole file: every line ended by CR LF.
std::string RemovalScriptText(const std::string& oemPath);
