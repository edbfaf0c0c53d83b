// The simulated device's power, policy, version and shutdown state in its
// files under sim/, and the timeline sim/events.log.
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "platform/os_version.h"
#include "platform/policy.h"
#include "platform/power.h"
#include "platform/process.h"
#include "platform/shutdown.h"
#include "tests/support/scratch.h"

using namespace platform;

namespace {

class SimStateTest : public testsupport::ScratchTest {
 protected:
  std::string SimPath(const std::string& name) { return std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/sim/" + name; }
  std::string Read(const std::string& name) {
    std::ifstream in(SimPath(name), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void Write(const std::string& name, const std::string& text) { std::ofstream(SimPath(name)) << text; }
  // The EVENT and DETAILS of each timeline line, checking the time stamp's form.
  std::vector<std::string> Events() {
    std::vector<std::string> events;
    std::istringstream in(Read("events.log"));
    std::string line;
    while (std::getline(in, line)) {
      EXPECT_EQ(line.size() > 24 ? line[4] : ' ', '-') << line;
      EXPECT_EQ(line.size() > 24 ? line[23] : ' ', '\t') << line;
      events.push_back(line.substr(24));
    }
    return events;
  }
  std::string Pid() { return std::to_string(CurrentProcessId()); }
};

TEST_F(SimStateTest, PowerRequestsAreHeldByTheirProcessAndOnTheTimeline) {
  PowerRequest request = CreatePowerRequest(u"keep awake");
  ASSERT_TRUE(request.IsValid());
  EXPECT_EQ(Read("power-requests.tsv"), "");
  ASSERT_TRUE(SetPowerRequest(request, PowerRequestType::ExecutionRequired));
  EXPECT_EQ(Read("power-requests.tsv"), Pid() + "\t" + std::to_string(request.native()) + "\t3\tkeep awake\n");
  EXPECT_FALSE(ClearPowerRequest(request, PowerRequestType::SystemRequired));
  EXPECT_EQ(LastError(), kErrorInvalidParameter);
  ASSERT_TRUE(ClearPowerRequest(request, PowerRequestType::ExecutionRequired));
  EXPECT_EQ(Read("power-requests.tsv"), "");
  // Closing a request that still holds something ends it.
  ASSERT_TRUE(SetPowerRequest(request, PowerRequestType::SystemRequired));
  request.Close();
  EXPECT_EQ(Read("power-requests.tsv"), "");
  std::string by = ", process " + Pid() + ": keep awake";
  EXPECT_EQ(Events(), (std::vector<std::string>{"power-request-set\tPowerRequestExecutionRequired (3)" + by,
                                                "power-request-clear\tPowerRequestExecutionRequired (3)" + by,
                                                "power-request-set\tPowerRequestSystemRequired (1)" + by,
                                                "power-request-clear\tPowerRequestSystemRequired (1)" + by}));
  // The requests of a process that has ended are gone, as the system drops them.
  Write("power-requests.tsv", "999999999\t1\t1\tgone\n");
  PowerRequest other = CreatePowerRequest(u"x");
  ASSERT_TRUE(SetPowerRequest(other, PowerRequestType::SystemRequired));
  EXPECT_EQ(Read("power-requests.tsv").find("gone"), std::string::npos);
}

TEST_F(SimStateTest, CapabilitiesSchemeValuesAndVersionComeFromTheDevicesFiles) {
  PowerCapabilities capabilities;
  ASSERT_TRUE(QueryPowerCapabilities(&capabilities));
  EXPECT_FALSE(capabilities.aoAc);
  Write("connected-standby", "on\n");
  ASSERT_TRUE(QueryPowerCapabilities(&capabilities));
  EXPECT_TRUE(capabilities.aoAc);

  const Guid subgroup = {0x2E601130, 0x5351, 0x4D9D, {0x8E, 0x04, 0x25, 0x29, 0x66, 0xBA, 0xD0, 0x54}};
  const Guid setting = {0x3166BC41, 0x7E98, 0x4E03, {0xB3, 0x4E, 0xEC, 0x0F, 0x5F, 0x2B, 0x21, 0x8E}};
  PowerScheme scheme = GetActivePowerScheme();
  ASSERT_TRUE(scheme.IsValid());
  Dword value = 5;
  EXPECT_FALSE(ReadAcValueIndex(scheme, subgroup, setting, &value));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(value, 5u);
  ASSERT_TRUE(WriteAcValueIndex(scheme, subgroup, setting, 0xFFFFFFFF));
  ASSERT_TRUE(WriteDcValueIndex(scheme, subgroup, setting, 300));
  ASSERT_TRUE(WriteAcValueIndex(scheme, subgroup, setting, 60));
  EXPECT_TRUE(ReadAcValueIndex(scheme, subgroup, setting, &value));
  EXPECT_EQ(value, 60u);
  EXPECT_TRUE(ReadDcValueIndex(scheme, subgroup, setting, &value));
  EXPECT_EQ(value, 300u);
  EXPECT_TRUE(SetActivePowerScheme(scheme));
  std::vector<std::string> events = Events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0], "power-scheme-write\tAC value of {3166BC41-7E98-4E03-B34E-EC0F5F2B218E} in subgroup "
                       "{2E601130-5351-4D9D-8E04-252966BAD054} = 0xFFFFFFFF");
  EXPECT_EQ(events[3], "power-scheme-activate\t{381B4222-F694-41F0-9685-FF5BB260DF2E}");

  OsVersionInfo info;
  ASSERT_TRUE(QueryOsVersion(&info));
  EXPECT_EQ(info.majorVersion, 10u);
  Write("os-version", "5.2\n");
  ASSERT_TRUE(QueryOsVersion(&info));
  EXPECT_EQ(info.majorVersion, 5u);
  EXPECT_EQ(info.minorVersion, 2u);
}

TEST_F(SimStateTest, PolicyValuesAreKeptPerKeyAndWritesAreOnTheTimeline) {
  PolicyKey key = OpenUserPolicyKey("Software\\Policies\\Microsoft\\Windows\\System");
  ASSERT_TRUE(WritePolicyValue(key, "DisableCMD", 1));
  ASSERT_TRUE(WritePolicyValue(key, "DisableCMD", 2));
  PolicyKey other = OpenUserPolicyKey("Software\\Other");
  Dword value = 0;
  EXPECT_FALSE(ReadPolicyValue(other, "DisableCMD", &value));
  EXPECT_EQ(Read("policy.tsv"), "HKCU\\Software\\Policies\\Microsoft\\Windows\\System\tDisableCMD\t2\n");
  EXPECT_EQ(Events().back(), "policy-write\tHKCU\\Software\\Policies\\Microsoft\\Windows\\System\\DisableCMD = 2 (REG_DWORD)");
}

TEST_F(SimStateTest, AShutdownRequestIsRecordedNeverCarriedOutAndNeedsThePrivilege) {
  EXPECT_FALSE(EndSession(kEwxReboot | kEwxForce, kShutdownReasonPlanned));
  EXPECT_EQ(LastError(), kErrorPrivilegeNotHeld);
  AccessToken token = OpenOwnProcessToken(kTokenAdjustPrivileges | kTokenQuery);
  Luid luid;
  ASSERT_TRUE(LookupPrivilege("SeShutdownPrivilege", &luid));
  PrivilegeState previous;
  ASSERT_TRUE(EnablePrivilege(token, luid, &previous));
  ASSERT_TRUE(EndSession(kEwxReboot | kEwxForce, kShutdownReasonPlanned));
  std::string request = "restart, flags 0x00000006 (EWX_REBOOT|EWX_FORCE), reason 0x80000000 (planned), process " + Pid();
  EXPECT_EQ(Read("shutdown-request"), request + "\n");
  ASSERT_TRUE(SetSystemPowerState(true, false));
  EXPECT_EQ(Read("shutdown-request"), "suspend, force false, process " + Pid() + "\n");
  EXPECT_EQ(Events(), (std::vector<std::string>{"shutdown-request\t" + request,
                                                "shutdown-request\tsuspend, force false, process " + Pid()}));
  ASSERT_TRUE(RestorePrivileges(token, previous));
  EXPECT_FALSE(EndSession(kEwxPowerOff, 0));
}

}  // namespace
