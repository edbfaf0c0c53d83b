// The device service's log: where it lives, its line layout, its 10 MiB rule
// at a process's first write, and several programs appending to it at once.
#include <map>
#include <regex>
#include <sstream>

#include "devicelib/service_log.h"
#include "devicelib/test_support.h"
#include "platform/clock.h"
#include "platform/fault.h"
#include "platform/file.h"
#include "tests/support/scratch.h"

using devicelib::ServiceLog;
using devicelib::ServiceLogNoTime;
using devicelib::WriteServiceLog;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

constexpr std::size_t kLimit = 10485760;

class ServiceLogTest : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    devicelib::ResetServiceLogState();
    testsupport::SetEnvironment("ProgramData", Dir());
    ASSERT_TRUE(platform::MakeFolder(PathOf("Colmarte Company")));
  }
  void TearDown() override {
    platform::ClearFaults();
    devicelib::ResetServiceLogState();
    ScratchTest::TearDown();
  }
  std::string LogPath() { return PathOf("Colmarte Company\\ZAMServicelog.txt"); }
  std::string Log() { return ReadBytes(LogPath()); }
};

TEST_F(ServiceLogTest, LinesCarryADateAndTimeWithoutMilliseconds) {
  platform::LocalTime before = platform::CurrentLocalTime();
  EXPECT_GT(ServiceLog("Service started: %s %d\r\n", "ZAMService", 3), 0);
  EXPECT_EQ(ServiceLogNoTime("  detail %02X\r\n", 10), 13);
  WriteServiceLog("raw");
  std::smatch match;
  std::string log = Log();
  ASSERT_TRUE(std::regex_match(log, match,
                               std::regex("(\\d+)-(\\d{2})-(\\d{2}) \\d{2}:\\d{2}:\\d{2} Service started: ZAMService 3\r\n"
                                          "  detail 0A\r\nraw")))
      << log;
  EXPECT_EQ(std::stoi(match[1]), before.year);
}

TEST_F(ServiceLogTest, AnEmptyMessageWritesNothingAtAll) {
  EXPECT_EQ(ServiceLog("%s", ""), -1);
  EXPECT_EQ(ServiceLogNoTime("%s", ""), -1);
  EXPECT_FALSE(testsupport::Exists(LogPath()));
  ServiceLog("a\r\n");
  std::string before = Log();
  EXPECT_EQ(ServiceLog("%s", ""), -1);
  EXPECT_EQ(Log(), before);
}

TEST_F(ServiceLogTest, ALogPastTenMegabytesIsEmptiedAtTheFirstWriteOfAProcess) {
  ASSERT_TRUE(WriteBytes(LogPath(), std::string(kLimit + 1, 'x')));
  WriteServiceLog("new\r\n");
  EXPECT_EQ(Log(), "new\r\n");

  devicelib::ResetServiceLogState();
  ASSERT_TRUE(WriteBytes(LogPath(), std::string(kLimit, 'x')));
  WriteServiceLog("kept\r\n");
  EXPECT_EQ(Log().size(), kLimit + 6);
  // Past the limit now, but only a later process cuts it.
  WriteServiceLog("more\r\n");
  EXPECT_EQ(Log().size(), kLimit + 12);
  devicelib::ResetServiceLogState();
  WriteServiceLog("later\r\n");
  EXPECT_EQ(Log(), "later\r\n");
}

TEST_F(ServiceLogTest, ASizeThatCannotBeReadLeavesTheLogWhole) {
  ASSERT_TRUE(WriteBytes(LogPath(), std::string(kLimit + 1, 'x')));
  platform::ArmFault(platform::FaultOp::FileSize, 1, platform::kErrorAccessDenied);
  WriteServiceLog("kept\r\n");
  EXPECT_EQ(Log().size(), kLimit + 7);
}

TEST_F(ServiceLogTest, ThePathComesFromProgramDataAtTheFirstWrite) {
  // A name too long for the path buffer writes nothing, and the next text tries again.
  testsupport::SetEnvironment("ProgramData", Dir() + "\\" + std::string(240, 'p'));
  EXPECT_GT(ServiceLog("lost\r\n"), 0);
  testsupport::SetEnvironment("ProgramData", Dir());
  ServiceLog("first\r\n");
  ASSERT_TRUE(platform::MakeFolder(PathOf("Other")));
  ASSERT_TRUE(platform::MakeFolder(PathOf("Other\\Colmarte Company")));
  testsupport::SetEnvironment("ProgramData", PathOf("Other"));
  ServiceLog("second\r\n");
  std::string log = Log();
  EXPECT_EQ(log.find("lost"), std::string::npos);
  EXPECT_NE(log.find("first"), std::string::npos);
  EXPECT_NE(log.find("second"), std::string::npos) << "the path is fixed for the process";
  EXPECT_FALSE(testsupport::Exists(PathOf("Other\\Colmarte Company\\ZAMServicelog.txt")));
}

TEST_F(ServiceLogTest, ALogThatCannotBeOpenedLosesTheTextSilently) {
  platform::ArmFault(platform::FaultOp::OpenFile, 2, platform::kErrorSharingViolation);
  WriteServiceLog("lost\r\n");
  platform::ArmFault(platform::FaultOp::OpenFile, 1, platform::kErrorSharingViolation);
  WriteServiceLog("lost too\r\n");
  WriteServiceLog("kept\r\n");
  EXPECT_EQ(Log(), "kept\r\n");
  // The folder of the log is the device service's; it is not made here.
  devicelib::ResetServiceLogState();
  testsupport::SetEnvironment("ProgramData", PathOf("Missing"));
  WriteServiceLog("nowhere\r\n");
  EXPECT_FALSE(testsupport::Exists(PathOf("Missing")));
}

TEST_F(ServiceLogTest, TwoProgramsAppendingAtOnceLoseNoLine) {
  constexpr int kLines = 1000;
  testsupport::HelperProcess first(testsupport::ProgramPath("servicelog"), "alpha " + std::to_string(kLines));
  testsupport::HelperProcess second(testsupport::ProgramPath("servicelog"), "beta " + std::to_string(kLines));
  ASSERT_EQ(first.FirstLine(), "ready");
  ASSERT_EQ(second.FirstLine(), "ready");
  ASSERT_TRUE(WriteBytes(PathOf("go"), ""));
  first.Stop();
  second.Stop();

  std::istringstream lines(Log());
  std::regex layout("\\d+-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} (alpha|beta) (\\d+)\r");
  std::map<std::string, int> last;
  std::string line;
  int total = 0;
  while (std::getline(lines, line)) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, layout)) << "line " << total + 1 << ": " << line;
    int n = std::stoi(match[2]);
    EXPECT_EQ(n, last[match[1]] + 1) << "each writer's lines in its own order";
    last[match[1]] = n;
    ++total;
  }
  EXPECT_EQ(total, 2 * kLines);
}

}  // namespace
