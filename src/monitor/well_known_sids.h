// Well-known SIDs in the system's own layout: revision 1, the number of
// sub-authorities, the NT authority (5), the sub-authorities. Static records
// spare a call to make each and another to free it.
#pragma once

#include "platform/win_types.h"

struct WellKnownSid {
  BYTE revision;
  BYTE subAuthorityCount;
  BYTE authority[6];
  DWORD subAuthority[2];
};

inline const WellKnownSid kLocalSystem = {1, 1, {0, 0, 0, 0, 0, 5}, {18, 0}};       // S-1-5-18
inline const WellKnownSid kAdministrators = {1, 2, {0, 0, 0, 0, 0, 5}, {32, 544}};  // S-1-5-32-544
inline const WellKnownSid kUsers = {1, 2, {0, 0, 0, 0, 0, 5}, {32, 545}};           // S-1-5-32-545
