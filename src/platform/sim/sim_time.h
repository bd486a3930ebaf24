// The simulated clock: a UTC clock that runs with virtual time, and the
// local time zone's offset from it.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

namespace sim {

// Sets the UTC clock to `utc` now (the day of week is derived); throws
// std::invalid_argument for a record that IsValidSystemTime refuses.
void SetUtcNow(const SYSTEMTIME& utc);
SYSTEMTIME UtcNow();
// Local time = UTC + offset.
void SetLocalOffsetMinutes(int minutes);
// Whether SetSystemTime would take this record: a real date and time in
// 1601..30827 (the day of week is ignored).
bool IsValidSystemTime(const SYSTEMTIME& time);
// Milliseconds since 1 January 1601 for a valid record, and back.
int64_t ToMs1601(const SYSTEMTIME& time);
SYSTEMTIME FromMs1601(int64_t ms);

}  // namespace sim
