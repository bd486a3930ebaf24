// The DAYTIME reply (one line of text from port 13) and the clock
// correction it may call for.
#pragma once

#include <cstddef>
#include <optional>

#include "platform/win_types.h"

// No clock is set to a year before this version was released (set beside the
// version in CMakeLists.txt). The two-character year field reaches 2099.
constexpr LONG kReleaseYear = VORN_RELEASE_YEAR;

struct DaytimeReply {
  LONG dayNumber;  // Modified Julian Day; used only for the day of week
  LONG year;       // 2000 + the two-digit field
  LONG month;
  LONG day;
  LONG hour;
  LONG minute;
  LONG second;
  LONG dayOfWeek;    // (dayNumber + 3) mod 7, 0 = Sunday
  LONG secondOfDay;  // hour * 3600 + minute * 60 + second
  // NIST's health digit (0 healthy, 1 off by up to 5 s, 2 off by more,
  // 4 failed), or -1 when the line does not go on the way NIST's does.
  LONG health;
};

// The reply as the server sent it (`count` bytes), or none when it cannot be
// used. Pure.
std::optional<DaytimeReply> ParseDaytimeReply(const char* bytes, size_t count);

// Whether the server said its own time is more than 5 s off or unknown.
bool ServerSaysItsTimeIsWrong(const DaytimeReply& reply);

// The UTC time to set the clock to, or none when `now` is close enough, the
// reply names no real date and time from the release year on, or its server
// says its time is wrong. Pure.
std::optional<SYSTEMTIME> DecideClockCorrection(const DaytimeReply& reply, const SYSTEMTIME& now);

// What one reply made of the clock.
enum class ReplyOutcome {
  kUnusable,     // not a reply, outside the hours taken, no real time from the
                 // release year on, or its server says its time is wrong
  kClockRight,   // the clock is within the tolerance of the reply
  kStepHeld,     // the clock is off, but no other server has asked for the
                 // same step yet (second_opinion.h)
  kClockSet,     // a second server confirmed the step: the clock was set
                 // (or asked to be: a refused set is logged)
  kStepRefused,  // a second server confirmed a step too far to take on the
                 // network's word (far_step.h): logged, not set
};

// Parses the reply of server `server` (its index) and, when the clock is off
// and a server of another site asked for the same step, sets it. Logs, once
// until the clock is found right or set, a step too far to take and (see
// g_logRefusedSet) a set the system refused.
ReplyOutcome ApplyDaytimeReply(const char* bytes, size_t count, LONG server);

// What has been logged and is not logged again until the clock is found
// right or set; lasts while the monitor runs.
struct ClockLogged {
  bool farStep;
  bool setRefused;
};
extern ClockLogged g_clockLogged;

// Whether a refused set is logged: by the service, whose account is given
// the right to set the clock, so that a refusal is news. The monitor of 98
// to XP runs as whoever logged on, who may well lack that right.
extern bool g_logRefusedSet;
