// Well-known SIDs in the system's own layout: revision 1, the number of
// sub-authorities, the NT authority (5), the sub-authorities. Static records
// spare a call to make each and another to free it.
#pragma once

#include <cstring>

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
inline const WellKnownSid kLocalService = {1, 1, {0, 0, 0, 0, 0, 5}, {19, 0}};      // S-1-5-19

// Whether two SIDs in the system's layout are the same: the count of
// sub-authorities (the second byte) is compared with the rest.
inline bool SameSid(const void* sid, const void* other) {
  return sid && other && memcmp(sid, other, 8 + 4 * static_cast<const BYTE*>(other)[1]) == 0;
}
inline bool SidIs(const void* sid, const WellKnownSid& known) { return SameSid(sid, &known); }
