#include "setup/install_text.h"

#include "platform/win_registry.h"

std::string InstallMessage() {
  static const char* const kLines[] = {
      "Vorn 2.0 Successfully Installed.",
      "",
      "Monitoring and correction of your system clock will be performed",
      "automatically and transparently.",
      "",
      "You can temporarily disable Vorn if needed by following these steps:",
      "    1)  Use Ctrl-Alt-Del to bring up the running task list.",
      "    2)  Highlight the \"Vornmon\" entry.",
      "    3)  Click the \"End Task\" button.",
      "",
      "Use the \"Add/Remove Programs\" Control Panel to uninstall Vorn.",
  };
  std::string text;
  for (size_t i = 0; i < sizeof kLines / sizeof kLines[0]; ++i) {
    if (i > 0) text += "\r\n";
    text += kLines[i];
  }
  return text;
}

std::optional<std::string> RegistryValueText(uint32_t type, const std::string& data) {
  if (data.empty()) return std::string();
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  return data.substr(0, data.find('\0'));
}

std::string InstalledPath(const std::string& startupFolder) {
  return startupFolder + "\\VornMon.exe";
}

std::string ProgramCommand(const std::string& folder, const char* switchText) {
  return "\"" + InstalledPath(folder) + "\" " + switchText;
}

std::string UninstallCommand(const std::string& startupFolder) {
  return ProgramCommand(startupFolder, "-r");
}

namespace {

// "Error <code>", then the system's text for it: FormatMessageA's texts end
// in a line break, which the box does not need.
std::string ErrorText(uint32_t error, const std::string& systemText) {
  std::string reason = systemText;
  while (!reason.empty() &&
         (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' ')) {
    reason.pop_back();
  }
  return "Error " + std::to_string(error) + (reason.empty() ? "." : ": " + reason);
}

constexpr char kNotInstalled[] = "Vorn 2.0 could not be installed.\r\n\r\n";

}  // namespace

std::string InstallFailedMessage(const std::string& target, uint32_t error,
                                 const std::string& systemText) {
  return kNotInstalled + ("It could not be copied to \"" + target + "\":\r\n") +
         ErrorText(error, systemText);
}

std::string FolderInTheWayMessage(const std::string& folder, uint32_t error,
                                  const std::string& systemText) {
  return kNotInstalled + ("The folder \"" + folder + "\" is in the way: Vorn did not make it") +
         ", and it could not be moved aside (" + ErrorText(error, systemText) +
         ")\r\n\r\nMove or delete that folder, then run Vorn again.";
}
