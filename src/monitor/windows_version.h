// Which Windows a GetVersion value names.
#pragma once

#include "platform/win_types.h"

// Windows Vista or later: NT (high bit clear), major version 6 or more.
bool IsVistaOrLater(DWORD version);
