// Reading the event log's date and time settings from the locale.
#include <algorithm>

#include "monitor/event_log.h"
#include "platform/win_locale.h"

LocaleFormats g_localeFormats = DefaultLocaleFormats();

namespace {

std::string ReadText(LCID locale, LCTYPE item, const std::string& fallback) {
  char buffer[256];
  int n = GetLocaleInfoA(locale, item, buffer, sizeof buffer);
  if (n <= 0) return fallback;
  return std::string(buffer, static_cast<size_t>(std::min<int>(n - 1, sizeof buffer - 1)));
}

// Room for one character only: a longer separator fails the read. An empty
// one has no character to give and counts as failed too, so no NUL byte ever
// reaches the log.
char ReadSeparator(LCID locale, LCTYPE item, char fallback) {
  char buffer[2];
  int n = GetLocaleInfoA(locale, item, buffer, sizeof buffer);
  return n >= 2 ? buffer[0] : fallback;
}

// Whether the text is a decimal integer other than zero; anything that is not
// a number counts as zero.
bool NonZeroNumber(const std::string& text) {
  size_t i = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (i == text.size()) return false;
  bool nonZero = false;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    nonZero = nonZero || text[i] != '0';
  }
  return nonZero;
}

}  // namespace

LocaleFormats ReadLocaleFormats(LCID locale) {
  LocaleFormats f = DefaultLocaleFormats();
  f.shortDatePicture = ReadText(locale, LOCALE_SSHORTDATE, f.shortDatePicture);
  f.dateSeparator = ReadSeparator(locale, LOCALE_SDATE, f.dateSeparator);
  f.timeSeparator = ReadSeparator(locale, LOCALE_STIME, f.timeSeparator);
  f.amDesignator = ReadText(locale, LOCALE_S1159, f.amDesignator);
  f.pmDesignator = ReadText(locale, LOCALE_S2359, f.pmDesignator);
  const bool leadingZero = NonZeroNumber(ReadText(locale, LOCALE_ITLZERO, "0"));
  const bool twentyFourHours = NonZeroNumber(ReadText(locale, LOCALE_ITIME, "0"));
  f.longTimePicture = leadingZero ? "hh:mm:ss" : "h:mm:ss";
  if (!twentyFourHours) f.longTimePicture += " AMPM";
  for (LCTYPE i = 0; i < 12; ++i) {
    f.monthAbbrev[i + 1] = ReadText(locale, LOCALE_SABBREVMONTHNAME1 + i, f.monthAbbrev[i + 1]);
  }
  for (LCTYPE i = 0; i < 12; ++i) {
    f.monthFull[i + 1] = ReadText(locale, LOCALE_SMONTHNAME1 + i, f.monthFull[i + 1]);
  }
  // The locale numbers its days from Monday (item 7 is Sunday); the arrays
  // start on Sunday.
  for (LCTYPE i = 0; i < 7; ++i) {
    LCTYPE item = i == 0 ? LOCALE_SABBREVDAYNAME7 : LOCALE_SABBREVDAYNAME1 + i - 1;
    f.dayAbbrev[i] = ReadText(locale, item, f.dayAbbrev[i]);
  }
  for (LCTYPE i = 0; i < 7; ++i) {
    LCTYPE item = i == 0 ? LOCALE_SDAYNAME7 : LOCALE_SDAYNAME1 + i - 1;
    f.dayFull[i] = ReadText(locale, item, f.dayFull[i]);
  }
  return f;
}

LocaleFormats LoadLocaleFormats() { return ReadLocaleFormats(GetSystemDefaultLCID()); }
