// The service "Vorn" in the service manager's database, as the installer and
// the uninstaller change it on Windows Vista and later. A failing call is
// raised as an OSError with its error, or returned where the function
// returns an error (ERROR_SUCCESS: none).
#pragma once

#include <string>

#include "platform/win_service.h"

// How long a stop may take before the installer or uninstaller gives up,
// and how long the stopped service's process may take to end after it.
constexpr DWORD kServiceStopWaitMs = 30000;
constexpr DWORD kServiceProcessEndWaitMs = 10000;

// The program's folder under the Program Files folder of 32-bit programs
// (SHGetFolderPathA gives a 32-bit program on 64-bit Windows "Program Files
// (x86)"); empty, with the error as the last error, when the system names
// none.
std::string ProgramFolder();

// A service manager or service handle, closed when it goes out of scope.
class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle = nullptr) : handle_(handle) {}
  ~ServiceHandle() { Reset(nullptr); }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  void Reset(SC_HANDLE handle);
  operator SC_HANDLE() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

// Asks a running service to stop and waits, polling, until it has stopped
// and its process has ended; a stopped one returns at once.
// ERROR_SERVICE_REQUEST_TIMEOUT after kServiceStopWaitMs, or when the
// process has not ended kServiceProcessEndWaitMs after the stop.
DWORD StopService(SC_HANDLE service);
// Registers the service to run `command` into `service` when it holds none,
// else changes the configuration of the one it holds; then gives it its
// description and restarts after a failure. Delayed automatic start and
// the required privileges are hardening: where Windows refuses them (Wine
// answers 87), the service still works without.
void ConfigureService(SC_HANDLE manager, ServiceHandle& service, const std::string& command);
// How long an install waits for a service marked for deletion to go.
constexpr DWORD kMarkedServiceWaitMs = 20000;
// Whether `service` was deleted and only waits for its last handle to close
// (a call that changes nothing, refused with ERROR_SERVICE_MARKED_FOR_DELETE:
// "ChangeServiceConfigA function").
bool MarkedForDelete(SC_HANDLE service);
// Waits, polling, up to kMarkedServiceWaitMs for the service "Vorn" to be
// gone from the database; false when it is still there.
bool WaitUntilServiceGone(SC_HANDLE manager);
// Stops and deletes the service, when there is one.
DWORD RemoveVornService();
