#include "monitor/errors.h"

#include <cstdint>

#include "monitor/command_line.h"
#include "monitor/module_path.h"
#include "monitor/number_text.h"
#include "platform/win_base.h"
#include "platform/win_window.h"

std::string InOutErrorMessage(DWORD code) {
  switch (code) {
    case 2:
      return "File not found";
    case 3:
      return "Invalid filename";
    case 4:
      return "Too many open files";
    case 5:
      return "File access denied";
    case 100:
      return "Read beyond end of file";
    case 101:
      return "Disk full";
    default:
      // Signed, as the codes have always been shown.
      return "I/O error " + DecimalText(static_cast<int32_t>(code));
  }
}

namespace {

void (*g_undo)(void*);
void* g_undoContext;

[[noreturn]] void Raise(const VornError& error) {
  // Taken first, so that an undo that fails in turn cannot run again.
  void (*undo)(void*) = g_undo;
  g_undo = nullptr;
  if (undo) undo(g_undoContext);
  ShowErrorReport(error);
  ExitProcess(1);
}

}  // namespace

FailureUndo::FailureUndo(void (*undo)(void*), void* context) {
  g_undo = undo;
  g_undoContext = context;
}

FailureUndo::~FailureUndo() { g_undo = nullptr; }

__attribute__((noinline)) void RaiseInOutError(DWORD code) {
  Raise(InOutError(code, __builtin_return_address(0)));
}

__attribute__((noinline)) void RaiseRegistryError(const std::string& message) {
  Raise(RegistryError(message, __builtin_return_address(0)));
}

std::string SystemErrorText(DWORD code) {
  char text[512];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, text, sizeof text, nullptr);
  return std::string(text, length);
}

__attribute__((noinline)) void RaiseOSError(DWORD code) {
  std::string message = "System error " + DecimalText(static_cast<int32_t>(code));
  std::string text = SystemErrorText(code);
  // The system's texts end in a line break.
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  if (!text.empty()) {
    message += ": ";
    message += text;
  }
  Raise(OSError(message, __builtin_return_address(0)));
}

std::string ErrorReportText(const VornError& error, const std::string& moduleFileName) {
  const std::string address =
      HexText(reinterpret_cast<uintptr_t>(error.Address()), 2 * sizeof(void*));
  std::string text = "Exception ";
  text += error.Kind();
  text += " in module " + moduleFileName + " at " + address + ".\n" + error.Message();
  if (text.empty() || text.back() != '.') text += '.';
  return text;
}

void ShowErrorReport(const VornError& error) {
  std::string path;
  // The error may be that the path could not be read; the program name on
  // the command line is the next best name for the module then.
  if (!ReadModulePath(&path)) path = ParamStr(SplitCommandLine(GetCommandLineA()), 0);
  std::string text = ErrorReportText(error, FileNamePart(path));
  MessageBoxA(nullptr, text.c_str(), "Application Error", MB_TASKMODAL | MB_ICONERROR);
}
