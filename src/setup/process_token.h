// This process's access token, closed when it goes out of scope.
#pragma once

#include "platform/win_base.h"
#include "platform/win_process.h"
#include "platform/win_security.h"

class ProcessToken {
 public:
  ProcessToken() : handle_(nullptr) {}
  ~ProcessToken() {
    if (handle_) CloseHandle(handle_);
  }
  ProcessToken(const ProcessToken&) = delete;
  ProcessToken& operator=(const ProcessToken&) = delete;
  // Opened for TOKEN_QUERY; false with the call's error as the last error.
  bool Open() { return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &handle_) != FALSE; }
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_;
};
