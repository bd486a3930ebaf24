#include "monitor/number_text.h"

namespace {

std::string Digits(uint64_t value, unsigned base, int digits) {
  char text[64];  // 64 binary digits at most; bases used are 10 and 16
  char* end = text + sizeof text;
  char* p = end;
  do {
    *--p = "0123456789ABCDEF"[value % base];
    value /= base;
    --digits;
  } while ((value != 0 || digits > 0) && p > text);
  return std::string(p, end);
}

}  // namespace

std::string DecimalText(int64_t value, int digits) {
  if (value >= 0) return Digits(static_cast<uint64_t>(value), 10, digits);
  // Negated as unsigned, so that the most negative value does not overflow.
  return "-" + Digits(0 - static_cast<uint64_t>(value), 10, digits);
}

std::string HexText(uint64_t value, int digits) { return Digits(value, 16, digits); }
