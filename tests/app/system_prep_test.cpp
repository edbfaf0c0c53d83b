// System preparation on both backends: the command-prompt policy, the
// keep-awake request's bookkeeping, the OS version's fallback.
#include "app/run_state.h"
#include "app/system_prep.h"
#include "platform/policy.h"
#include "tests/app/app_fixture.h"

using namespace app;

namespace {

class SystemPrepTest : public apptest::AppTest {
 protected:
  static constexpr const char* kKey = "Software\\Policies\\Microsoft\\Windows\\System";
  void SetDisableCmd(platform::Dword value) {
    platform::PolicyKey key = platform::OpenUserPolicyKey(kKey);
    ASSERT_TRUE(platform::WritePolicyValue(key, "DisableCMD", value));
  }
  platform::Dword DisableCmd() {
    platform::PolicyKey key = platform::OpenUserPolicyKey(kKey);
    platform::Dword value = 12345;
    EXPECT_TRUE(platform::ReadPolicyValue(key, "DisableCMD", &value));
    return value;
  }
};

TEST_F(SystemPrepTest, OnlyDisableCmdOneBecomesTwoAndIsLoggedOnce) {
  for (platform::Dword value : {0u, 2u, 3u}) {
    SetDisableCmd(value);
    EnableCommandPrompt();
    EXPECT_EQ(DisableCmd(), value);
  }
  EXPECT_TRUE(LogLines().empty());
  SetDisableCmd(1);
  EnableCommandPrompt();
  EnableCommandPrompt();
  EXPECT_EQ(DisableCmd(), 2u);
  EXPECT_EQ(LogLines(), std::vector<std::string>{"CMD was disabled. Enabling..."});
  // Leave the user's policy as a device has it.
  SetDisableCmd(0);
}

TEST_F(SystemPrepTest, AKeyThatCannotBeOpenedIsSilentlyLeft) {
  platform::ArmFault(platform::FaultOp::OpenPolicyKey, 1, platform::kErrorAccessDenied);
  platform::ArmFault(platform::FaultOp::ReadPolicyValue, 1, platform::kErrorAccessDenied);
  EnableCommandPrompt();
  EXPECT_EQ(platform::RemainingFaults(platform::FaultOp::ReadPolicyValue), 1);
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(SystemPrepTest, RemovingWithNothingHeldIsFalseWithoutACapabilityQuery) {
  platform::ArmFault(platform::FaultOp::PowerCapabilities, 1, platform::kErrorAccessDenied);
  EXPECT_FALSE(bRemoveKeepAwake());
  EXPECT_EQ(platform::RemainingFaults(platform::FaultOp::PowerCapabilities), 1);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"bRemoveKeepAwake() called.", "bRemoveKeepAwake() returned false."}));
}

TEST_F(SystemPrepTest, AFailedCapabilityQueryReadsAsNoSupportAndIsAskedAgain) {
  platform::ArmFault(platform::FaultOp::PowerCapabilities, 1, platform::kErrorAccessDenied);
  EXPECT_FALSE(bSupportsConnectedStandby());
  EXPECT_TRUE(app::Run().systemPrep.capabilitiesNotYetRead);
  bSupportsConnectedStandby();
  EXPECT_FALSE(app::Run().systemPrep.capabilitiesNotYetRead);
  // Once read, the capabilities are not asked again.
  platform::ArmFault(platform::FaultOp::PowerCapabilities, 1, platform::kErrorAccessDenied);
  bSupportsConnectedStandby();
  EXPECT_EQ(platform::RemainingFaults(platform::FaultOp::PowerCapabilities), 1);
  EXPECT_EQ(LogLines().size(), 3u);
}

TEST_F(SystemPrepTest, ARequestThatCannotBeCreatedOrSetIsFalseAndHoldsNothing) {
  platform::ArmFault(platform::FaultOp::CreatePowerRequest, 1, platform::kErrorCallNotImplemented);
  EXPECT_FALSE(bAddKeepAwake());
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"bAddKeepAwake() called.", "bAddKeepAwake() returned false."}));
  EXPECT_FALSE(app::Run().systemPrep.keepAwake.IsValid());
}

TEST_F(SystemPrepTest, WithoutTheVersionCallTheRecordIsZeroed) {
  platform::ArmFault(platform::FaultOp::OsVersion, 1, platform::kErrorProcNotFound);
  platform::OsVersionInfo info = GetOsVersionInfo();
  EXPECT_EQ(info.majorVersion, 0u);
  EXPECT_EQ(info.minorVersion, 0u);
  EXPECT_GE(GetOsVersionInfo().majorVersion, 5u);
}

TEST_F(SystemPrepTest, KeepAwakeIsHeldUntilRemoved_WineStubsPowerRequests) {
  bool added = bAddKeepAwake();
  if (testsupport::UnderWine()) {
    // PowerCreateRequest fails with 120 under Wine: the tool's failure path.
    EXPECT_FALSE(added);
    EXPECT_EQ(LogLines().back(), "bAddKeepAwake() returned false.");
    EXPECT_FALSE(bRemoveKeepAwake());
    return;
  }
  EXPECT_TRUE(added);
  EXPECT_TRUE(app::Run().systemPrep.keepAwake.IsValid());
  EXPECT_TRUE(bRemoveKeepAwake());
  EXPECT_FALSE(app::Run().systemPrep.keepAwake.IsValid());
  EXPECT_FALSE(bRemoveKeepAwake());
}

}  // namespace
