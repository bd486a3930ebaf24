// A PC that takes its time from its Windows domain. There the Windows Time
// service keeps the clock to the domain controllers' time, which Kerberos
// needs within 5 minutes; where that time is more than 30 s from NIST's,
// Vorn would set one and the Windows Time service the other back, for
// ever. So while the Windows Time service follows the domain hierarchy,
// Vorn asks no server and sets nothing.
#pragma once

#include <optional>
#include <string>

#include "platform/win_types.h"

// The line logged once per start while the domain keeps the clock.
constexpr const char* kDomainTimeMessage = "Clock Kept By The Domain";

// Whether the Windows Time service follows the domain: its Parameters'
// `Type` is NT5DS or AllSync (letter case aside) and its `Start` is not
// SERVICE_DISABLED (4). Either missing: the service's own default reads
// (a missing Start is not disabled). Pure.
bool FollowsDomain(const std::optional<std::string>& type, std::optional<DWORD> start);

// FollowsDomain for this PC, from the W32Time key of HKEY_LOCAL_MACHINE's
// services (false on 98 and ME, which have no such service).
bool ClockFollowsDomain();

// Whether kDomainTimeMessage was written; lasts while the monitor runs.
extern bool g_domainLogged;

// ClockFollowsDomain, logging kDomainTimeMessage at its first true.
bool LeftToTheDomain();
