// The simulated service manager's own rules: time-outs, refusals, deletion
// and the device's timeline.
#include "platform/posix/sim_device.h"
#include "tests/devicelib/service_fixture.h"

namespace {

using servicetest::ProcessesNamed;
using servicetest::ServiceTest;

class SimServiceTest : public ServiceTest {
 protected:
  platform::ServiceHandle Open() {
    manager_ = platform::OpenServiceManager(platform::kScManagerAllAccess);
    return platform::OpenRegisteredService(manager_, "zamservice", platform::kServiceAllAccess);
  }
  std::string Events() { return testsupport::ReadBytes(platform::sim::SimFile("events.log")); }

  platform::ServiceHandle manager_;
};

TEST_F(SimServiceTest, AProgramThatNeverConnectsFailsItsStartAndIsNotLeftRunning) {
  Register("never-connect");
  // The manager's 30 s time-out, scaled down to its floor.
  testsupport::SetEnvironment("ORVANTA_SIM_TIME_SCALE", "0");
  platform::ServiceHandle service = Open();
  ASSERT_TRUE(service.IsValid());
  EXPECT_FALSE(platform::StartRegisteredService(service));
  EXPECT_EQ(platform::LastError(), platform::kErrorServiceRequestTimeout);
  EXPECT_EQ(State(), platform::kServiceStopped);
  EXPECT_TRUE(ProcessesNamed("ZAMService.exe").empty());
  EXPECT_NE(Events().find("\tservice-start-failed\tZAMService; process "), std::string::npos) << Events();
}

TEST_F(SimServiceTest, RefusalsCarryTheManagersErrors) {
  platform::ServiceHandle manager = platform::OpenServiceManager(platform::kScManagerAllAccess);
  EXPECT_FALSE(platform::OpenRegisteredService(manager, "ZAMService", platform::kServiceAllAccess).IsValid());
  EXPECT_EQ(platform::LastError(), platform::kErrorServiceDoesNotExist);
  Register("obey");
  platform::ServiceHandle service = Open();
  platform::ServiceStatus status;
  EXPECT_FALSE(platform::SendServiceControl(service, platform::kServiceControlStop, &status));
  EXPECT_EQ(platform::LastError(), platform::kErrorServiceNotActive);
  ASSERT_TRUE(platform::StartRegisteredService(service));
  EXPECT_FALSE(platform::StartRegisteredService(service));
  EXPECT_EQ(platform::LastError(), platform::kErrorServiceAlreadyRunning);
  platform::ServiceRegistration again;
  again.name = "ZAMSERVICE";
  again.binaryPath = servicetest::kProgram;
  EXPECT_FALSE(platform::RegisterService(manager, again, platform::kServiceAllAccess).IsValid());
  EXPECT_EQ(platform::LastError(), platform::kErrorServiceExists);
  // A program the manager did not start cannot connect.
  EXPECT_EQ(testsupport::RunProgram("zamservice", "obey"), 1);
  platform::ServiceHandle queryOnly = platform::OpenRegisteredService(manager, "ZAMService", platform::kServiceQueryStatus);
  EXPECT_FALSE(platform::SendServiceControl(queryOnly, platform::kServiceControlStop, &status));
  EXPECT_EQ(platform::LastError(), platform::kErrorAccessDenied);
  EXPECT_TRUE(devicelib::bStopService());
}

TEST_F(SimServiceTest, ARegistrationMarkedForDeletionGoesWhenItsServiceStops) {
  Register("obey");
  ASSERT_TRUE(devicelib::bStartService(true));
  EXPECT_TRUE(devicelib::bRemoveService());
  EXPECT_FALSE(devicelib::bRemoveService());
  platform::ServiceHandle service = Open();
  ASSERT_TRUE(service.IsValid());
  EXPECT_FALSE(platform::StartRegisteredService(service));
  EXPECT_EQ(platform::LastError(), platform::kErrorServiceMarkedForDelete);
  EXPECT_EQ(State(), platform::kServiceRunning);
  EXPECT_TRUE(devicelib::bStopService());
  EXPECT_FALSE(Open().IsValid());
  EXPECT_EQ(platform::LastError(), platform::kErrorServiceDoesNotExist);
}

TEST_F(SimServiceTest, AServiceWhoseProgramWasEndedIsStoppedAndTheTimelineShowsIt) {
  Register("ignore-stop");
  ASSERT_TRUE(devicelib::bStartService(true));
  std::vector<platform::Dword> running = ProcessesNamed("ZAMService.exe");
  ASSERT_EQ(running.size(), 1u);
  std::string id = std::to_string(running[0]);
  EXPECT_TRUE(devicelib::bStopService());
  EXPECT_EQ(State(), platform::kServiceStopped);
  std::string events = Events();
  for (const std::string& line : std::vector<std::string>{
           "\tservice-register\tZAMService; program: C:\\Windows\\OEM\\ZAMService.exe ignore-stop; start: on demand\n",
           "\tservice-start\tZAMService; process " + id + "\n",
           "\tservice-stop-request\tZAMService; process " + id + "\n",
           "\tprocess-terminate\tZAMService.exe; process " + id + "; exit code 0\n",
           "\tservice-stop\tZAMService; its program ended\n"}) {
    EXPECT_NE(events.find(line), std::string::npos) << line << "\n" << events;
  }
}

}  // namespace
