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

TEST_F(ErrorReportSim, RaisedErrorsCarryTheirCallersAddress) {
  const void* registry = nullptr;
  const void* inOut = nullptr;
  try {
    RaiseRegistryError("x");
  } catch (const RegistryError& error) {
    registry = error.Address();
    EXPECT_STREQ(error.Kind(), "RegistryError");
  }
  try {
    RaiseInOutError(101);
  } catch (const InOutError& error) {
    inOut = error.Address();
    EXPECT_EQ(error.Message(), "Disk full");
  }
  // Two call sites in this function, a few bytes apart.
  ASSERT_NE(registry, nullptr);
  ASSERT_NE(inOut, nullptr);
  EXPECT_NE(registry, inOut);
  const auto distance = reinterpret_cast<uintptr_t>(inOut) - reinterpret_cast<uintptr_t>(registry);
  EXPECT_LT(distance, 4096u);
}

}  // namespace
