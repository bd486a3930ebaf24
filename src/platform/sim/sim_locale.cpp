// Simulated kernel32 locale calls.
#include "platform/sim/sim_locale.h"

#include <cstring>
#include <map>

#include "platform/sim/sim.h"
#include "platform/win_base.h"

namespace sim {
namespace {

constexpr LCID kEnglishUnitedStates = 0x0409;
constexpr LCID kLocaleSystemDefault = 0x0800;
constexpr LCID kLocaleUserDefault = 0x0400;
constexpr DWORD kErrorInvalidFlags = 1004;

struct Locale {
  LCID id = kEnglishUnitedStates;
  std::map<LCTYPE, std::string> values;
  std::map<LCTYPE, DWORD> failures;
};

std::map<LCTYPE, std::string> EnglishUnitedStates() {
  static const char* const months[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
  static const char* const days[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                     "Friday", "Saturday", "Sunday"};
  std::map<LCTYPE, std::string> values = {
      {LOCALE_SDATE, "/"},  {LOCALE_STIME, ":"},   {LOCALE_SSHORTDATE, "M/d/yyyy"},
      {LOCALE_ITIME, "0"},  {LOCALE_ITLZERO, "0"}, {LOCALE_S1159, "AM"},
      {LOCALE_S2359, "PM"},
  };
  for (LCTYPE i = 0; i < 12; ++i) {
    values[LOCALE_SMONTHNAME1 + i] = months[i];
    values[LOCALE_SABBREVMONTHNAME1 + i] = std::string(months[i], 3);
  }
  for (LCTYPE i = 0; i < 7; ++i) {
    values[LOCALE_SDAYNAME1 + i] = days[i];
    values[LOCALE_SABBREVDAYNAME1 + i] = std::string(days[i], 3);
  }
  return values;
}

Locale& L() {
  static Locale locale;
  return locale;
}

ResetHook reset([] {
  L() = Locale();
  L().values = EnglishUnitedStates();
});

}  // namespace

void SetSystemLocale(LCID locale) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  L().id = locale;
}

void SetLocaleInfo(LCTYPE item, const std::string& value) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  L().values[item] = value;
}

void FailLocaleInfo(LCTYPE item, DWORD error) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  L().failures[item] = error;
}

void ClearLocaleFailure(LCTYPE item) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  L().failures.erase(item);
}

}  // namespace sim

LCID WINAPI GetSystemDefaultLCID() {
  sim::Enter("GetSystemDefaultLCID", "");
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  return sim::L().id;
}

int WINAPI GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size) {
  if (sim::Enter("GetLocaleInfoA", sim::Fmt("0x%04X, 0x%X, %d", locale, type, size))) return 0;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Locale& current = sim::L();
  if (locale != current.id && locale != sim::kLocaleSystemDefault &&
      locale != sim::kLocaleUserDefault) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto failure = current.failures.find(type);
  if (failure != current.failures.end()) {
    SetLastError(failure->second);
    return 0;
  }
  auto value = current.values.find(type);
  if (value == current.values.end()) {
    SetLastError(sim::kErrorInvalidFlags);
    return 0;
  }
  int needed = static_cast<int>(value->second.size()) + 1;
  if (size == 0) return needed;
  if (size < 0 || needed > size) {
    SetLastError(size < 0 ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(data, value->second.c_str(), needed);
  return needed;
}
