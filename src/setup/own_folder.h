// A folder of Vorn's own among the system's (Vista and later): the program's
// under Program Files and the service's log folder, both made by the
// elevated installer, never taken over from whoever made them first.
#pragma once

#include <string>

#include "platform/win_types.h"
#include "setup/private_access.h"

// Names a found folder that is not Vorn's is moved to, in the order tried:
// "<folder>.set-aside", then "<folder>.set-aside.1" to ".99". Pure.
constexpr int kSetAsideAttempts = 100;
std::string SetAsideName(const std::string& folder, int attempt);

// The folder Vorn's files go in, as an install makes sure of it.
struct OwnFolder {
  std::string path;
  // Made by this install (gone again should the install fail).
  bool made = false;
  // Where a folder found there was moved to ("" when none was).
  std::string aside;
};

// Makes `folder->path` a folder of Vorn's with `access`'s list. One found
// there is kept only when it is an Administrators' folder (trusted_folder.h)
// that holds nothing but a file named `ownFile`; it is then given the list
// again. Any other (someone else's, a reparse point, a file of that name,
// one holding anything else, a planted DLL beside the program or a log
// with lines of someone else's) is moved aside under a name that says so,
// and a new one is made. Returns 0, or the error that kept the folder from
// being had; nothing has then changed.
DWORD MakeOwnFolder(OwnFolder* folder, const char* ownFile, PrivateAccess& access);

// Takes back what MakeOwnFolder did for a failed install: the folder it
// made goes (when empty) and a folder moved aside comes back.
void UndoOwnFolder(const OwnFolder& folder);
