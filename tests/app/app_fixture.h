#pragma once
// Tests of the updater's operations: a fresh run-wide state, the tool's
// folder as the working directory, and the run log's lines.
#include <string>
#include <vector>

#include "app/test_support.h"
#include "platform/fault.h"
#include "platform/file.h"
#include "tests/support/scratch.h"

namespace apptest {

class AppTest : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    testsupport::SetEnvironment("ORVANTA_SIM_TIME_SCALE", "0");
    app::ResetRunState();
    ASSERT_TRUE(platform::MakeFolder(PathOf("Update")));
    testsupport::ChangeDirectory(PathOf("Update"));
  }
  void TearDown() override {
    platform::ClearFaults();
    app::ResetRunState();
    ScratchTest::TearDown();
  }

  // The log's lines without their time prefixes.
  std::vector<std::string> LogLines() {
    std::string log = testsupport::ReadBytes(PathOf("update_log.txt"));
    return log == "<missing>" ? std::vector<std::string>() : testsupport::LogEntries(log);
  }
};

}  // namespace apptest
