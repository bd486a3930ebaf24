// The Windows entry point of Vorn.exe.
#include <cstdlib>

#include "monitor/entry.h"

// A GUI program has no console to print a terminate message on, and the
// library's verbose handler drags a C++ name demangler (about 50 KB) into
// the executable. Ending at once is all it could do anyway.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return VornMain(); }
