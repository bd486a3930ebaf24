// Simulated threads: CreateThread runs the thread function on a real thread,
// but the thread takes no virtual time. It runs until it ends or until a
// simulated call blocks it; only then does the creating thread go on. A
// timed wait on a blocked thread advances virtual time instead of sleeping,
// so every outcome is decided by virtual time alone.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/win_process.h"

namespace sim {

// For simulated calls that do not return at once. Blocks the calling
// simulated thread until WakeBlocked(key) is called or virtual time reaches
// `wakeAtMs`, whichever comes first; returns true when woken by the key.
// A thread that TerminateThread ends does not return from here: it unwinds
// to its end. `key` null: only TerminateThread (or `wakeAtMs`) ends the block.
// Called on a thread that is not simulated (a test calling the code directly),
// it advances virtual time to `wakeAtMs`, or throws Stalled when nothing can
// ever wake it. The caller must not hold Lock().
bool BlockThread(const void* key, std::optional<uint64_t> wakeAtMs);

// Wakes every simulated thread blocked on `key` and lets each run until it
// ends or blocks again.
void WakeBlocked(const void* key);

// Simulated threads still running or blocked (not yet ended).
size_t LiveThreads();

// The earliest virtual time at which a blocked simulated thread wakes by
// itself, if any does.
std::optional<uint64_t> NextThreadWakeMs();

// Whether the caller runs on a thread that CreateThread started.
bool IsSimulatedThread();

}  // namespace sim
