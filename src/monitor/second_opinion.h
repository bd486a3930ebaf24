// Whether a big step of the clock may be taken yet. DAYTIME has no
// authentication: anyone who answers for one server name could move the clock
// by years. A step of more than kLoneStepSeconds is therefore taken only when
// a second, different server asks for the same one.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

// The largest step, either way, one reply may take alone (ntpd's panic
// threshold). A step this size or less is always taken.
constexpr int64_t kLoneStepSeconds = 1000;
// Two servers agree on a step when the steps are this close, as close as the
// clock must be to a server to be left alone.
constexpr int64_t kStepAgreementSeconds = 30;

// A big step one server asked for and no other has confirmed yet.
struct HeldStep {
  LONG server;      // the server index that asked for it; 0 when none is held
  int64_t seconds;  // how far the clock would move (forward when positive)
};

// The monitor's one held step; it lasts while the monitor runs.
extern HeldStep g_heldStep;

// Days from 1970-01-01 to a Gregorian date (negative before it). Exact for
// every year SYSTEMTIME can hold.
LONG DaysFromCivil(LONG year, LONG month, LONG day);

// Seconds from `from` to `to`, whole date and time; milliseconds take no part.
int64_t SecondsBetween(const SYSTEMTIME& from, const SYSTEMTIME& to);

// Whether the clock may move by `seconds` now, as `server` asks. A big step
// that is not the held one confirmed by another server becomes the held step
// (replacing any other): the caller then asks the next server. A step that is
// taken forgets the held one, since the clock has moved.
bool TakeStep(HeldStep* held, LONG server, int64_t seconds);

// A server found the clock right: a held step was a lie or is stale.
inline void ForgetStep(HeldStep* held) { held->server = 0; }
