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
    std::vector<std::string> lines;
    std::string log = testsupport::ReadBytes(PathOf("update_log.txt"));
    if (log == "<missing>") return lines;
    std::size_t start = 0;
    while (start < log.size()) {
      std::size_t end = log.find("\r\n", start);
      if (end == std::string::npos) end = log.size();
      std::string line = log.substr(start, end - start);
      lines.push_back(line.size() > 24 && line[4] == '-' && line[23] == ' ' ? line.substr(24) : line);
      start = end + 2;
    }
    return lines;
  }
};

}  // namespace apptest
