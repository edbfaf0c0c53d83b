// System preparation, the restart and the launching process against the
// simulated device's power, policy, version and shutdown records.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/process_waits.h"
#include "app/run_state.h"
#include "app/system_prep.h"
#include "platform/policy.h"
#include "platform/process.h"
#include "platform/shutdown.h"
#include "tests/app/app_fixture.h"

using namespace app;

namespace {

const std::string kPrefix = "{2E601130-5351-4D9D-8E04-252966BAD054}\t{3166BC41-7E98-4E03-B34E-EC0F5F2B218E}\t";

class SimPrepTest : public apptest::AppTest {
 protected:
  std::string SimPath(const std::string& name) { return std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/sim/" + name; }
  std::string Read(const std::string& name) {
    std::ifstream in(SimPath(name), std::ios::binary);
    if (!in) return "<missing>";
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void Write(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(SimPath(""));
    std::ofstream(SimPath(name)) << text;
  }
  void SetTimeout(const std::string& ac, const std::string& dc) {
    Write("power-scheme.tsv", kPrefix + "ac\t" + ac + "\n" + kPrefix + "dc\t" + dc + "\n");
  }
  // The request types held, as their numbers.
  std::string HeldTypes() {
    std::string types;
    std::istringstream in(Read("power-requests.tsv"));
    std::string line;
    while (std::getline(in, line)) types += line.substr(line.find('\t', line.find('\t') + 1) + 1, 1);
    return types;
  }
};

TEST_F(SimPrepTest, AbsentDisableCmdStaysAbsent) {
  EnableCommandPrompt();
  EXPECT_EQ(Read("policy.tsv"), "<missing>");
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(SimPrepTest, AConnectedStandbyDeviceGetsTheTimeoutRaisedAndAnExecutionRequiredRequest) {
  Write("connected-standby", "on\n");
  SetTimeout("300", "600");
  ASSERT_TRUE(bAddKeepAwake());
  EXPECT_EQ(HeldTypes(), "3");
  EXPECT_EQ(Read("power-scheme.tsv"), kPrefix + "ac\t4294967295\n" + kPrefix + "dc\t4294967295\n");
  ASSERT_TRUE(bRemoveKeepAwake());
  EXPECT_EQ(HeldTypes(), "");
  // The order a normal run on such a device logs.
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "bAddKeepAwake() called.", "bSupportsConnectedStandby(): Device DOES support \"connected standby\".",
                            "SetActiveAcDcSettingValues() succeeded.", "bRemoveKeepAwake() called.",
                            "bRemoveKeepAwake() returned false.", "bAddKeepAwake() returned true.",
                            "bRemoveKeepAwake() called.", "bSupportsConnectedStandby(): Device DOES support \"connected standby\".",
                            "bRemoveKeepAwake() returned true."}));
}

TEST_F(SimPrepTest, ATimeoutAlreadyUnlimitedIsNotWritten) {
  Write("connected-standby", "on\n");
  SetTimeout("4294967295", "4294967295");
  ASSERT_TRUE(bAddKeepAwake());
  EXPECT_EQ(HeldTypes(), "3");
  EXPECT_EQ(Read("events.log").find("power-scheme"), std::string::npos);
  for (const std::string& line : LogLines()) EXPECT_EQ(line.find("SetActiveAcDcSettingValues"), std::string::npos);
  // Once both are known to be unlimited the scheme is not even read again.
  platform::ArmFault(platform::FaultOp::ActivePowerScheme, 1, platform::kErrorAccessDenied);
  ASSERT_TRUE(bAddKeepAwake());
  EXPECT_EQ(platform::RemainingFaults(platform::FaultOp::ActivePowerScheme), 1);
}

TEST_F(SimPrepTest, AFailedTimeoutReadWritesUnlimitedForBoth) {
  Write("connected-standby", "on\n");
  SetTimeout("300", "4294967295");
  platform::ArmFault(platform::FaultOp::ReadDcValue, 1, platform::kErrorAccessDenied);
  ASSERT_TRUE(bAddKeepAwake());
  EXPECT_EQ(app::Run().systemPrep.rememberedAc, 0u);
  EXPECT_EQ(app::Run().systemPrep.rememberedDc, 0u);
  EXPECT_EQ(Read("power-scheme.tsv"), kPrefix + "ac\t4294967295\n" + kPrefix + "dc\t4294967295\n");
}

TEST_F(SimPrepTest, AFailedSchemeWriteIsAnErrorAndKeepsTheAcChange) {
  Write("connected-standby", "on\n");
  SetTimeout("300", "300");
  platform::ArmFault(platform::FaultOp::WriteDcValue, 1, platform::kErrorAccessDenied);
  ASSERT_TRUE(bAddKeepAwake());
  EXPECT_EQ(Read("power-scheme.tsv"), kPrefix + "dc\t300\n" + kPrefix + "ac\t4294967295\n");
  EXPECT_EQ(LogLines()[2], "ERROR: SetActiveAcDcSettingValues() failed.");
}

TEST_F(SimPrepTest, WithoutConnectedStandbyTheRequestIsSystemRequiredAndTheSchemeUntouched) {
  SetTimeout("300", "300");
  ASSERT_TRUE(bAddKeepAwake());
  EXPECT_EQ(HeldTypes(), "1");
  EXPECT_EQ(Read("power-scheme.tsv"), kPrefix + "ac\t300\n" + kPrefix + "dc\t300\n");
  EXPECT_EQ(LogLines()[1], "bSupportsConnectedStandby(): Device does NOT support \"connected standby\".");
}

TEST_F(SimPrepTest, AddingTwiceClearsTheFirstRequest) {
  ASSERT_TRUE(bAddKeepAwake());
  ASSERT_TRUE(bAddKeepAwake());
  EXPECT_EQ(HeldTypes(), "1");
  std::vector<std::string> lines = LogLines();
  std::vector<std::string> second(lines.begin() + 5, lines.end());
  EXPECT_EQ(second, (std::vector<std::string>{
                        "bAddKeepAwake() called.",
                        "bSupportsConnectedStandby(): Device does NOT support \"connected standby\".",
                        "bRemoveKeepAwake() called.",
                        "bSupportsConnectedStandby(): Device does NOT support \"connected standby\".",
                        "bRemoveKeepAwake() returned true.", "bAddKeepAwake() returned true."}));
}

TEST_F(SimPrepTest, ASetRequestThatFailsIsClosedAndTheOldOneKept) {
  ASSERT_TRUE(bAddKeepAwake());
  platform::ArmFault(platform::FaultOp::SetPowerRequest, 1, platform::kErrorAccessDenied);
  EXPECT_FALSE(bAddKeepAwake());
  EXPECT_TRUE(app::Run().systemPrep.keepAwake.IsValid());
  EXPECT_EQ(HeldTypes(), "1");
}

TEST_F(SimPrepTest, ShutdownActionsCallTheirSystemCall) {
  const char* const expected[] = {
      "restart, flags 0x00000006 (EWX_REBOOT|EWX_FORCE), reason 0x80000000 (planned)",
      "power off, flags 0x0000000C (EWX_FORCE|EWX_POWEROFF), reason 0x80000000 (planned)",
      "hibernate, force true", "suspend, force true"};
  std::string pid = std::to_string(platform::CurrentProcessId());
  for (unsigned action = 1; action <= 4; ++action) {
    EXPECT_TRUE(bShutdownSystem(action, true));
    EXPECT_EQ(Read("shutdown-request"), std::string(expected[action - 1]) + ", process " + pid + "\n");
  }
  EXPECT_TRUE(bShutdownSystem(1, false));
  EXPECT_EQ(Read("shutdown-request"),
            "restart, flags 0x00000012 (EWX_REBOOT|EWX_FORCEIFHUNG), reason 0x80000000 (planned), process " + pid + "\n");
}

TEST_F(SimPrepTest, ActionsZeroAndFiveOnlyEnableAndRestoreThePrivilege) {
  for (unsigned action : {0u, 5u}) {
    EXPECT_TRUE(bShutdownSystem(action, true));
    EXPECT_EQ(Read("shutdown-request"), "<missing>");
    // Restored: a restart asked now is refused for want of the privilege.
    EXPECT_FALSE(platform::EndSession(platform::kEwxReboot, 0));
    EXPECT_EQ(platform::LastError(), platform::kErrorPrivilegeNotHeld);
  }
  for (platform::FaultOp op : {platform::FaultOp::OpenProcessToken, platform::FaultOp::LookupPrivilege,
                               platform::FaultOp::EnablePrivilege, platform::FaultOp::EndSession}) {
    platform::ArmFault(op, 1, platform::kErrorAccessDenied);
    EXPECT_FALSE(bShutdownSystem(1, true));
  }
  EXPECT_EQ(Read("shutdown-request"), "<missing>");
}

TEST_F(SimPrepTest, BeforeVersionSixTheLaunchingProcessIsOpenedButNotNamed) {
  Write("os-version", "5.2\n");
  LaunchingProcess self = OpenLaunchingProcess(platform::CurrentProcessId());
  EXPECT_TRUE(self.process.IsValid());
  EXPECT_EQ(self.imagePath, "");
  Write("os-version", "6.1\n");
  LaunchingProcess named = OpenLaunchingProcess(platform::CurrentProcessId());
  EXPECT_NE(named.imagePath.find("app_tests"), std::string::npos);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"Process name: ", "Process name: " + named.imagePath}));
}

}  // namespace
