// A whole run on a device whose service runs: the update tool of this
// backend stops the registered service stand-in, replaces its library and
// starts it again. Under Wine the service is registered with the prefix's
// own service manager, so this runs in a prefix of its own.
#include <fstream>
#include <sstream>

#include "tests/devicelib/service_fixture.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

class ServiceRunTest : public e2e::E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    servicetest::RemoveService();
    servicetest::InstallProgram("zamservice", servicetest::kProgram);
    ASSERT_TRUE(testsupport::WriteBytes(servicetest::kLibrary, "comm 1"));
  }
  void TearDown() override {
    servicetest::RemoveService();
    E2eTest::TearDown();
  }
};

TEST_F(ServiceRunTest, AHardwareLibraryUpdateStopsTheServiceAndStartsItAgain) {
  MakeTree("HW", {{"ZAMServiceComm.dll", "comm 2"}});
  Zampack("build", "HW_LIBRARY", "Service", {"HW"}, "hw.zam");
  std::string xml = "<UpdateInfo><IsTargetHardware>true</IsTargetHardware><LocationInfo>"
                    "<HW_LIBRARY><Path>C:\\Windows\\OEM\\</Path></HW_LIBRARY></LocationInfo>"
                    "<UpdateList><Package>hw.zam</Package></UpdateList></UpdateInfo>";
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Update\\UpdateInfo.xml"), xml));

  platform::ServiceHandle manager = platform::OpenServiceManager(platform::kScManagerAllAccess);
  platform::ServiceRegistration registration;
  registration.name = "ZAMService";
  registration.displayName = "ZAMService";
  registration.serviceType = platform::kServiceWin32OwnProcess | platform::kServiceInteractiveProcess;
  registration.startType = platform::kServiceDemandStart;
  registration.binaryPath = servicetest::kProgram;
  platform::ServiceHandle service = platform::RegisterService(manager, registration, platform::kServiceAllAccess);
  ASSERT_TRUE(service.IsValid()) << platform::LastError();
  ASSERT_TRUE(platform::StartRegisteredService(service)) << platform::LastError();
  service.Close();
  std::vector<platform::Dword> before = servicetest::ProcessesNamed("ZAMService.exe");
  ASSERT_EQ(before.size(), 1u);

  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  for (const char* line : {"Updating the hardware libraries, but the service is still running.", "Service stopped.",
                           "Reboot not required.", "Restarting the service.", "Restarting the service returned true."}) {
    EXPECT_TRUE(LogHas(line)) << line << "\n" << Log();
  }
  EXPECT_EQ(testsupport::ReadBytes(servicetest::kLibrary), "comm 2");
  std::vector<platform::Dword> after = servicetest::ProcessesNamed("ZAMService.exe");
  ASSERT_EQ(after.size(), 1u);
  EXPECT_NE(after[0], before[0]);
}

}  // namespace
