#include "monitor/windows_version.h"

bool IsVistaOrLater(DWORD version) {
  return (version & 0x80000000u) == 0 && (version & 0xFFu) >= 6;
}
