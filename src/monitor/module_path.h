// The running executable's full path.
#pragma once

#include <string>

// Reads the path whole, growing the buffer as needed (the first try uses the
// classic MAX_PATH + 1 bytes). False when the system gives no path or none
// that fits the largest buffer Windows paths can need.
bool ReadModulePath(std::string* path);
// The part after the last backslash or slash.
std::string FileNamePart(const std::string& path);
