#include "monitor/windows_version.h"

namespace {

// The low byte is the major version, on 9x as on NT.
uint32_t NtMajor(uint32_t version) { return IsWindows9x(version) ? 0 : version & 0xFF; }

}  // namespace

bool IsWindows9x(uint32_t version) { return (version & 0x80000000u) != 0; }

bool IsVistaOrLater(uint32_t version) { return NtMajor(version) >= 6; }

bool MergesInheritedAccess(uint32_t version) { return NtMajor(version) >= 5; }

bool CmdRunsAutoRun(uint32_t version) { return NtMajor(version) >= 5; }
