#include "monitor/event_log.h"

LocaleFormats g_localeFormats;

LocaleFormats DefaultLocaleFormats() {
  static const char* const monthAbbrev[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  static const char* const monthFull[] = {"January", "February", "March",     "April",
                                          "May",     "June",     "July",      "August",
                                          "September", "October", "November", "December"};
  static const char* const dayAbbrev[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const dayFull[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
  LocaleFormats f;
  f.shortDatePicture = "m/d/yy";
  f.dateSeparator = '/';
  f.timeSeparator = ':';
  f.amDesignator = "am";
  f.pmDesignator = "pm";
  f.longTimePicture = "h:mm:ss AMPM";
  for (int i = 1; i <= 12; ++i) {
    f.monthAbbrev[i] = monthAbbrev[i - 1];
    f.monthFull[i] = monthFull[i - 1];
  }
  for (int i = 0; i < 7; ++i) {
    f.dayAbbrev[i] = dayAbbrev[i];
    f.dayFull[i] = dayFull[i];
  }
  return f;
}

LocaleFormats LoadLocaleFormats() { return DefaultLocaleFormats(); }

std::string FormatTimestamp(const SYSTEMTIME&, const LocaleFormats&) { return std::string(); }

void LogEvent(const char*) {}
