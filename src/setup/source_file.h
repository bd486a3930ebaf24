// The installer's own executable, held open from the installer's first step
// to its last, and the copy of it that becomes VornMon.exe.
#pragma once

#include <string>

#include "platform/win_file.h"

// Opens the running executable for reading, sharing it for reading only:
// while it is open nobody can change, replace, delete or rename it, and
// what is installed is read through this handle, never by name again. A
// cut path, or one that cannot be opened, raises an InOutError.
class SourceFile {
 public:
  SourceFile();
  ~SourceFile();
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;

  HANDLE Handle() const { return file_; }

 private:
  HANDLE file_;
};

// Puts the bytes of `source`, from its start, into a new file at `target`
// with `access` (null: the folder's inherited list). An existing `target` is
// renamed to "<target>.old" first and deleted once the new one is whole, so
// nothing is written through it: a hard link to another file leaves that
// file as it is. Returns 0, or the failure's error; a part written is then
// deleted and the old file is back under its name.
DWORD CopyHeldFile(HANDLE source, const std::string& target, LPSECURITY_ATTRIBUTES access);
