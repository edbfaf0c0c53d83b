// The update tool on a device whose disk runs full: a file that does not fit
// fails at its mapping with an error line, stage 3 tries it again by its retry
// rule and goes on, and the run ends normally. A changed file keeps its old
// bytes, a new one is not left behind empty. The destination is a small tmpfs of its own.
#include <algorithm>
#include <random>

#include "tests/e2e/e2e_fixture.h"
#include "tests/support/posix/size_limited_folder.h"

namespace {

class FullDiskRunTest : public e2e::E2eTest {};

TEST_F(FullDiskRunTest, AFileThatDoesNotFitKeepsItsOldBytesAndARerunWithRoomConverges) {
  std::mt19937 random(5);
  auto randomBytes = [&](std::size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
  };
  std::string grown = randomBytes(600u << 10);
  std::string added = randomBytes(400u << 10);
  MakeTree("New", {{"data\\a-first.txt", "first"}, {"data\\b-grown.bin", grown}, {"data\\c-added.bin", added},
                   {"data\\d-last.txt", "last"}});
  Zampack("build", "SOFTWARE", "Orvanta", {"New"}, "software.zam");
  WriteDescriptor("false", {"software.zam"});

  // The data folder only: the device application lives beside it.
  MakeParents(Software() + "data\\x");
  testsupport::SizeLimitedFolder disk(testsupport::HostPathOf(Software() + "data"), "2m");
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  std::string old(300u << 10, 'o');
  ASSERT_TRUE(testsupport::WriteBytes(Software() + "data\\b-grown.bin", old));
  ASSERT_TRUE(testsupport::WriteBytes(Software() + "data\\filler", std::string(1600u << 10, 'f')));
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  EXPECT_EQ(testsupport::ReadBytes(Software() + "data\\a-first.txt"), "first");
  EXPECT_EQ(testsupport::ReadBytes(Software() + "data\\d-last.txt"), "last");
  EXPECT_TRUE(testsupport::ReadBytes(Software() + "data\\b-grown.bin") == old) << "the old content is kept";
  EXPECT_EQ(platform::FileAttributes(Software() + "data\\c-added.bin"), platform::kInvalidAttributes)
      << "a new file that was never written is not left behind empty";
  // Every one of the 30 attempts says why the file could not be written.
  std::vector<std::string> lines = LogLines();
  for (const char* name : {"b-grown.bin", "c-added.bin"}) {
    std::string mapError = "ERROR: bCopyFile() cannot map \"" + Software() + "data\\" + name + "\" for writing (error 112).";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), mapError), 30) << Log();
  }
  EXPECT_TRUE(LogHas("End updater execution.")) << Log();
  EXPECT_TRUE(Pending().empty());

  ASSERT_TRUE(platform::RemoveFile(Software() + "data\\filler"));
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  EXPECT_TRUE(testsupport::ReadBytes(Software() + "data\\b-grown.bin") == grown);
  EXPECT_TRUE(testsupport::ReadBytes(Software() + "data\\c-added.bin") == added);
}

}  // namespace
