// Runs that meet the device service: the hardware-library packages of a
// device stop it before their checksum and start it again at the end. The
// service is the stand-in program, run by the simulated service manager.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/posix/sim_device.h"
#include "tests/devicelib/service_fixture.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

class ServiceScenarioTest : public e2e::E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    servicetest::InstallProgram("zamservice", servicetest::kProgram);
    ASSERT_TRUE(testsupport::WriteBytes(servicetest::kLibrary, "comm 1"));
    std::ifstream standIn(testsupport::ProgramPath("zamservice"), std::ios::binary);
    std::stringstream bytes;
    bytes << standIn.rdbuf();
    standInBytes_ = bytes.str();
  }
  void TearDown() override {
    servicetest::RemoveService();
    E2eTest::TearDown();
  }

  // The descriptor of a device whose hardware libraries live beside the service.
  void WriteDeviceDescriptor(const std::string& isTargetHardware, const std::vector<std::string>& packages) {
    std::string xml = "<UpdateInfo>\r\n<IsTargetHardware>" + isTargetHardware + "</IsTargetHardware>\r\n";
    xml += "<LocationInfo>\r\n<SOFTWARE><Path>" + Software() + "</Path></SOFTWARE>\r\n";
    xml += "<HW_LIBRARY><Path>C:\\Windows\\OEM\\</Path></HW_LIBRARY>\r\n</LocationInfo>\r\n<UpdateList>\r\n";
    for (const std::string& package : packages) xml += "<Package>" + package + "</Package>\r\n";
    xml += "</UpdateList>\r\n</UpdateInfo>\r\n";
    ASSERT_TRUE(testsupport::WriteBytes(PathOf("Update\\UpdateInfo.xml"), xml));
  }

  // hw1.zam delivers a new service program and library, hw2.zam a driver.
  void MakeHardwarePackages() {
    MakeTree("HW1", {{"ZAMService.exe", standInBytes_}, {"ZAMServiceComm.dll", "comm 2"}});
    Zampack("build", "HW_LIBRARY", "Service", {"HW1"}, "hw1.zam");
    MakeTree("HW2", {{"driver.dll", "driver 2"}});
    Zampack("build", "HW_LIBRARY", "Drivers", {"HW2"}, "hw2.zam");
  }

  // Registers the stand-in as the device registers its service.
  platform::ServiceHandle RegisterService(const std::string& behaviour) {
    platform::ServiceHandle manager = platform::OpenServiceManager(platform::kScManagerAllAccess);
    platform::ServiceRegistration registration;
    registration.name = "ZAMService";
    registration.displayName = "ZAMService";
    registration.serviceType = platform::kServiceWin32OwnProcess | platform::kServiceInteractiveProcess;
    registration.startType = platform::kServiceAutoStart;
    registration.binaryPath = servicetest::kProgram + (behaviour.empty() ? "" : " " + behaviour);
    platform::ServiceHandle service = platform::RegisterService(manager, registration, platform::kServiceAllAccess);
    EXPECT_TRUE(service.IsValid());
    return service;
  }

  // Registers the stand-in and starts it; its program's process id.
  std::uint32_t StartService(const std::string& behaviour) {
    platform::ServiceHandle service = RegisterService(behaviour);
    EXPECT_TRUE(platform::StartRegisteredService(service));
    std::uint32_t id = devicelib::GetServiceProcessId();
    EXPECT_NE(id, devicelib::kNoProcess);
    return id;
  }

  std::string Events() { return testsupport::ReadBytes(platform::sim::SimFile("events.log")); }

  std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
  }

  // Index of the first log line equal to `line` at or after `from`, or npos.
  std::size_t LineAt(const std::string& line, std::size_t from = 0) {
    std::vector<std::string> lines = LogLines();
    for (std::size_t i = from; i < lines.size(); ++i) {
      if (lines[i] == line) return i;
    }
    return std::string::npos;
  }

  std::string standInBytes_;
};

const char kStopping[] = "Updating the hardware libraries, but the service is still running.";

TEST_F(ServiceScenarioTest, TwoHardwarePackagesStopTheServiceOnceAndStartItAgainAtTheEnd) {
  MakeHardwarePackages();
  WriteDeviceDescriptor("true", {"hw1.zam", "hw2.zam"});
  std::uint32_t before = StartService("");
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();

  std::size_t first = LineAt(" HW_LIBRARY  Service  2.0");
  std::size_t stopping = LineAt(kStopping);
  std::size_t stopped = LineAt("Service stopped.");
  std::size_t second = LineAt("Processing \"hw2.zam\"");
  ASSERT_NE(first, std::string::npos) << Log();
  EXPECT_TRUE(first < stopping && stopping + 1 == stopped && stopped < second) << Log();
  EXPECT_EQ(Count(Log(), kStopping), 1u) << Log();
  for (const char* line : {"Reboot not required.", "Restarting the service.", "Restarting the service returned true.",
                           "End of main()."}) {
    EXPECT_NE(LineAt(line), std::string::npos) << line << "\n" << Log();
  }
  EXPECT_EQ(LineAt("Restarting the service is not necessary."), std::string::npos) << Log();

  // The program and its library were free: written at once, nothing waits for a restart.
  EXPECT_EQ(testsupport::ReadBytes(servicetest::kLibrary), "comm 2");
  EXPECT_EQ(testsupport::ReadBytes("C:\\Windows\\OEM\\driver.dll"), "driver 2");
  EXPECT_TRUE(Pending().empty());
  // The delivered program runs as the service again, and the application was not launched.
  std::uint32_t after = devicelib::GetServiceProcessId();
  EXPECT_NE(after, devicelib::kNoProcess);
  EXPECT_NE(after, before);
  std::string events = Events();
  EXPECT_EQ(Count(events, "\tservice-stop-request\t"), 1u) << events;
  EXPECT_NE(events.find("\tservice-stop\tZAMService; process " + std::to_string(before) + "; exit code 0\n"),
            std::string::npos)
      << events;
  EXPECT_NE(events.find("\tservice-start\tZAMService; process " + std::to_string(after) + "\n"), std::string::npos)
      << events;
  EXPECT_EQ(events.find("Orvanta.exe"), std::string::npos) << events;
}

TEST_F(ServiceScenarioTest, AServiceThatIgnoresTheStopIsTerminatedAndTheRunGoesOn) {
  MakeHardwarePackages();
  WriteDeviceDescriptor("true", {"hw1.zam"});
  std::uint32_t before = StartService("ignore-stop");
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  EXPECT_NE(Events().find("\tprocess-terminate\tZAMService.exe; process " + std::to_string(before) + "; exit code 0\n"),
            std::string::npos)
      << Events();
  EXPECT_NE(LineAt("Service stopped."), std::string::npos) << Log();
  EXPECT_EQ(testsupport::ReadBytes(servicetest::kLibrary), "comm 2");
  EXPECT_NE(LineAt("Restarting the service returned true."), std::string::npos) << Log() << Events();
}

// A service that does not come back at the end leaves the device with its
// application instead: without a registration (the tool never registers
// itself) and with a program that never connects to the manager.
TEST_F(ServiceScenarioTest, AServiceThatDoesNotComeBackLeavesTheApplicationLaunched) {
  MakeHardwarePackages();
  WriteDeviceDescriptor("true", {"hw1.zam"});
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  std::size_t stopping = LineAt(kStopping);
  ASSERT_NE(stopping, std::string::npos) << Log();
  EXPECT_EQ(LogLines()[stopping + 1],
            "ERROR: The service did not stop within 30 seconds (last error 1060); its files in use wait for the restart.")
      << Log();
  EXPECT_EQ(testsupport::ReadBytes(servicetest::kLibrary), "comm 2");
  std::size_t returned = LineAt("Restarting the service returned false.");
  ASSERT_NE(returned, std::string::npos) << Log();
  EXPECT_EQ(LineAt("ERROR: The device service did not start again (error 1060); the application is launched instead."),
            returned + 1)
      << Log();
  EXPECT_EQ(LineAt("startApp() called."), returned + 2) << Log();
  // The update tool never makes itself the device service.
  std::vector<platform::ServiceEntry> services;
  ASSERT_TRUE(platform::ListServices(&services));
  EXPECT_TRUE(services.empty());
  EXPECT_EQ(Events().find("service-register"), std::string::npos) << Events();
  EXPECT_NE(Events().find("\tprogram-start\t" + Software() + "Orvanta.exe"), std::string::npos) << Events();

  // Registered, but its program never connects (1053).
  ASSERT_TRUE(RegisterService("never-connect").IsValid());
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("update_log.txt"), ""));
  Zampack("build", "HW_LIBRARY", "Service", {"HW1"}, "hw1.zam");
  WriteDeviceDescriptor("true", {"hw1.zam"});
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  EXPECT_EQ(LineAt("Service stopped."), LineAt(kStopping) + 1) << Log();
  EXPECT_NE(LineAt("ERROR: The device service did not start again (error 1053); the application is launched instead."),
            std::string::npos)
      << Log();
  EXPECT_EQ(Count(Events(), "\tprogram-start\t" + Software() + "Orvanta.exe"), 2u) << Events();
}

// A service that takes no notice of the stop and whose program cannot be
// ended holds the run for 30 s of the device's clock, not for 300 tries of
// up to 15 s each; its program waits for the restart.
TEST_F(ServiceScenarioTest, AServiceThatCannotBeStoppedHoldsTheRunThirtySecondsAndItsProgramWaitsForTheRestart) {
  MakeHardwarePackages();
  WriteDeviceDescriptor("true", {"hw1.zam"});
  std::uint32_t before = StartService("ignore-stop");
  testsupport::SetEnvironment("ORVANTA_SIM_FAULTS", "TerminateProcess:-1:5");
  testsupport::SetEnvironment("ORVANTA_SIM_EVENT_WAIT_MS", "0");
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  testsupport::SetEnvironment("ORVANTA_SIM_FAULTS", "");
  EXPECT_EQ(LineAt("ERROR: The service did not stop within 30 seconds (last error 5); its files in use wait for the "
                   "restart."),
            LineAt(kStopping) + 1)
      << Log();
  // Each try waits 5 s for the program to end after its termination failed: about six fit into 30 s.
  std::size_t requests = Count(Events(), "\tservice-stop-request\tZAMService");
  EXPECT_GE(requests, 5u) << Events();
  EXPECT_LE(requests, 7u) << Events();
  EXPECT_EQ(devicelib::GetServiceProcessId(), before);
  // The running program holds its image and its library: both wait for the restart.
  std::vector<std::string> deferred;
  for (const platform::PendingOperation& op : Pending()) {
    if (!op.isDelete) deferred.push_back(op.to);
  }
  EXPECT_EQ(deferred, (std::vector<std::string>{servicetest::kProgram, servicetest::kLibrary})) << Log();
  EXPECT_NE(LineAt("We're on a device. Shutting down."), std::string::npos) << Log();
}

TEST_F(ServiceScenarioTest, HardwareLibrariesOffTheDeviceLeaveTheRunningServiceAlone) {
  MakeTree("HW2", {{"driver.dll", "driver 2"}});
  Zampack("build", "HW_LIBRARY", "Drivers", {"HW2"}, "hw2.zam");
  WriteDeviceDescriptor("false", {"hw2.zam"});
  std::uint32_t before = StartService("");
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  EXPECT_EQ(LineAt(kStopping), std::string::npos) << Log();
  EXPECT_NE(LineAt("Restarting the service is not necessary."), std::string::npos) << Log();
  EXPECT_EQ(testsupport::ReadBytes("C:\\Windows\\OEM\\driver.dll"), "driver 2");
  EXPECT_EQ(devicelib::GetServiceProcessId(), before);
  EXPECT_EQ(Events().find("service-stop"), std::string::npos) << Events();
}

TEST_F(ServiceScenarioTest, ARunThatEndsWithARestartDoesNotStartTheStoppedService) {
  MakeHardwarePackages();
  WriteDeviceDescriptor("true", {"hw1.zam", "hw2.zam"});
  StartService("");
  ASSERT_TRUE(testsupport::WriteBytes("C:\\Windows\\OEM\\driver.dll", "driver 1"));
  testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote("C:\\Windows\\OEM\\driver.dll") +
                                                                   " read none");
  ASSERT_EQ(holder.FirstLine(), "opened");
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  EXPECT_NE(LineAt("Service stopped."), std::string::npos) << Log();
  EXPECT_NE(LineAt("Reboot is required."), std::string::npos) << Log();
  EXPECT_EQ(LineAt("Restarting the service."), std::string::npos) << Log();
  EXPECT_EQ(devicelib::GetServiceProcessId(), devicelib::kNoProcess);
  EXPECT_FALSE(Pending().empty());
}

}  // namespace
