// The run log: where it lives, its line layout, and its 10 MiB rule.
#include <regex>

#include "app/run_log.h"
#include "app/test_support.h"
#include "platform/fault.h"
#include "platform/file.h"
#include "tests/support/scratch.h"

using app::LogMessage;
using app::LogWrite;
using testsupport::ReadBytes;

namespace {

constexpr std::size_t kLimit = 10485760;

class RunLogTest : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    app::ResetRunState();
    ASSERT_TRUE(platform::MakeFolder(PathOf("Update")));
    testsupport::ChangeDirectory(PathOf("Update"));
  }
  void TearDown() override {
    platform::ClearFaults();
    ScratchTest::TearDown();
  }
  std::string Log() { return ReadBytes(PathOf("update_log.txt")); }
};

TEST_F(RunLogTest, LinesCarryTheLocalTimePrefixAndTheirOwnLineEnds) {
  LogWrite("\r\n");
  EXPECT_GT(LogMessage("Update tool version: %s\r\n", "1.10 2025-05-01"), 0);
  LogMessage("Package %d of %d: %s\r\n", 2, 3, "C:\\x.zam");
  LogMessage("no line end");
  std::regex layout(
      "\r\n"
      "\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} Update tool version: 1\\.10 2025-05-01\r\n"
      "\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} Package 2 of 3: C:\\\\x\\.zam\r\n"
      "\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} no line end");
  EXPECT_TRUE(std::regex_match(Log(), layout)) << Log();
}

TEST_F(RunLogTest, AnEmptyMessageWritesNothingAtAll) {
  EXPECT_EQ(LogMessage("%s", ""), -1);
  EXPECT_FALSE(testsupport::Exists(PathOf("update_log.txt")));
  LogMessage("a\r\n");
  std::string before = Log();
  EXPECT_EQ(LogMessage("%s", ""), -1);
  EXPECT_EQ(Log(), before);
}

TEST_F(RunLogTest, ThePathIsFixedByTheFirstWrite) {
  LogMessage("first\r\n");
  testsupport::ChangeDirectory(PathOf("Update"));
  ASSERT_TRUE(platform::MakeFolder(PathOf("Update\\Deeper")));
  testsupport::ChangeDirectory(PathOf("Update\\Deeper"));
  LogMessage("second\r\n");
  EXPECT_NE(Log().find("second"), std::string::npos);
  EXPECT_FALSE(testsupport::Exists(PathOf("Update\\update_log.txt")));
}

TEST_F(RunLogTest, ALogPastTenMegabytesIsEmptiedAtTheFirstWriteOfARun) {
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("update_log.txt"), std::string(kLimit + 1, 'x')));
  LogWrite("\r\n");
  EXPECT_EQ(Log(), "\r\n");

  app::ResetRunState();
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("update_log.txt"), std::string(kLimit, 'x')));
  LogWrite("\r\n");
  std::string log = Log();
  EXPECT_EQ(log.size(), kLimit + 2);
  // Later writes of the same run let it grow past the limit.
  LogWrite("more\r\n");
  EXPECT_EQ(Log().size(), kLimit + 8);
}

TEST_F(RunLogTest, ALogThatCannotBeOpenedIsDroppedSilently) {
  platform::ArmFault(platform::FaultOp::OpenFile, -1, platform::kErrorAccessDenied);
  LogWrite("\r\n");
  EXPECT_GT(LogMessage("dropped\r\n"), 0);
  platform::ClearFaults();
  EXPECT_FALSE(testsupport::Exists(PathOf("update_log.txt")));
}

TEST_F(RunLogTest, TheFirstOpenIsTriedTwiceAndLaterOnesOnce) {
  platform::ArmFault(platform::FaultOp::OpenFile, 1, platform::kErrorSharingViolation);
  LogMessage("kept\r\n");
  platform::ArmFault(platform::FaultOp::OpenFile, 1, platform::kErrorSharingViolation);
  LogMessage("lost\r\n");
  LogMessage("after\r\n");
  std::string log = Log();
  EXPECT_NE(log.find("kept"), std::string::npos);
  EXPECT_EQ(log.find("lost"), std::string::npos);
  EXPECT_NE(log.find("after"), std::string::npos);
}

TEST_F(RunLogTest, OtherProgramsMayReadAndAppendBetweenLines) {
  LogMessage("one\r\n");
  std::string path = PathOf("update_log.txt");
  testsupport::HelperProcess reader(testsupport::HoldfilePath(), testsupport::Quote(path) + " readwrite read+write");
  ASSERT_EQ(reader.FirstLine(), "opened");
  LogMessage("two\r\n");
  EXPECT_NE(Log().find("two"), std::string::npos);
}

}  // namespace
