// The simulated system default locale: what tests set up.
//
// After sim::Reset() the system locale is English (United States), 0x0409,
// with the values Windows gives it out of the box. GetLocaleInfoA answers for
// that identifier (and LOCALE_SYSTEM_DEFAULT, LOCALE_USER_DEFAULT); any
// other locale fails with ERROR_INVALID_PARAMETER. Like Windows, a buffer too
// small for the value and its terminator fails with ERROR_INSUFFICIENT_BUFFER.
#pragma once

#include <string>

#include "platform/win_locale.h"

namespace sim {

// The identifier GetSystemDefaultLCID returns.
void SetSystemLocale(LCID locale);
// The value of one locale item, replacing the default.
void SetLocaleInfo(LCTYPE item, const std::string& value);
// Every read of this item fails with `error`, until Reset or ClearLocaleFailure.
void FailLocaleInfo(LCTYPE item, DWORD error = ERROR_INVALID_PARAMETER);
void ClearLocaleFailure(LCTYPE item);

}  // namespace sim
