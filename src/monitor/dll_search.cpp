#include "monitor/dll_search.h"

#include "platform/win_base.h"

void LimitDllSearch() {
  if (SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  SetDllDirectoryA("");
}
