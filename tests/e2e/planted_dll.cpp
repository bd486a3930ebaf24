// A DLL an attacker would plant beside a download: named as one Windows
// loads at run time by searching (uxtheme.dll for a message box), it appends
// the loading program's path to C:\planted-dll.log and refuses to load, so
// that the program goes on with the system's copy and the test can read
// afterwards which processes would have run it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char line[MAX_PATH + 2];
  DWORD n = GetModuleFileNameA(nullptr, line, MAX_PATH);
  line[n++] = '\r';
  line[n++] = '\n';
  HANDLE log = CreateFileA("C:\\planted-dll.log", FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (log != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(log, line, n, &written, nullptr);
    CloseHandle(log);
  }
  return FALSE;
}
