// Host symbolic links on the simulated device are treated as the device
// treats links: removing one removes the link, and nothing is written or
// changed through a link that leads out of the device root. A sentinel
// folder outside the root must come through every operation untouched.
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/file.h"
#include "platform/restart.h"
#include "tests/support/scratch.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

class SimLinkTest : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    char pattern[] = "/tmp/orvanta-sentinel-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    sentinel_ = pattern;
    fs::create_directories(sentinel_ + "/inner");
    std::ofstream(sentinel_ + "/keep.txt") << "sentinel";
    std::ofstream(sentinel_ + "/inner/deep.txt") << "deep";
    before_ = Snapshot();
    ASSERT_TRUE(MakeFolder(PathOf("dev")));
    ASSERT_TRUE(MakeFolder(PathOf("inside")));
    ASSERT_TRUE(testsupport::WriteBytes(PathOf("dev\\a.txt"), "a"));
    fs::create_directory_symlink(sentinel_, Host("dev/out"));
    fs::create_symlink(sentinel_ + "/keep.txt", Host("dev/outfile"));
    fs::create_directory_symlink("../inside", Host("dev/in"));
  }
  void TearDown() override {
    fs::remove_all(sentinel_);
    ScratchTest::TearDown();
  }
  std::string Host(const std::string& relative) const {
    return std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/C/scratch/" + relative;
  }
  // Every entry of the sentinel with its content, mode and stored attributes.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> state;
    for (const auto& entry : fs::recursive_directory_iterator(sentinel_)) {
      struct stat st;
      lstat(entry.path().c_str(), &st);
      char attributes[32] = {};
      getxattr(entry.path().c_str(), "user.orvanta.attributes", attributes, sizeof(attributes) - 1);
      std::stringstream text;
      text << std::oct << st.st_mode << " " << attributes << " ";
      if (entry.is_regular_file()) text << std::ifstream(entry.path()).rdbuf();
      state[entry.path().string()] = text.str();
    }
    return state;
  }
  void ExpectDenied(bool result, const char* what) {
    EXPECT_FALSE(result) << what;
    EXPECT_EQ(LastError(), kErrorAccessDenied) << what;
  }

  std::string sentinel_;
  std::map<std::string, std::string> before_;
};

TEST_F(SimLinkTest, NothingIsWrittenOrChangedThroughALinkOutOfTheDevice) {
  ExpectDenied(RemoveFile(PathOf("dev\\out\\keep.txt")), "remove a file beyond the link");
  ExpectDenied(RemoveFolder(PathOf("dev\\out\\inner")), "remove a folder beyond the link");
  ExpectDenied(SetAttributes(PathOf("dev\\out\\keep.txt"), kAttributeReadOnly), "attributes beyond the link");
  ExpectDenied(SetAttributes(PathOf("dev\\out"), kAttributeHidden), "attributes of the folder link");
  ExpectDenied(SetAttributes(PathOf("dev\\outfile"), kAttributeReadOnly), "attributes of the file link");
  ExpectDenied(OpenFile(PathOf("dev\\out\\keep.txt"), kGenericWrite, kShareNone, Disposition::OpenExisting,
                        kAttributeNormal).IsValid(), "write beyond the link");
  ExpectDenied(OpenFile(PathOf("dev\\OUT\\new.txt"), kGenericWrite, kShareNone, Disposition::CreateAlways,
                        kAttributeNormal).IsValid(), "create beyond the link");
  ExpectDenied(OpenFile(PathOf("dev\\outfile"), kGenericRead | kGenericWrite, kShareNone, Disposition::CreateAlways,
                        kAttributeNormal).IsValid(), "write through the file link");
  ExpectDenied(MakeFolder(PathOf("dev\\out\\made")), "folder beyond the link");
  ExpectDenied(MoveNow(PathOf("dev\\a.txt"), PathOf("dev\\out\\a.txt")), "move beyond the link");
  ExpectDenied(MoveNow(PathOf("dev\\out\\keep.txt"), PathOf("dev\\taken.txt")), "move from beyond the link");

  // Reading is not changing; the link itself shows as a reparse point.
  EXPECT_EQ(testsupport::ReadBytes(PathOf("dev\\out\\keep.txt")), "sentinel");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("dev\\outfile")), "sentinel");
  ExpectDenied(OpenFile(PathOf("dev\\out"), kGenericRead, kShareRead, Disposition::OpenExisting, kAttributeNormal)
                   .IsValid(),
               "open the folder link to read");
  EXPECT_EQ(FileAttributes(PathOf("dev\\out")), kAttributeReparsePoint | kAttributeDirectory);
  EXPECT_EQ(FileAttributes(PathOf("dev\\outfile")), kAttributeReparsePoint | kAttributeArchive);
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(PathOf("dev\\*"), &entries));
  for (const FolderEntry& entry : entries) {
    if (entry.name == "out") {
      EXPECT_EQ(entry.attributes, kAttributeReparsePoint | kAttributeDirectory);
    }
  }

  // A link that stays on the device is a way like any other.
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("dev\\in\\through.txt"), "inside"));
  EXPECT_EQ(testsupport::ReadBytes(PathOf("inside\\through.txt")), "inside");
  EXPECT_EQ(Snapshot(), before_);
}

TEST_F(SimLinkTest, RemovingALinkRemovesTheLinkAlone) {
  ExpectDenied(RemoveFile(PathOf("dev\\out")), "DeleteFile on a folder link");
  EXPECT_EQ(RemoveFolder(PathOf("dev\\outfile")), false);
  EXPECT_EQ(LastError(), kErrorDirectory);
  EXPECT_TRUE(RemoveFolder(PathOf("dev\\out")));
  EXPECT_TRUE(RemoveFile(PathOf("dev\\outfile")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Host("dev/out"))));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Host("dev/outfile"))));
  EXPECT_EQ(Snapshot(), before_);
}

TEST_F(SimLinkTest, TheRestartCarriesOutNothingBeyondALinkOutOfTheDevice) {
  ASSERT_TRUE(DeleteAtRestart(PathOf("dev\\out\\keep.txt")));
  ASSERT_TRUE(MoveAtRestart(PathOf("dev\\a.txt"), PathOf("dev\\out\\moved.txt")));
  ASSERT_TRUE(DeleteAtRestart(PathOf("dev\\out\\inner\\deep.txt")));
  ASSERT_TRUE(DeleteAtRestart(PathOf("dev\\out")));
  std::string output;
  // The operations refused at the link are failures of the restart.
  EXPECT_EQ(testsupport::RunProgram("orvanta-sim", "restart 2>&1", &output), 1) << output;
  EXPECT_NE(output.find("restarted: 4 pending operations carried out, 3 failed"), std::string::npos) << output;
  EXPECT_EQ(Snapshot(), before_);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Host("dev/out")))) << "the link itself is deleted";
  EXPECT_EQ(testsupport::ReadBytes(PathOf("dev\\a.txt")), "a");
}

TEST_F(SimLinkTest, ALinkToNothingIsAMissingFileToARead) {
  fs::create_symlink(Host("dev/gone.txt"), Host("dev/dangling"));
  File file = OpenFile(PathOf("dev\\DANGLING"), kGenericRead, kShareRead, Disposition::OpenExisting, kAttributeNormal);
  EXPECT_FALSE(file.IsValid());
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

}  // namespace
