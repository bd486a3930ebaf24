// handle_count PID: prints how many handles the process PID holds.
//
// Wine's GetProcessHandleCount always reports 0, but its
// NtQuerySystemInformation(SystemHandleInformation) lists every handle of
// every process, so the count comes from there.
//
// Build: i686-w64-mingw32-g++-posix -static -Os -s handle_count.cpp -o handle_count.exe
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <vector>

namespace {

const ULONG kSystemHandleInformation = 16;
const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct HandleEntry {
  ULONG processId;
  BYTE objectType;
  BYTE flags;
  USHORT handle;
  PVOID object;
  ACCESS_MASK access;
};

struct HandleList {
  ULONG count;
  HandleEntry entries[1];
};

typedef LONG(WINAPI* QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: handle_count PID\n", stderr);
    return 2;
  }
  ULONG pid = strtoul(argv[1], nullptr, 0);
  // Through void (*)(): the cast between two function types is then explicit.
  QuerySystemInformation query =
      reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void (*)()>(
          GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return 1;
  std::vector<char> buffer(1 << 16);
  LONG status;
  ULONG needed = 0;
  while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                         &needed)) == kInfoLengthMismatch) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return 1;
  const HandleList* list = reinterpret_cast<const HandleList*>(buffer.data());
  ULONG mine = 0;
  for (ULONG i = 0; i < list->count; ++i) {
    if (list->entries[i].processId == pid) ++mine;
  }
  printf("%lu\n", static_cast<unsigned long>(mine));
  return 0;
}
