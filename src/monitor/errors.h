// The errors that end the installer and uninstaller: the registry layer's,
// text-file output's and system calls' failures. Raising one runs the
// undo step a role has armed, shows the top-level error report and ends the
// process with exit code 1; nothing returns from it. The monitor and the
// service raise none: their failures go to the event log.
#pragma once

#include <string>
#include <utility>

#include "platform/win_types.h"

class VornError {
 public:
  VornError(const char* kind, std::string message, const void* address)
      : kind_(kind), message_(std::move(message)), address_(address) {}
  // The error's class name, as the top-level report shows it.
  const char* Kind() const { return kind_; }
  const std::string& Message() const { return message_; }
  // Code address where the error was raised.
  const void* Address() const { return address_; }

 private:
  const char* kind_;
  std::string message_;
  const void* address_;
};

// The text of an input/output error of a text file for the platform's code.
std::string InOutErrorMessage(DWORD code);

// An input/output error of a text file, carrying the platform's error code.
inline VornError InOutError(DWORD code, const void* address) {
  return VornError("InOutError", InOutErrorMessage(code), address);
}
inline VornError RegistryError(std::string message, const void* address) {
  return VornError("RegistryError", std::move(message), address);
}
// A system call that failed outside file output, with the system's error.
inline VornError OSError(std::string message, const void* address) {
  return VornError("OSError", std::move(message), address);
}

// Raise helpers; each records its caller's address as the failure's address.
[[noreturn]] void RaiseInOutError(DWORD code);
[[noreturn]] void RaiseRegistryError(const std::string& message);
// "System error <code>", then the system's text for it when there is one.
[[noreturn]] void RaiseOSError(DWORD code);
// The system's text for an error code as FormatMessageA gives it (with its
// line break), or empty when it has none.
std::string SystemErrorText(DWORD code);

// While one lives, a raised error first runs `undo(context)`: what a role
// must take back before it ends (a half-made install). One at a time.
class FailureUndo {
 public:
  FailureUndo(void (*undo)(void*), void* context);
  ~FailureUndo();
  FailureUndo(const FailureUndo&) = delete;
  FailureUndo& operator=(const FailureUndo&) = delete;
};

// "Exception <kind> in module <module> at <address>.", a line feed, and the
// message with a full stop added when it has none.
std::string ErrorReportText(const VornError& error, const std::string& moduleFileName);
// Shows the report: one task-modal stop box captioned "Application Error".
void ShowErrorReport(const VornError& error);
