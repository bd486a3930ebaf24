// shell32: starting a program the way the shell does.
#pragma once
#include "platform/win_types.h"

#ifdef _WIN32
#include <shellapi.h>
#else
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
HINSTANCE WINAPI ShellExecuteA(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, int showCommand);
#endif
