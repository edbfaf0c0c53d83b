// Removing a folder tree on the simulated device that holds host symbolic
// links: the links go, what they lead to outside the device stays as it was.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "package/folder_stages.h"
#include "platform/file.h"
#include "tests/support/scratch.h"

namespace fs = std::filesystem;

namespace {

class FolderLinkTest : public testsupport::ScratchTest {};

std::map<std::string, std::string> Contents(const std::string& folder) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::stringstream text;
    if (entry.is_regular_file()) text << std::ifstream(entry.path()).rdbuf();
    tree[entry.path().string()] = text.str();
  }
  return tree;
}

TEST_F(FolderLinkTest, DeletingATreeRemovesItsLinksAndNothingTheyLeadTo) {
  char pattern[] = "/tmp/orvanta-sentinel-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string sentinel = pattern;
  fs::create_directories(sentinel + "/inner");
  std::ofstream(sentinel + "/keep.txt") << "sentinel";
  std::ofstream(sentinel + "/inner/deep.txt") << "deep";
  std::map<std::string, std::string> before = Contents(sentinel);

  ASSERT_TRUE(platform::MakeFolder(PathOf("Old")));
  ASSERT_TRUE(platform::MakeFolder(PathOf("Old\\sub")));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Old\\sub\\file.txt"), "mine"));
  std::string old = testsupport::HostPathOf(PathOf("Old"));
  fs::create_directory_symlink(sentinel, old + "/out");
  fs::create_symlink(sentinel + "/keep.txt", old + "/sub/outfile");

  package::DeleteFolderTree(PathOf("Old"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(old)));
  EXPECT_EQ(Contents(sentinel), before);
  fs::remove_all(sentinel);
}

}  // namespace
