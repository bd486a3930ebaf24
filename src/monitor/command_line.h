// Splitting the process command line into words, the way the program's
// parameters are numbered: word 0 is the program name as written.
#pragma once

#include <string>
#include <vector>

// Bytes 0x01..0x20 separate words, and a "" met between words is skipped.
// Inside a word a double quote opens a run, up to the next quote or the end,
// in which blanks belong to the word; the quotes never reach the word. Words
// of any length are kept whole.
std::vector<std::string> SplitCommandLine(const char* line);

// Word `index`, or the empty text beyond the last word.
std::string ParamStr(const std::vector<std::string>& words, size_t index);

// What follows word 0, as written (quotes kept), without the separators
// before it: the parameters to hand on to another copy of the program.
std::string ParametersText(const char* line);
