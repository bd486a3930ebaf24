// kernel32: the system default locale's settings.
#pragma once
#include "platform/win_types.h"

#ifndef _WIN32
typedef DWORD LCTYPE;
#define LOCALE_SDATE 0x001D
#define LOCALE_STIME 0x001E
#define LOCALE_SSHORTDATE 0x001F
#define LOCALE_ITIME 0x0023
#define LOCALE_ITLZERO 0x0025
#define LOCALE_S1159 0x0028
#define LOCALE_S2359 0x0029
#define LOCALE_SDAYNAME1 0x002A
#define LOCALE_SDAYNAME7 0x0030
#define LOCALE_SABBREVDAYNAME1 0x0031
#define LOCALE_SABBREVDAYNAME7 0x0037
#define LOCALE_SMONTHNAME1 0x0038
#define LOCALE_SABBREVMONTHNAME1 0x0044

LCID WINAPI GetSystemDefaultLCID();
int WINAPI GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size);
#endif
