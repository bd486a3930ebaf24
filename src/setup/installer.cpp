#include "setup/installer.h"

#include <string>

#include "monitor/domain_time.h"
#include "monitor/entry.h"
#include "monitor/errors.h"
#include "monitor/event_log.h"
#include "monitor/log_folder.h"
#include "monitor/service_entry.h"
#include "monitor/windows_version.h"
#include "platform/win_base.h"
#include "platform/win_file.h"
#include "platform/win_folder.h"
#include "platform/win_shell.h"
#include "platform/win_window.h"
#include "setup/elevation.h"
#include "setup/event_source.h"
#include "setup/install_text.h"
#include "setup/own_folder.h"
#include "setup/private_access.h"
#include "setup/registry_section.h"
#include "setup/service_place.h"
#include "setup/service_setup.h"
#include "setup/source_file.h"
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

// The all-users StartUp folder; see GetSectionText for `error`.
std::string ReadStartupFolder(RegistrySection& registry, std::string* error = nullptr) {
  registry.EnterKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");
  const std::string folder =
      registry.GetSectionText("Shell Folders", "Common Startup", kDefaultStartupFolder, error);
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

void ShowInstalled(std::string text) {
  if (ClockFollowsDomain()) text += kDomainNote;
  MessageBoxA(nullptr, text.c_str(), kInstallCaption, MB_ICONINFORMATION);
}

void ShowCopyFailure(const std::string& target, DWORD error) {
  const std::string text = InstallFailedMessage(target, error, SystemErrorText(error));
  MessageBoxA(nullptr, text.c_str(), kInstallCaption, MB_ICONERROR);
}

// What a failed service install takes back: the service it made, the copy
// and the folders, or else it starts again the service that was there.
struct ServiceUndo {
  ServiceHandle* service;
  bool existed;
  bool copied;
  const std::string* target;
  const OwnFolder* program;
  const OwnFolder* log;
};

void UndoServiceInstall(void* context) {
  const ServiceUndo& undo = *static_cast<ServiceUndo*>(context);
  // The service that was there runs its new program, as it would have.
  if (!undo.existed) {
    if (*undo.service) {
      StopService(*undo.service);
      DeleteService(*undo.service);
    }
    if (undo.copied) DeleteFileA(undo.target->c_str());
  }
  // Only empty folders go, and a folder moved aside comes back only to a
  // place that is free again.
  UndoOwnFolder(*undo.program);
  UndoOwnFolder(*undo.log);
  if (undo.existed) StartServiceA(*undo.service, 0, nullptr);
}

// The program's folder and the log's, each made by this installer or found
// as an earlier install of Vorn left it (owner, list, nothing else inside).
// False when one is in the way: the user has been told which, and nothing is
// left changed. Program Files' own list would do as it comes, but Program
// Files may have been moved to another volume whose root lets every user
// make and change folders, and C:\ProgramData lets every user make folders:
// what the service runs as LocalService, and Add/Remove Programs elevated,
// must be changeable by administrators only, and a log folder someone else
// made would let them point the service's writes anywhere.
bool MakeFolders(OwnFolder* program, OwnFolder* log) {
  const DWORD version = GetVersion();
  PrivateAccess programAccess(version, AccessFor::kProgram);
  PrivateAccess logAccess(version, AccessFor::kLog);
  OwnFolder* inTheWay = program;
  DWORD error = MakeOwnFolder(program, kMonitorFileName, programAccess);
  if (!error) {
    inTheWay = log;
    error = MakeOwnFolder(log, kEventLogName, logAccess);
    if (error) UndoOwnFolder(*program);
  }
  if (!error) return true;
  const std::string text = FolderInTheWayMessage(inTheWay->path, error, SystemErrorText(error));
  MessageBoxA(nullptr, text.c_str(), kInstallCaption, MB_ICONERROR);
  return false;
}

// Vista and later: the program in a folder of its own under Program Files,
// run by the service manager as the service "Vorn" with an account that may
// set the clock. Nothing is left half made: a failure before the entry is
// written takes back the service, the copy and the folders it made, or
// starts again the service that was there.
void InstallService(HANDLE source) {
  OwnFolder program;
  program.path = ProgramFolder();
  OwnFolder log;
  log.path = ServiceLogFolder();
  if (program.path.empty() || log.path.empty()) RaiseOSError(GetLastError());
  if (!MakeFolders(&program, &log)) return;
  // A classic monitor (a PC upgraded from XP): one monitor is enough.
  StopRunningMonitor();
  ServiceHandle manager(
      OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  ServiceHandle service;
  const std::string target = InstalledPath(program.path);
  ServiceUndo undo{&service, false, false, &target, &program, &log};
  {
    FailureUndo armed(UndoServiceInstall, &undo);
    if (!manager) RaiseOSError(GetLastError());
    service.Reset(OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS));
    undo.existed = service;
    if (!undo.existed && GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST)
      RaiseOSError(GetLastError());
    // Its running program could not be replaced.
    if (undo.existed) {
      if (const DWORD error = StopService(service)) RaiseOSError(error);
    }
    // Deleted by an uninstall, but held open elsewhere (Services): it goes
    // once let go, and only then can one of the name be made.
    if (undo.existed && MarkedForDelete(service)) {
      service.Reset(nullptr);
      undo.existed = false;
      if (!WaitUntilServiceGone(manager)) {
        UndoServiceInstall(&undo);
        MessageBoxA(nullptr, kServiceStillGoingMessage, kInstallCaption, MB_ICONERROR);
        return;
      }
    }
  }
  if (const DWORD error = CopyHeldFile(source, target, nullptr)) {
    UndoServiceInstall(&undo);
    ShowCopyFailure(target, error);
    return;
  }
  undo.copied = true;
  {
    FailureUndo armed(UndoServiceInstall, &undo);
    ConfigureService(manager, service, ServiceCommand(program.path));
    // One already running is fine.
    if (!StartServiceA(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
      RaiseOSError(GetLastError());
    }
    MachineRegistry registry;
    WriteEntry(registry, program.path);
  }
  // Without it the service runs as well; Event Viewer then shows its events
  // without their text. Not worth taking back a working install for.
  AddEventSource(target);
  // The classic monitor's copy would start again at the next log-on; a
  // StartUp folder that cannot be read has none of ours.
  {
    MachineRegistry registry;
    std::string error;
    const std::string startup = ReadStartupFolder(registry, &error);
    if (error.empty()) DeleteFileA(InstalledPath(startup).c_str());
  }
  ShowInstalled(kServiceInstallMessage);
}

}  // namespace

void RunInstaller() {
  // Before anything else: what is installed is this very file, whatever
  // becomes of its name while the installer asks, waits and copies.
  SourceFile source;
  // Before anything changes: without the rights, nothing would be done well.
  if (HandedToElevatedCopy(kInstallCaption, kInstallNeedsRightsText)) return;
  if (IsVistaOrLater(GetVersion())) {
    InstallService(source.Handle());
    return;
  }
  // First, so that the monitor's file is free to be replaced.
  StopRunningMonitor();
  std::string folder;
  {
    MachineRegistry registry;
    folder = ReadStartupFolder(registry);
    WriteEntry(registry, folder);
  }
  const std::string target = InstalledPath(folder);
  if (const DWORD error = CopyHeldFile(source.Handle(), target, nullptr)) {
    // Nothing was installed: neither claim it nor start what may be there.
    ShowCopyFailure(target, error);
    return;
  }
  ShowInstalled(InstallMessage());
  ShellExecuteA(nullptr, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
