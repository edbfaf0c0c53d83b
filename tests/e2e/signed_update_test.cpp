// Packages and signatures made by Debian's minisign (tests/e2e/data), run by
// the update tool of this backend on a device that holds the maker's key.
// The key file is the system's own: under Wine these tests have a prefix to
// themselves, as every program of a prefix would find the key.
#include <fstream>
#include <iterator>

#include "platform/environment.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

class SignedUpdateTest : public e2e::E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    MakeParents(keys_);
    ASSERT_TRUE(testsupport::WriteBytes(keys_, Data("maker.pub")));
  }
  void TearDown() override {
    platform::RemoveFile(keys_);
    E2eTest::TearDown();
  }

  static std::string Data(const std::string& name) {
    std::ifstream in(std::string(ORVANTA_E2E_DATA) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  const std::string keys_ = platform::ExpandEnvironment("%SYSTEMROOT%\\OEM\\ZAMHelper\\UpdateKeys.pub");
};

TEST_F(SignedUpdateTest, PrehashedAndLegacySignaturesOfMinisignAreAccepted) {
  for (const char* file : {"prehashed.zam", "prehashed.zam.minisig", "legacy.zam", "legacy.zam.minisig"}) {
    ASSERT_TRUE(testsupport::WriteBytes(PathOf(std::string("Update\\") + file), Data(file)));
  }
  WriteDescriptor("false", {"prehashed.zam", "legacy.zam"});
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  EXPECT_TRUE(LogHas("Signature verified for \"prehashed.zam\": key C2E7EF210FF990ED, trusted comment: "
                     "Orvanta 2.1 signed with minisign"))
      << Log();
  EXPECT_TRUE(LogHas("Signature verified for \"legacy.zam\": key C2E7EF210FF990ED, trusted comment: "
                     "timestamp:1796852547 file:legacy.zam"))
      << Log();
  EXPECT_EQ(testsupport::ReadBytes(Software() + "prehashed.txt"), "signed by the maker, prehashed");
  EXPECT_EQ(testsupport::ReadBytes(Software() + "legacy.txt"), "signed by the maker, legacy");
  EXPECT_EQ(Log().find("ERROR"), std::string::npos) << Log();
}

}  // namespace
