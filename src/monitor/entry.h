// Program entry and role selection.
#pragma once

#include <string>
#include <vector>

#include "platform/win_window.h"

// How other processes find and stop a running monitor.
constexpr const char* kWindowClass = "Vorn";
constexpr const char* kWindowTitle = "Vorn Titlebar";
constexpr const char* kMonitorFileName = "VornMon.exe";
constexpr const char* kUninstallSwitch = "-r";
// In the service's registered command line: the service manager starts it.
constexpr const char* kServiceSwitch = "-service";

// Service: the monitor as the service manager starts it on Vista and later
// (service_entry.h); anywhere else the same as Monitor.
enum class Role { Installer, Uninstaller, Monitor, Service };

// `modulePath` is the running executable's full path; `words` the split
// command line, word 0 being the program name as written.
Role SelectRole(const std::string& modulePath, const std::vector<std::string>& words);

// The whole program; returns the exit code of a monitor that was told to quit.
int VornMain();

LRESULT CALLBACK MonitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
