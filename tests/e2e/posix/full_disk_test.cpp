// The update tool on a device whose disk runs full: a file that does not fit
// fails at its mapping with an error line, stage 3 tries it again by its retry
// rule and goes on, and the run ends normally. The destination is a small tmpfs of its own.
#include <algorithm>
#include <random>

#include "tests/e2e/e2e_fixture.h"
#include "tests/support/posix/size_limited_folder.h"

namespace {

class FullDiskRunTest : public e2e::E2eTest {};

TEST_F(FullDiskRunTest, AFileThatDoesNotFitIsGivenUpAndTheRunGoesOn) {
  std::mt19937 random(5);
  std::string large(3u << 20, '\0');
  for (char& c : large) c = static_cast<char>(random());
  MakeTree("New", {{"data\\a-first.txt", "first"}, {"data\\b-large.bin", large}, {"data\\c-last.txt", "last"}});
  Zampack("build", "SOFTWARE", "Orvanta", {"New"}, "software.zam");
  WriteDescriptor("false", {"software.zam"});

  // The data folder only: the device application lives beside it.
  MakeParents(Software() + "data\\x");
  testsupport::SizeLimitedFolder disk(testsupport::HostPathOf(Software() + "data"), "1m");
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  EXPECT_EQ(testsupport::ReadBytes(Software() + "data\\a-first.txt"), "first");
  EXPECT_EQ(testsupport::ReadBytes(Software() + "data\\c-last.txt"), "last");
  EXPECT_EQ(testsupport::ReadBytes(Software() + "data\\b-large.bin"), "") << "created, never given its length";
  // Every one of the 30 attempts says why the file could not be written.
  std::string mapError = "ERROR: bCopyFile() cannot map \"" + Software() + "data\\b-large.bin\" for writing (error 112).";
  std::vector<std::string> lines = LogLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), mapError), 30) << Log();
  EXPECT_TRUE(LogHas("End updater execution.")) << Log();
  EXPECT_TRUE(Pending().empty());
}

}  // namespace
