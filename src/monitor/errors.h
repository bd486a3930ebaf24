// The errors that the registry layer and text-file output raise. Nothing in
// the program catches them except the event log's own fallback and, for the
// installer and uninstaller, the top-level error report.
#pragma once

#include <string>
#include <utility>

#include "platform/win_types.h"

class VornError {
 public:
  VornError(const char* kind, std::string message, const void* address)
      : kind_(kind), message_(std::move(message)), address_(address) {}
  virtual ~VornError() = default;
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

// An input/output error of a text file, carrying the platform's error code.
class InOutError : public VornError {
 public:
  InOutError(DWORD code, const void* address)
      : VornError("InOutError", InOutErrorMessage(code), address), code_(code) {}
  DWORD Code() const { return code_; }
  static std::string InOutErrorMessage(DWORD code);

 private:
  DWORD code_;
};

class RegistryError : public VornError {
 public:
  RegistryError(std::string message, const void* address)
      : VornError("RegistryError", std::move(message), address) {}
};

// A system call that failed outside file output, with the system's error.
class OSError : public VornError {
 public:
  OSError(std::string message, const void* address)
      : VornError("OSError", std::move(message), address) {}
};

// Raise helpers; each records its caller's address as the failure's address.
[[noreturn]] void RaiseInOutError(DWORD code);
[[noreturn]] void RaiseRegistryError(const std::string& message);
// "System error <code>", then the system's text for it when there is one.
[[noreturn]] void RaiseOSError(DWORD code);
// The system's text for an error code as FormatMessageA gives it (with its
// line break), or empty when it has none.
std::string SystemErrorText(DWORD code);

// "Exception <kind> in module <module> at <address>.", a line feed, and the
// message with a full stop added when it has none.
std::string ErrorReportText(const VornError& error, const std::string& moduleFileName);
// Shows the report: one task-modal stop box captioned "Application Error".
void ShowErrorReport(const VornError& error);
