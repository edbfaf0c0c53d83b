// The hardware-library step of the run on a device whose service is not
// registered: every stop attempt fails, for 30 s of the clock.
#include "app/run_log.h"
#include "app/update_run.h"
#include "platform/fault.h"
#include "platform/service.h"
#include "tests/support/scratch.h"

namespace {

class ServiceStepTest : public testsupport::ScratchTest {
 protected:
  void TearDown() override {
    platform::ClearFaults();
    ScratchTest::TearDown();
  }
};

TEST_F(ServiceStepTest, AServiceThatCannotBeStoppedIsTriedFor30SecondsThenTheRunGoesOn) {
  testsupport::SetEnvironment("ORVANTA_SIM_TIME_SCALE", "0");
  // Every open of the manager fails, and each one is counted.
  const int armed = 1000;
  platform::ArmFault(platform::FaultOp::OpenServiceManager, armed, platform::kErrorAccessDenied);
  app::StopServiceForHardwareLibraries();
  // The first call and a retry every 100 ms until the clock says 30 s have
  // passed: 300 retries at most, fewer where the waits take longer.
  int calls = armed - platform::RemainingFaults(platform::FaultOp::OpenServiceManager);
  EXPECT_GE(calls, 250);
  EXPECT_LE(calls, 301);
}

}  // namespace
