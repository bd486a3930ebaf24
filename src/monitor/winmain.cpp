// The Windows entry point of Vorn.exe.
#include <cstdlib>
#include <new>

#include "monitor/entry.h"

// Vorn.exe is built without C++ exceptions: the unwinder and its tables
// were about 50 KB of a program whose errors all end in a report of their
// own. What the library would raise (out of memory, a string past
// max_size(), substr out of range) only a bug or an exhausted machine can
// cause; the program ends at once instead. Should the program come to need
// another of these, the library's copies come back with the unwinder and
// the link fails on the duplicates: the sign to add that one here.
namespace {
[[noreturn]] void Fatal() { std::abort(); }
}  // namespace

namespace std {
void __throw_bad_alloc() { Fatal(); }
void __throw_bad_array_new_length() { Fatal(); }
void __throw_length_error(const char*) { Fatal(); }
void __throw_logic_error(const char*) { Fatal(); }
void __throw_out_of_range_fmt(const char*, ...) { Fatal(); }
}  // namespace std

// The library's operator new raises bad_alloc, and with it the unwinder.
void* operator new(std::size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) Fatal();
  return block;
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return VornMain(); }
