// Policy values, power, the OS version and privileges, on both backends.
// Wine implements the registry and the version call; it stubs the power
// requests and the power scheme, and the tests named so expect its failures.
#include <random>

#include "platform/os_version.h"
#include "platform/policy.h"
#include "platform/power.h"
#include "platform/shutdown.h"
#include "tests/support/scratch.h"

using namespace platform;

namespace {

// The simulator keeps these in the device's sim/ folder: each test gets a fresh device.
using DeviceSystemTest = testsupport::ScratchTest;

TEST_F(DeviceSystemTest, APolicyValueIsAbsentUntilWrittenAndReadsBackAfter) {
  std::random_device random;
  std::string subkey = "Software\\OrvantaTest\\Policy" + std::to_string(random());
  PolicyKey key = OpenUserPolicyKey(subkey);
  ASSERT_TRUE(key.IsValid()) << LastError();
  Dword value = 7;
  EXPECT_FALSE(ReadPolicyValue(key, "DisableCMD", &value));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(value, 7u);
  ASSERT_TRUE(WritePolicyValue(key, "DisableCMD", 2));
  key.Close();
  PolicyKey again = OpenUserPolicyKey(subkey);
  ASSERT_TRUE(again.IsValid());
  EXPECT_TRUE(ReadPolicyValue(again, "DisableCMD", &value));
  EXPECT_EQ(value, 2u);
  EXPECT_TRUE(WritePolicyValue(again, "DisableCMD", 0xFFFFFFFF));
  EXPECT_TRUE(ReadPolicyValue(again, "DisableCMD", &value));
  EXPECT_EQ(value, 0xFFFFFFFFu);
}

TEST_F(DeviceSystemTest, TheVersionCallAnswers) {
  OsVersionInfo info;
  info.size = kOsVersionInfoSize;
  ASSERT_TRUE(QueryOsVersion(&info));
  EXPECT_GE(info.majorVersion, 5u);
  EXPECT_EQ(info.platformId, 2u);
}

TEST_F(DeviceSystemTest, TheShutdownPrivilegeIsEnabledAndRestored) {
  AccessToken token = OpenOwnProcessToken(kTokenAdjustPrivileges | kTokenQuery);
  ASSERT_TRUE(token.IsValid()) << LastError();
  Luid luid;
  ASSERT_TRUE(LookupPrivilege("SeShutdownPrivilege", &luid));
  EXPECT_EQ(luid.lowPart, 19u);
  Luid none;
  EXPECT_FALSE(LookupPrivilege("SeNoSuchPrivilege", &none));
  EXPECT_EQ(LastError(), kErrorNoSuchPrivilege);
  PrivilegeState previous;
  ASSERT_TRUE(EnablePrivilege(token, luid, &previous));
  PrivilegeState during;
  ASSERT_TRUE(EnablePrivilege(token, luid, &during));
  EXPECT_EQ(during.count, 1u);
  EXPECT_EQ(during.attributes & kPrivilegeEnabled, kPrivilegeEnabled);
  EXPECT_TRUE(RestorePrivileges(token, previous));
}

TEST(PowerGuidTest, TextFormsReadBack) {
  Guid guid;
  ASSERT_TRUE(ParseGuid("{2e601130-5351-4d9d-8e04-252966bad054}", &guid));
  EXPECT_EQ(GuidText(guid), "{2E601130-5351-4D9D-8E04-252966BAD054}");
  Guid bare;
  ASSERT_TRUE(ParseGuid("2E601130-5351-4D9D-8E04-252966BAD054", &bare));
  EXPECT_TRUE(bare == guid);
  EXPECT_FALSE(ParseGuid("{2E601130-5351-4D9D-8E04-252966BAD05}", &bare));
  EXPECT_FALSE(ParseGuid("{2E601130-5351-4D9D-8E04-252966BAD05G}", &bare));
}

TEST_F(DeviceSystemTest, ARequestHoldsWhatIsSetUntilCleared_WineStubsPowerRequests) {
  PowerRequest request = CreatePowerRequest(u"orvanta platform test");
  if (testsupport::UnderWine()) {
    EXPECT_FALSE(request.IsValid());
    EXPECT_EQ(LastError(), kErrorCallNotImplemented);
    return;
  }
  ASSERT_TRUE(request.IsValid()) << LastError();
  ASSERT_TRUE(SetPowerRequest(request, PowerRequestType::SystemRequired)) << LastError();
  EXPECT_TRUE(ClearPowerRequest(request, PowerRequestType::SystemRequired));
}

TEST_F(DeviceSystemTest, TheCapabilityQueryAnswers_WineLeavesAoAcUnset) {
  PowerCapabilities capabilities;
  ASSERT_TRUE(QueryPowerCapabilities(&capabilities)) << LastError();
  if (testsupport::UnderWine()) {
    EXPECT_FALSE(capabilities.aoAc);
  }
}

TEST_F(DeviceSystemTest, TheActiveSchemeIsFound_WineStubsTheScheme) {
  PowerScheme scheme = GetActivePowerScheme();
  if (testsupport::UnderWine()) {
    EXPECT_FALSE(scheme.IsValid());
    EXPECT_EQ(LastError(), kErrorCallNotImplemented);
    return;
  }
  EXPECT_TRUE(scheme.IsValid()) << LastError();
}

}  // namespace
