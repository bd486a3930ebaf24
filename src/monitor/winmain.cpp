// The Windows entry point of Vorn.exe.
#include "monitor/entry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return VornMain(); }
