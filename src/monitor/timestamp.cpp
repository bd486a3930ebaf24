#include "monitor/timestamp.h"

#include <cstdint>

#include "monitor/number_text.h"

LocaleFormats DefaultLocaleFormats() {
  static const char* const monthAbbrev[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  static const char* const monthFull[] = {"January",   "February", "March",    "April",
                                          "May",       "June",     "July",     "August",
                                          "September", "October",  "November", "December"};
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

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// 0 for Sunday. Any field values, so that no record can index out of range.
int Weekday(const SYSTEMTIME& t) {
  int64_t y = t.wYear;
  int64_t m = t.wMonth;
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + t.wDay - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t daysFrom1970 = era * 146097 + doe - 719468;
  return static_cast<int>(((daysFrom1970 + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
}

class PictureRenderer {
 public:
  PictureRenderer(const std::string& picture, const SYSTEMTIME& t, const LocaleFormats& f)
      : picture_(picture), t_(t), f_(f) {}

  std::string Render() {
    size_t i = 0;
    // Anything past the limit is cut anyway.
    while (i < picture_.size() && out_.size() <= kMaxTimestampLength) i = Element(i);
    return out_;
  }

 private:
  // Renders the element at i; returns where the next one starts.
  size_t Element(size_t i) {
    const char c = picture_[i];
    if (c == '\'' || c == '"') {
      size_t close = picture_.find(c, i + 1);
      size_t end = close == std::string::npos ? picture_.size() : close;
      out_.append(picture_, i + 1, end - i - 1);
      return close == std::string::npos ? end : close + 1;
    }
    if (c == '/') {
      out_ += f_.dateSeparator;
      return i + 1;
    }
    if (c == ':') {
      out_ += f_.timeSeparator;
      return i + 1;
    }
    if (!IsLetter(c)) {
      out_ += c;
      return i + 1;
    }
    const char letter = Lower(c);
    if (letter == 'a') return AmPm(i);
    size_t run = 1;
    while (i + run < picture_.size() && picture_[i + run] == c) ++run;
    switch (letter) {
      case 'd':
        // Five or more d read as dddd, as Windows' own formatter reads them.
        if (run <= 2) {
          Number(t_.wDay, static_cast<int>(run));
        } else {
          const int weekday = Weekday(t_);
          out_ += run == 3 ? f_.dayAbbrev[weekday] : f_.dayFull[weekday];
        }
        break;
      case 'm':
        if (lastLetter_ == 'h') {
          Number(t_.wMinute, run == 1 ? 1 : 2);
        } else if (run <= 2) {
          Number(t_.wMonth, static_cast<int>(run));
        } else if (t_.wMonth >= 1 && t_.wMonth <= 12) {
          out_ += run == 3 ? f_.monthAbbrev[t_.wMonth] : f_.monthFull[t_.wMonth];
        }
        break;
      case 'y':
        if (run <= 2) {
          Number(t_.wYear % 100, 2);
        } else {
          Number(t_.wYear, 4);
        }
        break;
      case 'h':
        Number(TwelveHourClockAfter(i + run) ? TwelveHour() : t_.wHour, run == 1 ? 1 : 2);
        break;
      case 'n':
        Number(t_.wMinute, run == 1 ? 1 : 2);
        break;
      case 's':
        Number(t_.wSecond, run == 1 ? 1 : 2);
        break;
      case 't':
        // As in Windows time pictures: t is the designator's first
        // character, tt (or longer) the whole designator.
        if (run == 1) {
          out_.append(Designator(), 0, 1);
        } else {
          out_ += Designator();
        }
        break;
      default:
        // Every other letter, c included, is text: Windows pictures give c
        // no meaning, so a user who writes it means the letter.
        out_.append(picture_, i, run);
        break;
    }
    lastLetter_ = letter;
    return i + run;
  }

  // At an a: AM/PM, A/P, AMPM in that order, ignoring case; else the a.
  size_t AmPm(size_t i) {
    const bool morning = t_.wHour < 12;
    if (StartsWith(i, "am/pm")) {
      out_.append(picture_, morning ? i : i + 3, 2);
      lastLetter_ = 'm';
      return i + 5;
    }
    if (StartsWith(i, "a/p")) {
      out_ += picture_[morning ? i : i + 2];
      lastLetter_ = 'p';
      return i + 3;
    }
    if (StartsWith(i, "ampm")) {
      out_ += Designator();
      lastLetter_ = 'm';
      return i + 4;
    }
    out_ += picture_[i];
    lastLetter_ = 'a';
    return i + 1;
  }

  bool StartsWith(size_t i, const char* form) const {
    for (; *form; ++form, ++i) {
      if (i >= picture_.size() || Lower(picture_[i]) != *form) return false;
    }
    return true;
  }

  // Whether an a stands from `from` on, outside quotes, before the next h.
  bool TwelveHourClockAfter(size_t from) const {
    for (size_t j = from; j < picture_.size(); ++j) {
      const char c = picture_[j];
      if (c == '\'' || c == '"') {
        j = picture_.find(c, j + 1);
        if (j == std::string::npos) return false;
      } else if (Lower(c) == 'a') {
        return true;
      } else if (Lower(c) == 'h') {
        return false;
      }
    }
    return false;
  }

  unsigned TwelveHour() const { return t_.wHour % 12 == 0 ? 12 : t_.wHour % 12; }

  const std::string& Designator() const {
    return t_.wHour < 12 ? f_.amDesignator : f_.pmDesignator;
  }

  void Number(unsigned value, int digits) { out_ += DecimalText(value, digits); }

  const std::string& picture_;
  const SYSTEMTIME& t_;
  const LocaleFormats& f_;
  std::string out_;
  // The nearest letter so far outside quotes, in lower case: an m right after
  // an h means minutes.
  char lastLetter_ = 0;
};

}  // namespace

std::string FormatTimestamp(const SYSTEMTIME& t, const LocaleFormats& formats) {
  std::string text = PictureRenderer(formats.shortDatePicture, t, formats).Render();
  if (t.wHour != 0 || t.wMinute != 0 || t.wSecond != 0) {
    text += ' ';
    text += PictureRenderer(formats.longTimePicture, t, formats).Render();
  }
  if (text.size() > kMaxTimestampLength) text.resize(kMaxTimestampLength);
  return text;
}
