// The device service's control through the service manager of this backend,
// with the stand-in program as ZAMService.
#include <algorithm>
#include <chrono>

#include "platform/fault.h"
#include "platform/file.h"
#include "tests/devicelib/service_fixture.h"

namespace {

using servicetest::ProcessesNamed;
using servicetest::ServiceTest;

std::uint32_t ParseId(const std::string& text) { return static_cast<std::uint32_t>(std::stoul(text)); }

TEST_F(ServiceTest, AStartRunsTheProgramAndAStartOfARunningServiceSucceedsToo) {
  Register("obey");
  ASSERT_TRUE(devicelib::bStartService(true));
  EXPECT_EQ(State(), platform::kServiceRunning);
  std::vector<platform::Dword> running = ProcessesNamed("ZAMService.exe");
  ASSERT_EQ(running.size(), 1u);
  EXPECT_EQ(devicelib::GetServiceProcessId(), running[0]);
  // Automatic: no manual-start marker.
  EXPECT_FALSE(testsupport::Exists(devicelib::kManualStartMarker));

  // Already running: the manager refuses the start, the poll sees it running.
  EXPECT_TRUE(devicelib::bStartService(false));
  EXPECT_EQ(ProcessesNamed("ZAMService.exe"), running);
  // The marker of a manual start stays, empty.
  EXPECT_EQ(testsupport::ReadBytes(devicelib::kManualStartMarker), "");
}

TEST_F(ServiceTest, AServiceThatStopsRightAfterStartingFailsAtTheFirstPollThatSeesIt) {
  Register("stop-at-start");
  testsupport::SetEnvironment("ORVANTA_SIM_TIME_SCALE", "1");
  // The first status query fails: no state read yet, so the polls go on.
  platform::ArmFault(platform::FaultOp::QueryServiceStatus, 1, platform::kErrorAccessDenied);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(devicelib::bStartService(false));
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(platform::RemainingFaults(platform::FaultOp::QueryServiceStatus), 0);
  platform::ClearFaults();
  // Far from the five seconds of 50 polls.
  EXPECT_LT(elapsed, std::chrono::milliseconds(2500));
  EXPECT_EQ(State(), platform::kServiceStopped);
  // The start itself succeeded, so the manual-start marker stays.
  EXPECT_TRUE(testsupport::Exists(devicelib::kManualStartMarker));
}

TEST_F(ServiceTest, AStartThatFailsRemovesALeftoverManualStartMarker) {
  Register("obey");
  ASSERT_TRUE(platform::RemoveFile(servicetest::kProgram));
  ASSERT_TRUE(testsupport::WriteBytes(devicelib::kManualStartMarker, ""));
  EXPECT_FALSE(devicelib::bStartService(true));
  EXPECT_FALSE(testsupport::Exists(devicelib::kManualStartMarker));
  EXPECT_FALSE(devicelib::bStartService(false));
  EXPECT_FALSE(testsupport::Exists(devicelib::kManualStartMarker));
  EXPECT_TRUE(ProcessesNamed("ZAMService.exe").empty());
}

TEST_F(ServiceTest, AServiceThatObeysStopsAndItsProgramAndLibraryAreFree) {
  Register("obey");
  ASSERT_TRUE(devicelib::bStartService(true));
  // The running program holds its image and its library.
  EXPECT_FALSE(platform::OpenFile(servicetest::kLibrary, platform::kGenericWrite, platform::kShareRead,
                                  platform::Disposition::OpenExisting, platform::kAttributeNormal)
                   .IsValid());
  EXPECT_TRUE(devicelib::bStopService());
  EXPECT_EQ(State(), platform::kServiceStopped);
  EXPECT_EQ(devicelib::GetServiceProcessId(), devicelib::kNoProcess);
  for (const std::string& path : {servicetest::kProgram, servicetest::kLibrary}) {
    EXPECT_TRUE(platform::OpenFile(path, platform::kGenericWrite, platform::kShareRead,
                                   platform::Disposition::OpenExisting, platform::kAttributeNormal)
                    .IsValid())
        << path;
  }
  // Stopped and no program left: the stop control is refused, the result is still true.
  EXPECT_TRUE(devicelib::bStopService());
}

// Wine's manager keeps reporting RUNNING after the forced termination, so
// the outcome is read from the process list.
TEST_F(ServiceTest, AServiceThatIgnoresTheStopIsTerminated_WineKeepsReportingRunning) {
  Register("ignore-stop");
  ASSERT_TRUE(devicelib::bStartService(true));
  ASSERT_EQ(ProcessesNamed("ZAMService.exe").size(), 1u);
  // A process list that cannot be read does not tell that the program is gone.
  platform::ArmFault(platform::FaultOp::ListProcesses, -1, platform::kErrorAccessDenied);
  EXPECT_FALSE(devicelib::bStopService());
  platform::ClearFaults();
  ASSERT_EQ(ProcessesNamed("ZAMService.exe").size(), 1u);
  EXPECT_TRUE(devicelib::bStopService());
  EXPECT_TRUE(ProcessesNamed("ZAMService.exe").empty());
  if (!testsupport::UnderWine()) {
    EXPECT_EQ(State(), platform::kServiceStopped);
  }
}

TEST_F(ServiceTest, WithoutARegistrationStopAndRemoveFail) {
  EXPECT_FALSE(devicelib::bServiceRegistered());
  for (int attempt = 0; attempt < 3; ++attempt) EXPECT_FALSE(devicelib::bStopService());
  EXPECT_FALSE(devicelib::bRemoveService());
  EXPECT_EQ(devicelib::GetServiceProcessId(), devicelib::kNoProcess);
  Register("obey");
  EXPECT_TRUE(devicelib::bServiceRegistered());
  EXPECT_TRUE(devicelib::bRemoveService());
  EXPECT_FALSE(devicelib::bServiceRegistered());
  EXPECT_FALSE(devicelib::bStopService());
}

TEST_F(ServiceTest, TheServiceProcessIsFoundInAnyCaseButNeverTheCallerItself) {
  servicetest::InstallProgram("zamservice", PathOf("a\\ZAMSERVICE.EXE"));
  servicetest::InstallProgram("zamservice", PathOf("b\\ZAMServiced.exe"));
  testsupport::HelperProcess other(testsupport::HostPathOf(PathOf("a\\ZAMSERVICE.EXE")), "hold");
  std::string line = other.FirstLine();
  ASSERT_EQ(line.rfind("running ", 0), 0u) << line;
  std::uint32_t otherId = ParseId(line.substr(8));
  EXPECT_EQ(devicelib::GetServiceProcessId(), otherId);

  // The caller is a service program too: it finds the other one.
  testsupport::HelperProcess caller(testsupport::HostPathOf(PathOf("b\\ZAMServiced.exe")), "find");
  line = caller.FirstLine();
  std::size_t blank = line.find(' ');
  ASSERT_NE(blank, std::string::npos) << line;
  EXPECT_NE(ParseId(line.substr(0, blank)), otherId);
  EXPECT_EQ(ParseId(line.substr(blank + 1)), otherId);
  other.Stop();
}

TEST_F(ServiceTest, AStartWithoutARegistrationRegistersTheCallerFirst) {
  // The caller is this test program, which must not really start as a service.
  platform::ArmFault(platform::FaultOp::StartService, 1, platform::kErrorFileNotFound);
  EXPECT_FALSE(devicelib::bStartService(true));
  platform::ClearFaults();
  platform::ServiceHandle manager = platform::OpenServiceManager(platform::kScManagerAllAccess);
  EXPECT_TRUE(platform::OpenRegisteredService(manager, "ZAMService", platform::kServiceAllAccess).IsValid());
  // A second registration under the name is refused.
  EXPECT_FALSE(devicelib::bInstallService());
  EXPECT_TRUE(devicelib::bRemoveService());
  EXPECT_FALSE(platform::OpenRegisteredService(manager, "ZAMService", platform::kServiceAllAccess).IsValid());
}

TEST_F(ServiceTest, ARestartEndsAndStartsTheDeviceServiceAndNoOtherService_WineKeepsReportingItRunning) {
  Register("obey", platform::kServiceAutoStart);
  ASSERT_TRUE(devicelib::bStartService(true));
  std::vector<platform::Dword> before = ProcessesNamed("ZAMService.exe");
  ASSERT_EQ(before.size(), 1u);
  // Every other service with a running program; under Wine the prefix's own.
  std::vector<platform::ServiceEntry> services;
  ASSERT_TRUE(platform::ListServices(&services));
  std::vector<platform::ServiceEntry> others;
  for (const platform::ServiceEntry& entry : services) {
    if (entry.processId != 0 && entry.name != "ZAMService") others.push_back(entry);
  }
  if (testsupport::UnderWine()) {
    ASSERT_FALSE(others.empty());
  }

  std::string output;
  EXPECT_EQ(testsupport::RunProgram("orvanta-sim", "restart", &output), 0) << output;
  std::vector<platform::Dword> after = ProcessesNamed("ZAMService.exe");
  EXPECT_TRUE(std::find(after.begin(), after.end(), before[0]) == after.end()) << output;
  if (!testsupport::UnderWine()) {
    // Started again as the device comes up. Wine's manager goes on reporting
    // the ended program as running, so there nothing is started.
    ASSERT_EQ(after.size(), 1u) << output;
    EXPECT_EQ(State(), platform::kServiceRunning);
  }
  ASSERT_TRUE(platform::ListServices(&services));
  for (const platform::ServiceEntry& other : others) {
    bool running = false;
    for (const platform::ServiceEntry& entry : services) {
      running = running || (entry.name == other.name && entry.processId == other.processId);
    }
    EXPECT_TRUE(running) << other.name << " (process " << other.processId << ") was ended\n" << output;
  }
}

}  // namespace
