// The read-only attribute that a program copied from read-only media (a
// CD-ROM) carries along.
#pragma once

#include <string>

// Clears the read-only attribute of the file at `path` and keeps its other
// attributes. On the installed program the attribute would make the next
// install's copy fail and the removal script's `del` loop for ever. Nothing
// is reported: a file that stays read-only makes the call that follows fail.
void ClearReadOnly(const std::string& path);
