// Whether a step of the clock may be taken yet. DAYTIME has no
// authentication: anyone who answers for one server name (or sits between the
// PC and it) could move the clock, and a small step asked for at every check
// walks it as far as a big one. So no step of any size is taken on one
// server's word: it is taken only when a second, different server asks for
// the same one.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

// Two servers agree on a step when the steps are this close, as close as the
// clock must be to a server to be left alone.
constexpr int64_t kStepAgreementSeconds = 30;

// A step one server asked for and no other has confirmed yet.
struct HeldStep {
  LONG server;      // the server index that asked for it; 0 when none is held
  int64_t seconds;  // how far the clock would move (forward when positive)
};

// The monitor's one held step; it lasts while the monitor runs.
extern HeldStep g_heldStep;

// Days from 1970-01-01 to a Gregorian date (negative before it). Exact for
// every year SYSTEMTIME can hold.
LONG DaysFromCivil(LONG year, LONG month, LONG day);

// Seconds from 1970-01-01 00:00:00 to `t`; milliseconds take no part.
int64_t SecondsSince1970(const SYSTEMTIME& t);

// Seconds from `from` to `to`, whole date and time; milliseconds take no part.
int64_t SecondsBetween(const SYSTEMTIME& from, const SYSTEMTIME& to);

// Whether the clock may move by `seconds` now, as `server` asks: only when
// a server of another site (server_table.h) asked for the same step and it
// is held. Any other step becomes the held one (replacing any other) and
// the caller asks the next server. A step that is taken forgets the held
// one, since the clock has moved. A held step lasts only for the check
// that asked for it, so that no unusable answers in between can carry it
// to a server that would confirm it later.
bool TakeStep(HeldStep* held, LONG server, int64_t seconds);

// A server found the clock right: a held step was a lie or is stale.
inline void ForgetStep(HeldStep* held) { held->server = 0; }
