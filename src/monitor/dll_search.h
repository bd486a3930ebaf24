// Where the process looks for the DLLs that Windows and its own calls load
// at run time.
#pragma once

// Before anything else in every role. Windows looks in the program's own
// folder first for every DLL that is not a KnownDLL, and the installer runs
// elevated from a download folder anyone with that user's rights can write
// to: a DLL saved there (version.dll, uxtheme.dll, dwmapi.dll, the usual
// names) would run with the administrator's rights when the first message
// box or shell call loads it (Microsoft Security Advisory 2269637). From
// Windows 8 on, and on Vista and 7 with update KB2533623, such loads come
// from the system folder only (SetDefaultDllDirectories); XP SP1 and later
// at least leave out the current folder (SetDllDirectoryA with ""). Older
// Windows have neither, and nothing fails there.
void LimitDllSearch();
