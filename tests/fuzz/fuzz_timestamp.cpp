// Fuzzes the timestamp renderer with arbitrary pictures, locale values and
// date records: no crash, no undefined behaviour, never more than 256
// characters, and the date alone exactly at midnight.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "monitor/timestamp.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// Pictures are mostly picture letters, quotes and separators, so that the
// interesting paths are reached often.
std::string Picture(FuzzedDataProvider& data) {
  static const char kAlphabet[] = "dDmMyYhHnNsSaApPtTcC/:'\" .-AM/PMampm";
  std::string picture;
  size_t length = data.ConsumeIntegralInRange<size_t>(0, 300);
  for (size_t i = 0; i < length && data.remaining_bytes() > 0; ++i) {
    uint8_t b = data.ConsumeIntegral<uint8_t>();
    picture += b < 200 ? kAlphabet[b % (sizeof kAlphabet - 1)] : static_cast<char>(b);
  }
  return picture;
}

std::string Text(FuzzedDataProvider& data) { return data.ConsumeRandomLengthString(300); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  SYSTEMTIME t;
  t.wYear = data.ConsumeIntegral<WORD>();
  t.wMonth = data.ConsumeIntegral<WORD>();
  t.wDayOfWeek = data.ConsumeIntegral<WORD>();
  t.wDay = data.ConsumeIntegral<WORD>();
  t.wHour = data.ConsumeIntegral<WORD>();
  t.wMinute = data.ConsumeIntegral<WORD>();
  t.wSecond = data.ConsumeIntegral<WORD>();
  t.wMilliseconds = data.ConsumeIntegral<WORD>();
  if (data.ConsumeBool()) {
    // A real date and time most of the time.
    t.wMonth = static_cast<WORD>(t.wMonth % 12 + 1);
    t.wDay = static_cast<WORD>(t.wDay % 31 + 1);
    t.wHour %= 24;
    t.wMinute %= 60;
    t.wSecond %= 60;
  }

  LocaleFormats f = DefaultLocaleFormats();
  f.shortDatePicture = Picture(data);
  f.longTimePicture = Picture(data);
  f.dateSeparator = data.ConsumeIntegral<char>();
  f.timeSeparator = data.ConsumeIntegral<char>();
  if (data.ConsumeBool()) {
    f.amDesignator = Text(data);
    f.pmDesignator = Text(data);
    f.monthAbbrev[data.ConsumeIntegralInRange(1, 12)] = Text(data);
    f.monthFull[data.ConsumeIntegralInRange(1, 12)] = Text(data);
    f.dayAbbrev[data.ConsumeIntegralInRange(0, 6)] = Text(data);
    f.dayFull[data.ConsumeIntegralInRange(0, 6)] = Text(data);
  }

  const std::string text = FormatTimestamp(t, f);
  Check(text.size() <= kMaxTimestampLength);

  LocaleFormats dateOnly = f;
  dateOnly.longTimePicture.clear();
  const std::string date = FormatTimestamp(t, dateOnly);
  Check(text.compare(0, date.size(), date) == 0);
  if (t.wHour == 0 && t.wMinute == 0 && t.wSecond == 0) Check(text == date);
  return 0;
}
