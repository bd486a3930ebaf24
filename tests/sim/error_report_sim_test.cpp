// The top-level error report of the installer and uninstaller.
#include <gtest/gtest.h>

#include "monitor/errors.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_window.h"

namespace {

const void* const kAddress = reinterpret_cast<const void*>(static_cast<uintptr_t>(0x40A1B2));

class ErrorReportSim : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
};

TEST_F(ErrorReportSim, Text) {
  const std::string at = " at " + std::string(2 * sizeof(void*) - 6, '0') + "40A1B2.\n";
  const void* const high = reinterpret_cast<const void*>(static_cast<uintptr_t>(0xFEDCBA98));
  const std::string atHigh = " at " + std::string(2 * sizeof(void*) - 8, '0') + "FEDCBA98.\n";
  struct Case {
    const char* name;
    VornError error;
    std::string text;
  } cases[] = {
      {"full stop added", RegistryError("Failed to create key Vorn", kAddress),
       "Exception RegistryError in module Setup.exe" + at + "Failed to create key Vorn."},
      {"full stop kept", RegistryError("Invalid data type for 'Common Startup'.", kAddress),
       "Exception RegistryError in module Setup.exe" + at +
           "Invalid data type for 'Common Startup'."},
      {"input/output kind", InOutError(5, kAddress),
       "Exception InOutError in module Setup.exe" + at + "File access denied."},
      {"other code", InOutError(1234, kAddress),
       "Exception InOutError in module Setup.exe" + at + "I/O error 1234."},
      {"code past 2^31 reads as negative, address in capitals", InOutError(0x80000005u, high),
       "Exception InOutError in module Setup.exe" + atHigh + "I/O error -2147483643."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorReportText(c.error, "Setup.exe"), c.text) << c.name;
  }
}

TEST_F(ErrorReportSim, OneTaskModalStopBoxNamingTheExecutable) {
  struct Case {
    std::string modulePath;
    std::string commandLine;
    std::string module;
  } cases[] = {
      {"C:\\StartUp\\VornMon.exe", "VornMon.exe -r", "VornMon.exe"},
      {"C:\\Downloads\\Setup.exe", "Setup.exe", "Setup.exe"},
      // A path that cannot be read whole: the program's name as started.
      {"C:\\" + std::string(70000, 'd') + "\\Setup.exe", "\"C:\\Long\\Setup.exe\" x", "Setup.exe"},
  };
  for (const Case& c : cases) {
    sim::Reset();
    sim::SetModulePath(c.modulePath);
    sim::SetCommandLine(c.commandLine);
    ShowErrorReport(RegistryError("Failed to set data for 'DisplayName'", kAddress));
    ASSERT_EQ(sim::MessageBoxes().size(), 1u) << c.module;
    const sim::MessageBoxCall box = sim::MessageBoxes()[0];
    EXPECT_EQ(box.caption, "Application Error");
    EXPECT_EQ(box.type, 0x2010u);
    EXPECT_EQ(
        box.text,
        ErrorReportText(RegistryError("Failed to set data for 'DisplayName'", kAddress), c.module));
    EXPECT_EQ(sim::CallNames({"MessageBoxA"}).size(), 1u);
  }
}

// The address the report of a raised error names, and the report's text
// after it; the process must have ended with exit code 1.
std::pair<uintptr_t, std::string> Raised(void (*raise)()) {
  sim::Reset();
  sim::SetModulePath("C:\\Downloads\\Setup.exe");
  try {
    raise();
    ADD_FAILURE() << "returned";
  } catch (const sim::ProcessExit& exit) {
    EXPECT_EQ(exit.code, 1u);
  }
  if (sim::MessageBoxes().size() != 1) {
    ADD_FAILURE() << "no report";
    return {};
  }
  const std::string text = sim::MessageBoxes()[0].text;
  const size_t at = text.find(" at ") + 4;
  const size_t end = text.find(".\n");
  return {std::stoull(text.substr(at, end - at), nullptr, 16),
          text.substr(0, at) + text.substr(end)};
}

int g_undoRuns;

TEST_F(ErrorReportSim, RaisedErrorsEndTheProcessWithTheirCallersAddress) {
  const auto registry = Raised([] { RaiseRegistryError("x"); });
  const auto inOut = Raised([] { RaiseInOutError(101); });
  const auto os = Raised([] { RaiseOSError(5); });
  EXPECT_EQ(registry.second, "Exception RegistryError in module Setup.exe at .\nx.");
  EXPECT_EQ(inOut.second, "Exception InOutError in module Setup.exe at .\nDisk full.");
  EXPECT_EQ(os.second,
            "Exception OSError in module Setup.exe at .\nSystem error 5: Access is denied.");
  // Three call sites in this file, a few bytes apart.
  EXPECT_NE(registry.first, inOut.first);
  EXPECT_NE(inOut.first, os.first);
  EXPECT_LT(
      inOut.first > registry.first ? inOut.first - registry.first : registry.first - inOut.first,
      4096u);
}

TEST_F(ErrorReportSim, AnArmedUndoRunsOnceBeforeTheReportAndOnlyWhileArmed) {
  g_undoRuns = 0;
  Raised([] {
    FailureUndo armed(
        [](void*) {
          ++g_undoRuns;
          EXPECT_TRUE(sim::MessageBoxes().empty());
        },
        nullptr);
    RaiseInOutError(5);
  });
  EXPECT_EQ(g_undoRuns, 1);
  Raised([] {
    {
      FailureUndo armed([](void*) { ++g_undoRuns; }, nullptr);
    }
    RaiseInOutError(5);
  });
  EXPECT_EQ(g_undoRuns, 1) << "ran after its scope ended";
}

}  // namespace
