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

std::string InstallFailedMessage(const std::string& target, uint32_t error,
                                 const std::string& systemText) {
  // FormatMessageA's texts end in a line break, which the box does not need.
  std::string reason = systemText;
  while (!reason.empty() &&
         (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' ')) {
    reason.pop_back();
  }
  std::string text = "Vorn 2.0 could not be installed.\r\n\r\nIt could not be copied to \"" +
                     target + "\":\r\n" + "Error " + std::to_string(error);
  text += reason.empty() ? "." : ": " + reason;
  return text;
}
