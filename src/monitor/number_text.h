// Integers as text, without the C library's printf: linking its formatter
// (floating point and all) would add some 28 KB to the executable for three
// numbers.
#pragma once

#include <cstdint>
#include <string>

// Decimal with at least `digits` digits, zero-padded; a negative value gets
// a minus sign in front of them.
std::string DecimalText(int64_t value, int digits = 1);
// Upper-case hexadecimal with at least `digits` digits, zero-padded.
std::string HexText(uint64_t value, int digits = 1);
