// The installer's texts and paths, and the rule that turns a registry value
// into text; none of it needs the platform.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Where the monitor goes when the registry names no all-users StartUp folder.
constexpr const char* kDefaultStartupFolder = "C:\\WINDOWS\\Start Menu\\Programs\\StartUp";
constexpr const char* kInstallCaption = "Installation Status";
constexpr const char* kDisplayName = "Vorn (PC Clock Synchronizer)";

// The success message: eleven lines joined by CR LF, none after the last.
std::string InstallMessage();

// The success message on Windows Vista and later, where Vorn is a service.
constexpr const char* kServiceInstallMessage =
    "Vorn 2.0 Successfully Installed.\r\n\r\n"
    "Vorn runs as the Windows service \"Vorn\" and corrects your system clock\r\n"
    "automatically.\r\n\r\n"
    "To stop it for a while, stop \"Vorn (PC Clock Synchronizer)\" in Services\r\n"
    "(services.msc, in Administrative Tools); it starts again with Windows.\r\n\r\n"
    "Use \"Programs and Features\" (\"Add/Remove Programs\") in the Control\r\n"
    "Panel to uninstall Vorn.";

// Added to the success message on a PC whose clock the Windows Time
// service keeps to its domain (domain_time.h).
constexpr const char* kDomainNote =
    "\r\n\r\nThis PC takes its time from its Windows domain: Vorn leaves the clock\r\n"
    "alone while it does.";

// What the user is told when the service of an earlier install, deleted,
// is still held open by another program and did not go in time.
constexpr const char* kServiceStillGoingMessage =
    "Vorn was not installed: the Windows service \"Vorn\" of an earlier install\r\n"
    "is still being removed, and a program holds it open.\r\n\r\n"
    "Close Services (services.msc), or the program that shows the service,\r\n"
    "and try again.";

// The text a registry value of `type` holding `data` gives. No data at all
// is the empty text whatever the type; REG_SZ and REG_EXPAND_SZ give their
// bytes up to the first zero (an unterminated value gives all of them),
// nothing expanded and nothing trimmed; any other type gives nullopt.
std::optional<std::string> RegistryValueText(uint32_t type, const std::string& data);

// The installed executable: the folder, then "\VornMon.exe", joined as they
// are (a folder ending in a backslash gives two).
std::string InstalledPath(const std::string& startupFolder);
// The Add/Remove Programs command: the installed path in double quotes (a
// blank in an unquoted path would let Windows run another program, e.g.
// C:\Program.exe), then " -r".
std::string UninstallCommand(const std::string& startupFolder);
// The installed program in `folder`, in double quotes, then one blank and
// `switchText`.
std::string ProgramCommand(const std::string& folder, const char* switchText);

// What the user is told when the copy failed: that Vorn was not installed,
// where it was to go, and why (`systemText` as FormatMessageA gave it, or
// empty when there was none).
std::string InstallFailedMessage(const std::string& target, uint32_t error,
                                 const std::string& systemText);

// What the user is told when a folder Vorn needs (Vista and later) is one
// that Vorn did not make and that could not be moved aside: which folder,
// why, and what to do.
std::string FolderInTheWayMessage(const std::string& folder, uint32_t error,
                                  const std::string& systemText);
