// The Windows entry point of Vorn.exe.
#include <cstdlib>
#include <exception>
#include <new>

#include "monitor/entry.h"

// A GUI program has no console to print a terminate message on, and the
// library's verbose handler drags a C++ name demangler (about 50 KB) into
// the executable. Ending at once is all it could do anyway.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The library raises its own errors (a string past max_size(), substr out of
// range) through these. Its versions build std::logic_error and friends,
// which carry a second, copy-on-write string type: about 60 KB of code for
// errors that only a bug can cause. They are raised here as a plain
// exception instead, caught or not caught wherever they were before. Should
// the program come to need another of them, the library's copies come back
// and the link fails on the duplicates: the sign to add that one here.
namespace {
class LibraryError final : public std::exception {
 public:
  explicit LibraryError(const char* what) : what_(what) {}
  const char* what() const noexcept override { return what_; }

 private:
  const char* what_;
};
}  // namespace

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_length_error(const char* what) { throw LibraryError(what); }
void __throw_logic_error(const char* what) { throw LibraryError(what); }
void __throw_out_of_range_fmt(const char* format, ...) { throw LibraryError(format); }
}  // namespace std

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return VornMain(); }
