#include "monitor/timestamp.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// 7 March 2003 was a Friday; the record's own weekday is deliberately wrong.
SYSTEMTIME At(WORD hour, WORD minute, WORD second, WORD ms = 0) {
  return SYSTEMTIME{2003, 3, 0, 7, hour, minute, second, ms};
}

// M/d/yy, separators / and :, no leading zero, 12-hour clock, AM and PM.
LocaleFormats UnitedStates() {
  LocaleFormats f = DefaultLocaleFormats();
  f.shortDatePicture = "M/d/yy";
  f.amDesignator = "AM";
  f.pmDesignator = "PM";
  f.longTimePicture = "h:mm:ss AMPM";
  return f;
}

struct TimestampCase {
  const char* what;
  LocaleFormats formats;
  SYSTEMTIME time;
  std::string expected;
};

LocaleFormats With(LocaleFormats f, const char* datePicture, const char* timePicture) {
  f.shortDatePicture = datePicture;
  f.longTimePicture = timePicture;
  return f;
}

TEST(FormatTimestamp, WholeTimestamps) {
  const LocaleFormats us = UnitedStates();
  const LocaleFormats german = With(us, "dd.MM.yyyy", "hh:mm:ss");
  const TimestampCase cases[] = {
      {"morning", us, At(9, 5, 3), "3/7/03 9:05:03 AM"},
      {"half past midnight", us, At(0, 30, 15), "3/7/03 12:30:15 AM"},
      {"afternoon", us, At(13, 5, 0), "3/7/03 1:05:00 PM"},
      {"just after noon", us, At(12, 0, 1), "3/7/03 12:00:01 PM"},
      {"midnight is the date alone", us, At(0, 0, 0, 999), "3/7/03"},
      {"one second after midnight", us, At(0, 0, 1), "3/7/03 12:00:01 AM"},
      {"24-hour with leading zeros", german, At(9, 5, 3), "07.03.2003 09:05:03"},
      {"every default", DefaultLocaleFormats(), At(9, 5, 3), "3/7/03 9:05:03 am"},
      {"month abbreviation", With(us, "d-MMM-yy", "h:mm:ss AMPM"), At(21, 0, 0),
       "7-Mar-03 9:00:00 PM"},
      {"leading zero on the 12-hour clock", With(us, "M/d/yy", "hh:mm:ss AMPM"), At(0, 30, 15),
       "3/7/03 12:30:15 AM"},
  };
  for (const TimestampCase& c : cases) {
    EXPECT_EQ(FormatTimestamp(c.time, c.formats), c.expected) << c.what;
  }
}

// One picture on its own, as the date picture with an empty time picture.
std::string Render(const std::string& picture, const SYSTEMTIME& t,
                   const LocaleFormats& base = UnitedStates()) {
  LocaleFormats f = With(base, picture.c_str(), "");
  std::string text = FormatTimestamp(t, f);
  if (t.wHour || t.wMinute || t.wSecond) {
    EXPECT_EQ(text.back(), ' ');
    text.pop_back();
  }
  return text;
}

struct PictureCase {
  const char* picture;
  SYSTEMTIME time;
  std::string expected;
};

TEST(FormatTimestamp, PictureElements) {
  const PictureCase cases[] = {
      // Day, month, year.
      {"d dd D DD", At(9, 5, 3), "7 07 7 07"},
      {"ddd dddd DDD", At(9, 5, 3), "Fri Friday Fri"},
      {"m mm M MM", At(9, 5, 3), "3 03 3 03"},
      {"mmm mmmm MMMMMM", At(9, 5, 3), "Mar March March"},
      {"y yy yyy yyyy yyyyy", At(9, 5, 3), "03 03 2003 2003 2003"},
      {"yy yyyy", SYSTEMTIME{987, 3, 0, 7, 9, 5, 3, 0}, "87 0987"},
      {"dddd d MMMM", SYSTEMTIME{2003, 3, 0, 2, 9, 5, 3, 0}, "Sunday 2 March"},
      {"ddd d MMM yyyy", SYSTEMTIME{2004, 2, 0, 29, 9, 5, 3, 0}, "Sun 29 Feb 2004"},
      {"ddd d MMM yyyy", SYSTEMTIME{2000, 1, 0, 1, 9, 5, 3, 0}, "Sat 1 Jan 2000"},
      // Runs are of one letter in one case.
      {"dD", At(9, 5, 3), "77"},
      {"Mm", At(9, 5, 3), "33"},
      // Hours, minutes, seconds; m right after h is minutes.
      {"h:m:s", At(9, 5, 3), "9:5:3"},
      {"hh:mm:ss", At(9, 5, 3), "09:05:03"},
      {"hhhh nn n SS", At(9, 5, 3), "09 05 5 03"},
      {"hmm", At(9, 5, 3), "905"},
      {"h m", At(9, 5, 3), "9 5"},
      {"h:mmm h:mmmm", At(9, 5, 3), "9:05 9:05"},
      {"hh' h 'mm", At(9, 5, 3), "09 h 05"},
      {"h d m", At(9, 5, 3), "9 7 3"},
      {"h:mm:mm", At(9, 5, 3), "9:05:03"},
      {"'h'mm", At(9, 5, 3), "h03"},
      // The 12-hour clock: an a later, outside quotes, before the next h.
      {"h:mm", At(21, 5, 3), "21:05"},
      {"h a", At(21, 5, 3), "9 a"},
      {"H A", At(0, 5, 3), "12 A"},
      {"h 'a'", At(21, 5, 3), "21 a"},
      {"h h a", At(21, 5, 3), "21 9 a"},
      {"hh AMPM", At(0, 30, 15), "12 AM"},
      {"hh AMPM", At(12, 0, 1), "12 PM"},
      {"h AMPM", At(11, 59, 59), "11 AM"},
      {"hh", At(0, 30, 15), "00"},
      // AM/PM and A/P keep the picture's case; AMPM gives the designators.
      {"h AM/PM", At(9, 5, 3), "9 AM"},
      {"h AM/PM", At(21, 5, 3), "9 PM"},
      {"h am/pm", At(21, 5, 3), "9 pm"},
      {"h Am/pM", At(9, 5, 3), "9 Am"},
      {"h Am/pM", At(21, 5, 3), "9 pM"},
      {"h A/P", At(21, 5, 3), "9 P"},
      {"h a/p", At(9, 5, 3), "9 a"},
      {"h ampm", At(21, 5, 3), "9 PM"},
      {"h aampm", At(21, 5, 3), "9 aPM"},
      {"h am/p", At(21, 5, 3), "9 a3/p"},  // a copied, then m is the month
      // Separators and quoted text.
      {"'d/M h:m' \"yy:M/\"", At(9, 5, 3), "d/M h:m yy:M/"},
      {"d 'at h:mm", At(9, 5, 3), "7 at h:mm"},
      {"d \"at 'h", At(9, 5, 3), "7 at 'h"},
      {"''d", At(9, 5, 3), "7"},
      // t is the designator (first character, or whole from tt on); it does
      // not switch the clock. c and other letters are text. Five or more d
      // are the full day name.
      {"h t", At(9, 5, 3), "9 A"},
      {"h tt TTT", At(21, 5, 3), "21 PM PM"},
      {"c cc C", At(9, 5, 3), "c cc C"},
      {"ddddd dddddd", At(9, 5, 3), "Friday Friday"},
      {"x Q \xE9 -,.", At(9, 5, 3), "x Q \xE9 -,."},
  };
  for (const PictureCase& c : cases) {
    EXPECT_EQ(Render(c.picture, c.time), c.expected) << "picture " << c.picture;
  }
}

TEST(FormatTimestamp, LocaleValues) {
  LocaleFormats f = UnitedStates();
  f.dateSeparator = '-';
  f.timeSeparator = '.';
  f.amDesignator = "vorm.";
  f.pmDesignator = "nachm.";
  f.monthAbbrev[3] = "M\xE4r";
  f.monthFull[3] = "M\xE4rz";
  f.dayAbbrev[5] = "Fr";
  f.dayFull[5] = "Freitag";
  EXPECT_EQ(Render("d/M/yy h:mm", At(9, 5, 3), f), "7-3-03 9.05");
  EXPECT_EQ(Render("ddd dddd MMM MMMM", At(9, 5, 3), f), "Fr Freitag M\xE4r M\xE4rz");
  EXPECT_EQ(Render("h AMPM", At(9, 5, 3), f), "9 vorm.");
  EXPECT_EQ(Render("h aMpM", At(13, 5, 3), f), "1 nachm.");
  EXPECT_EQ(Render("h tt", At(13, 5, 3), f), "13 nachm.");
}

TEST(FormatTimestamp, CutAt256Characters) {
  LocaleFormats f = UnitedStates();
  f.shortDatePicture = std::string(300, 'x');
  EXPECT_EQ(FormatTimestamp(At(9, 5, 3), f), std::string(256, 'x'));

  // The date fits, the time does not.
  f.shortDatePicture = std::string(250, 'x');
  EXPECT_EQ(FormatTimestamp(At(9, 5, 3), f), std::string(250, 'x') + " 9:05:");

  // Long names grow the text past the limit from a short picture.
  f.dayFull[5] = std::string(255, 'F');
  f.shortDatePicture = "dddd/dddd";
  EXPECT_EQ(FormatTimestamp(At(9, 5, 3), f), std::string(255, 'F') + "/");
}

}  // namespace
