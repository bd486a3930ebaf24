#include "setup/installer.h"

#include <string>

#include "monitor/errors.h"
#include "monitor/module_path.h"
#include "platform/win_base.h"
#include "platform/win_shell.h"
#include "platform/win_window.h"
#include "setup/elevation.h"
#include "setup/install_text.h"
#include "setup/read_only.h"
#include "setup/registry_section.h"
#include "setup/stop_monitor.h"

namespace {

// Reads the all-users StartUp folder and writes the Add/Remove Programs
// entry; returns the folder.
std::string RegisterProduct() {
  RegistrySection registry("Software");
  registry.ReleaseKey();
  registry.SelectRoot(HKEY_LOCAL_MACHINE);
  registry.EnterKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");
  const std::string folder =
      registry.GetSectionText("Shell Folders", "Common Startup", kDefaultStartupFolder);
  registry.ReleaseKey();
  registry.EnterKey("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
  registry.PutSectionText("Vorn", "DisplayName", kDisplayName);
  registry.PutSectionText("Vorn", "UninstallString", UninstallCommand(folder));
  registry.ReleaseKey();
  return folder;
}

void ShowCopyFailure(const std::string& target, DWORD error) {
  const std::string text = InstallFailedMessage(target, error, SystemErrorText(error));
  MessageBoxA(nullptr, text.c_str(), kInstallCaption, MB_ICONERROR);
}

}  // namespace

void RunInstaller() {
  // Before anything changes: without the rights, nothing would be done well.
  if (HandedToElevatedCopy(kInstallCaption, kInstallNeedsRightsText)) return;
  // First, so that the monitor's file is free to be overwritten.
  StopRunningMonitor();
  const std::string folder = RegisterProduct();

  // A cut path would copy the wrong file or none; that is an error, not
  // something to install anyway.
  std::string source;
  if (!ReadModulePath(&source)) {
    DWORD error = GetLastError();
    RaiseInOutError(error ? error : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  }

  const std::string target = InstalledPath(folder);
  // An install from read-only media before this one may have left the
  // attribute on the target, which would refuse to be overwritten.
  ClearReadOnly(target);
  if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
    // Nothing was installed: neither claim it nor start what may be there.
    ShowCopyFailure(target, GetLastError());
    return;
  }
  // The copy takes the attributes of its source, read-only media included.
  ClearReadOnly(target);
  MessageBoxA(nullptr, InstallMessage().c_str(), kInstallCaption, MB_ICONINFORMATION);
  ShellExecuteA(nullptr, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
