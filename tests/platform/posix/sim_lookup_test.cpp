// The simulator's case-insensitive lookups against folders that other
// processes change between two operations of the tool, its share-mode bytes
// under racing opens, and attribute writes that would change nothing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "platform/posix/share_lock.h"
#include "platform/posix/sim_device.h"
#include "tests/support/scratch.h"

using namespace platform;

namespace {

class SimLookupTest : public testsupport::ScratchTest {
 protected:
  std::string Host(const std::string& relative) const {
    return std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/C/scratch/" + relative;
  }
  // A shell command in the scratch folder: another process than the tool.
  void Elsewhere(const std::string& command) const {
    ASSERT_EQ(std::system(("cd " + testsupport::Quote(Host("")) + " && " + command).c_str()), 0) << command;
  }
  std::vector<std::string> HostNames(const std::string& relative) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Host(relative))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(SimLookupTest, NamesThatAnotherProcessChangesAreFoundAtTheNextOperation) {
  ASSERT_TRUE(MakeFolder(PathOf("d")));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("d\\first.txt"), "first"));
  EXPECT_EQ(FileAttributes(PathOf("d\\readme.txt")), kInvalidAttributes);
  EXPECT_EQ(LastError(), kErrorFileNotFound);

  // Made in another case between two lookups of the tool.
  Elsewhere("printf other > d/README.TXT");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("d\\readme.txt")), "other");
  Elsewhere("rm d/README.TXT && printf third > d/ReadMe.txt");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("d\\README.txt")), "third");
  // The tool writes into the name as stored, and makes no second one.
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("d\\readme.TXT"), "tool"));
  EXPECT_EQ(HostNames("d"), (std::vector<std::string>{"ReadMe.txt", "first.txt"}));

  // A folder moved away, and another made in its place in another case.
  ASSERT_TRUE(MakeFolder(PathOf("d\\sub")));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("d\\sub\\a.txt"), "old"));
  EXPECT_EQ(testsupport::ReadBytes(PathOf("D\\SUB\\A.txt")), "old");
  Elsewhere("mv d/sub d/gone && mkdir d/SUB && printf new > d/SUB/A.TXT");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("d\\sub\\a.txt")), "new");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("d\\gone\\a.txt")), "old");

  // Removed by another process: missing again, and a missing folder is a path error.
  Elsewhere("rm -r d/SUB");
  EXPECT_EQ(FileAttributes(PathOf("d\\sub\\a.txt")), kInvalidAttributes);
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  EXPECT_FALSE(RemoveFile(PathOf("d\\Sub")));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

// The same path asked for again: the answer given before holds only while
// nobody changed a name on its way.
TEST_F(SimLookupTest, ThePathAskedForAgainSeesWhatAnotherProcessChangedOnItsWay) {
  ASSERT_TRUE(MakeFolder(PathOf("way")));
  EXPECT_EQ(FileAttributes(PathOf("way\\late.txt")), kInvalidAttributes);
  Elsewhere("printf late > way/late.txt");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("way\\late.txt")), "late");
  Elsewhere("rm way/late.txt && printf again > way/LATE.txt");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("way\\late.txt")), "again");

  ASSERT_TRUE(MakeFolder(PathOf("way\\sub")));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("way\\sub\\a.txt"), "old"));
  EXPECT_EQ(testsupport::ReadBytes(PathOf("way\\SUB\\a.txt")), "old");
  // A folder on the way made in exactly the case asked for is found first.
  Elsewhere("mkdir way/SUB && printf new > way/SUB/a.txt");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("way\\SUB\\a.txt")), "new");
}

TEST_F(SimLookupTest, ManyNewNamesInOneFolderStayDistinctAndFindable) {
  ASSERT_TRUE(MakeFolder(PathOf("many")));
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(testsupport::WriteBytes(PathOf("many\\Name" + std::to_string(i) + ".dat"), std::to_string(i)));
  }
  Elsewhere("printf outside > many/NAME7.DAT.NEW");
  for (int i = 0; i < 300; i += 37) {
    EXPECT_EQ(testsupport::ReadBytes(PathOf("many\\name" + std::to_string(i) + ".DAT")), std::to_string(i));
  }
  EXPECT_EQ(testsupport::ReadBytes(PathOf("many\\name7.dat.new")), "outside");
  EXPECT_EQ(HostNames("many").size(), 301u);
}

// Opens that race for the same file without sharing: never two at once, and
// the file does not stay refused to all of them.
TEST_F(SimLookupTest, RacingExclusiveOpensHoldTheFileOneAtATime) {
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("race.bin"), "x"));
  std::string host = Host("race.bin");
  std::atomic<int> holders{0};
  std::atomic<int> most{0};
  std::atomic<int> opened{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        int fd = ::open(host.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) continue;
        Dword access = (i % 2) ? kGenericWrite : (kGenericRead | kGenericWrite);
        if (sim::AcquireShare(fd, access, kShareNone)) {
          int now = ++holders;
          int seen = most.load();
          while (now > seen && !most.compare_exchange_weak(seen, now)) {
          }
          ++opened;
          std::this_thread::yield();
          --holders;
        }
        ::close(fd);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(most.load(), 1);
  EXPECT_GT(opened.load(), 0);
}

TEST_F(SimLookupTest, AttributeWritesThatChangeNothingLeaveTheFileAlone) {
  std::string path = PathOf("attr.txt");
  ASSERT_TRUE(testsupport::WriteBytes(path, "content"));
  EXPECT_EQ(FileAttributes(path), kAttributeArchive);
  auto changed = [&] {
    struct stat st;
    EXPECT_EQ(stat(Host("attr.txt").c_str(), &st), 0);
    return st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
  };
  auto settle = [] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); };
  long long before = changed();
  settle();
  ASSERT_TRUE(SetAttributes(path, kAttributeArchive));
  EXPECT_EQ(changed(), before);
  ASSERT_TRUE(SetAttributes(path, kAttributeNormal));
  EXPECT_EQ(FileAttributes(path), kAttributeNormal);
  long long normal = changed();
  EXPECT_NE(normal, before);
  settle();
  ASSERT_TRUE(SetAttributes(path, kAttributeNormal));
  EXPECT_EQ(changed(), normal);
  ASSERT_TRUE(SetAttributes(path, kAttributeReadOnly | kAttributeHidden));
  EXPECT_EQ(FileAttributes(path), kAttributeReadOnly | kAttributeHidden);
  struct stat st;
  ASSERT_EQ(stat(Host("attr.txt").c_str(), &st), 0);
  EXPECT_FALSE(st.st_mode & S_IWUSR);
  ASSERT_TRUE(SetAttributes(path, kAttributeNormal));
  EXPECT_TRUE(testsupport::WriteBytes(path, "again"));
}

}  // namespace
