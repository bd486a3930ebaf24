#include "setup/installer.h"

#include <string>

#include "monitor/errors.h"
#include "monitor/module_path.h"
#include "monitor/service_entry.h"
#include "monitor/windows_version.h"
#include "platform/win_base.h"
#include "platform/win_file.h"
#include "platform/win_folder.h"
#include "platform/win_shell.h"
#include "platform/win_window.h"
#include "setup/elevation.h"
#include "setup/install_text.h"
#include "setup/private_access.h"
#include "setup/read_only.h"
#include "setup/registry_section.h"
#include "setup/service_place.h"
#include "setup/service_setup.h"
#include "setup/stop_monitor.h"

namespace {

// The registry layer at HKEY_LOCAL_MACHINE, as the installer has always
// set it up.
class MachineRegistry : public RegistrySection {
 public:
  MachineRegistry() : RegistrySection("Software") {
    ReleaseKey();
    SelectRoot(HKEY_LOCAL_MACHINE);
  }
};

// The all-users StartUp folder.
std::string ReadStartupFolder(RegistrySection& registry) {
  registry.EnterKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");
  const std::string folder =
      registry.GetSectionText("Shell Folders", "Common Startup", kDefaultStartupFolder);
  registry.ReleaseKey();
  return folder;
}

// The Add/Remove Programs entry, for the program in `folder`.
void WriteEntry(RegistrySection& registry, const std::string& folder) {
  registry.EnterKey("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
  registry.PutSectionText("Vorn", "DisplayName", kDisplayName);
  registry.PutSectionText("Vorn", "UninstallString", UninstallCommand(folder));
  registry.ReleaseKey();
}

void ShowCopyFailure(const std::string& target, DWORD error) {
  const std::string text = InstallFailedMessage(target, error, SystemErrorText(error));
  MessageBoxA(nullptr, text.c_str(), kInstallCaption, MB_ICONERROR);
}

// A cut path would copy the wrong file or none; that is an error, not
// something to install anyway.
std::string SourcePath() {
  std::string source;
  if (!ReadModulePath(&source)) {
    DWORD error = GetLastError();
    RaiseInOutError(error ? error : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  }
  return source;
}

// The program's folder, made with the list of `access`; one already there
// (an earlier install's) is given that list and owner. Program Files' own
// list would do as it comes, but Program Files may have been moved to
// another volume whose root lets every user make and change folders, and
// what the service runs as LocalService, and Add/Remove Programs elevated,
// must be changeable by administrators only. True when made here.
bool MakeProgramFolder(const std::string& folder, PrivateAccess& access) {
  if (CreateDirectoryA(folder.c_str(), access.Attributes())) return true;
  if (GetLastError() != ERROR_ALREADY_EXISTS ||
      !SetFileSecurityA(folder.c_str(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        access.Descriptor())) {
    RaiseInOutError(GetLastError());
  }
  return false;
}

// Vista and later: the program in a folder of its own under Program Files,
// run by the service manager as the service "Vorn" with an account that may
// set the clock. Nothing is left half made: a failure before the entry is
// written takes back the service, the copy and the folder it made, or
// starts again the service that was there.
void InstallService() {
  const std::string source = SourcePath();
  // A classic monitor (a PC upgraded from XP): one monitor is enough.
  StopRunningMonitor();
  ServiceHandle manager(
      OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (!manager) RaiseOSError(GetLastError());
  ServiceHandle service(OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS));
  const bool existed = service;
  if (!existed && GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) RaiseOSError(GetLastError());
  // Its running program could not be replaced.
  if (existed) {
    if (const DWORD error = StopService(service)) RaiseOSError(error);
  }

  const std::string folder = ProgramFolder();
  if (folder.empty()) RaiseOSError(GetLastError());
  const std::string target = InstalledPath(folder);
  PrivateAccess access(GetVersion(), true);
  const bool made = MakeProgramFolder(folder, access);
  if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
    const DWORD error = GetLastError();
    if (made) RemoveDirectoryA(folder.c_str());
    if (existed) StartServiceA(service, 0, nullptr);
    ShowCopyFailure(target, error);
    return;
  }
  ClearReadOnly(target);
  try {
    ConfigureService(manager, service, ServiceCommand(folder));
    // One already running is fine.
    if (!StartServiceA(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
      RaiseOSError(GetLastError());
    }
    MachineRegistry registry;
    WriteEntry(registry, folder);
  } catch (...) {
    if (existed) {
      StartServiceA(service, 0, nullptr);
    } else {
      if (service) {
        StopService(service);
        DeleteService(service);
      }
      DeleteFileA(target.c_str());
      if (made) RemoveDirectoryA(folder.c_str());
    }
    throw;
  }
  // The classic monitor's copy would start again at the next log-on.
  try {
    MachineRegistry registry;
    DeleteFileA(InstalledPath(ReadStartupFolder(registry)).c_str());
  } catch (const VornError&) {
  }
  MessageBoxA(nullptr, kServiceInstallMessage, kInstallCaption, MB_ICONINFORMATION);
}

}  // namespace

void RunInstaller() {
  // Before anything changes: without the rights, nothing would be done well.
  if (HandedToElevatedCopy(kInstallCaption, kInstallNeedsRightsText)) return;
  if (IsVistaOrLater(GetVersion())) {
    InstallService();
    return;
  }
  // First, so that the monitor's file is free to be overwritten.
  StopRunningMonitor();
  std::string folder;
  {
    MachineRegistry registry;
    folder = ReadStartupFolder(registry);
    WriteEntry(registry, folder);
  }
  const std::string source = SourcePath();

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
