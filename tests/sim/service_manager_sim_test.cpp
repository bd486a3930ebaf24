// The simulated service manager keeps the rules an installer and an
// uninstaller of a service must live with.
#include <gtest/gtest.h>

#include "platform/sim/sim.h"
#include "platform/sim/sim_service_manager.h"
#include "platform/win_base.h"

namespace {

constexpr const char* kPath = "\"C:\\Program Files\\Vorn\\VornMon.exe\" -service";

class ServiceManagerSim : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
  void TearDown() override { sim::Reset(); }

  static SC_HANDLE Create(SC_HANDLE manager, const char* name = "Vorn") {
    return CreateServiceA(manager, name, "Vorn (PC Clock Synchronizer)", SERVICE_ALL_ACCESS,
                          SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                          kPath, nullptr, nullptr, nullptr, "NT AUTHORITY\\LocalService", nullptr);
  }
};

TEST_F(ServiceManagerSim, CreateConfigureStartAndCreateAgain) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service = Create(manager);
  ASSERT_NE(service, nullptr);
  char description[] = "Keeps the clock right.";
  SERVICE_DESCRIPTIONA text = {description};
  EXPECT_TRUE(ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &text));
  BOOL delayed = TRUE;
  EXPECT_TRUE(ChangeServiceConfig2A(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed));
  char names[] = "SeSystemtimePrivilege\0SeChangeNotifyPrivilege\0";
  char* privileges = names;
  EXPECT_TRUE(ChangeServiceConfig2A(service, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &privileges));
  EXPECT_TRUE(StartServiceA(service, 0, nullptr));
  EXPECT_FALSE(StartServiceA(service, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));

  const std::optional<sim::InstalledService> vorn = sim::Service("vorn");
  ASSERT_TRUE(vorn.has_value());
  EXPECT_EQ(vorn->displayName, "Vorn (PC Clock Synchronizer)");
  EXPECT_EQ(vorn->binaryPath, kPath);
  EXPECT_EQ(vorn->account, "NT AUTHORITY\\LocalService");
  EXPECT_EQ(vorn->description, "Keeps the clock right.");
  EXPECT_TRUE(vorn->delayedAutoStart);
  EXPECT_EQ(vorn->requiredPrivileges, "SeSystemtimePrivilege,SeChangeNotifyPrivilege");
  EXPECT_EQ(vorn->state, SERVICE_RUNNING);

  EXPECT_EQ(Create(manager), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_EXISTS));
  EXPECT_TRUE(CloseServiceHandle(service));
  EXPECT_TRUE(CloseServiceHandle(manager));
  EXPECT_EQ(sim::OpenServiceHandles(), 0u);
}

TEST_F(ServiceManagerSim, StopTakesItsTimeAndDeletionWaitsForTheLastHandle) {
  sim::AddService("Vorn", kPath, true);
  sim::SetStopDelayMs(2500);
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenServiceA(manager, "Vorn", SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
  ASSERT_NE(service, nullptr);
  SERVICE_STATUS status;
  EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
  sim::AdvanceMs(2499);
  EXPECT_TRUE(QueryServiceStatus(service, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
  sim::AdvanceMs(1);
  EXPECT_TRUE(QueryServiceStatus(service, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));

  EXPECT_TRUE(DeleteService(service));
  EXPECT_FALSE(DeleteService(service));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
  EXPECT_EQ(Create(manager), nullptr) << "a handle still names the service";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
  EXPECT_TRUE(CloseServiceHandle(service));
  EXPECT_FALSE(sim::Service("Vorn").has_value());
  EXPECT_EQ(OpenServiceA(manager, "Vorn", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  SC_HANDLE again = Create(manager);
  EXPECT_NE(again, nullptr);
  CloseServiceHandle(again);
  CloseServiceHandle(manager);
}

TEST_F(ServiceManagerSim, WithoutElevationOnlyQueriesAreAllowed) {
  sim::AddService("Vorn", kPath, true);
  sim::DenyServiceChanges();
  EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(OpenServiceA(manager, "Vorn", SERVICE_STOP), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SC_HANDLE query = OpenServiceA(manager, "Vorn", SERVICE_QUERY_STATUS);
  ASSERT_NE(query, nullptr);
  EXPECT_FALSE(DeleteService(query)) << "not opened for it";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseServiceHandle(query);
  CloseServiceHandle(manager);
}

}  // namespace
