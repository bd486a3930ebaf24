// Whether a step that two servers agree on is small enough to take on the
// network's word. DAYTIME has no authentication: whoever answers for every
// server name (a café's Wi-Fi, a rogue DNS server, anyone on the path) makes
// two "servers" agree, and a clock put years ahead breaks certificates,
// Kerberos and every timestamp. Like the Windows Time service on a PC of its
// own (MaxPosPhaseCorrection and MaxNegPhaseCorrection, 15 hours), Vorn
// takes no step of more than 15 hours either way, unless the clock reads a
// moment before this program was built: then it cannot be right (a flat
// CMOS battery, a new virtual machine) and any agreed step is taken.
#pragma once

#include <cstdint>
#include <string>

constexpr int64_t kFarStepSeconds = 15 * 3600;

// The moment this Vorn.exe was built (its commit's time, seconds since 1970;
// 0 when the build could not tell, which lets no far step through). Tests
// may change it.
extern int64_t g_buildTime;

// Whether a step of `seconds` may be taken with the clock at `clock`
// (seconds since 1970). Pure.
bool MayTakeStep(int64_t seconds, int64_t clock, int64_t buildTime);

// The log line for a step not taken: "Step Of 20 Hours Not Taken", with a
// minus for a step back; whole hours, rounded down. Pure.
std::string FarStepMessage(int64_t seconds);
