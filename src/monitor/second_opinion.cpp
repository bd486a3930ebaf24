#include "monitor/second_opinion.h"

#include "monitor/server_table.h"

HeldStep g_heldStep;

LONG DaysFromCivil(LONG year, LONG month, LONG day) {
  // Counted in 400-year eras from 1 March of year 0, so that the leap day
  // ends the counted year.
  const LONG y = month <= 2 ? year - 1 : year;
  const LONG era = (y >= 0 ? y : y - 399) / 400;
  const LONG yearOfEra = y - era * 400;
  const LONG dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const LONG dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int64_t SecondsSince1970(const SYSTEMTIME& t) {
  const int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay);
  return days * 86400 + t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
}

namespace {

bool Within(int64_t seconds, int64_t bound) { return seconds >= -bound && seconds <= bound; }

}  // namespace

int64_t SecondsBetween(const SYSTEMTIME& from, const SYSTEMTIME& to) {
  return SecondsSince1970(to) - SecondsSince1970(from);
}

bool TakeStep(HeldStep* held, LONG server, int64_t seconds) {
  const bool confirmed = held->server != 0 && ServerSite(held->server) != ServerSite(server) &&
                         Within(seconds - held->seconds, kStepAgreementSeconds);
  if (confirmed) {
    ForgetStep(held);
    return true;
  }
  *held = {server, seconds};
  return false;
}
