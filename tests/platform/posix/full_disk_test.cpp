// A full disk on the simulated device: a mapping that sets a file's length
// allocates its blocks, so it fails with ERROR_DISK_FULL where the device's
// fails, instead of a crash on the first write through the view; a log text
// that does not fit leaves no part of itself.
#include <cstring>

#include "platform/file.h"
#include "platform/log_file.h"
#include "platform/mapping.h"
#include "platform/posix/sim_device.h"
#include "tests/support/posix/size_limited_folder.h"
#include "tests/support/scratch.h"

using namespace platform;

namespace {

class FullDiskTest : public testsupport::ScratchTest {};

TEST_F(FullDiskTest, AMappingLargerThanTheFreeSpaceFailsAndLeavesTheFileAsItWas) {
  ASSERT_TRUE(MakeFolder(PathOf("small")));
  testsupport::SizeLimitedFolder disk(testsupport::HostPathOf(PathOf("small")), "1m");
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();

  File file = OpenFile(PathOf("small\\big.bin"), kGenericRead | kGenericWrite, kShareNone, Disposition::CreateAlways,
                       kAttributeNormal);
  ASSERT_TRUE(file.IsValid());
  Mapping tooLarge = CreateMapping(file, kPageReadWrite, 4u << 20);
  EXPECT_FALSE(tooLarge.IsValid());
  EXPECT_EQ(LastError(), kErrorDiskFull);
  std::uint64_t size = 1;
  ASSERT_TRUE(FileSize(file, &size));
  EXPECT_EQ(size, 0u);

  // What fits is allocated whole: every byte of the view can be written.
  Mapping fits = CreateMapping(file, kPageReadWrite, 512u << 10);
  ASSERT_TRUE(fits.IsValid());
  View view = MapView(fits, kFileMapWrite, 0, 0);
  ASSERT_TRUE(view.IsMapped());
  std::memset(view.base(), 0x5A, view.length());
  view.Unmap();
  fits.Close();
  file.Close();
  EXPECT_EQ(testsupport::ReadBytes(PathOf("small\\big.bin")), std::string(512u << 10, 0x5A));
}

TEST_F(FullDiskTest, ALogTextThatDoesNotFitLeavesNoPartOfItself) {
  ASSERT_TRUE(MakeFolder(PathOf("small")));
  testsupport::SizeLimitedFolder disk(testsupport::HostPathOf(PathOf("small")), "64k");
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  std::string log = PathOf("small\\log.txt");
  std::string first(4000, 'a');
  first += "\r\n";
  AppendToLog(log, first.c_str(), true);
  // The rest of the disk taken, so that the next text fits only in part (in the log's last block).
  testsupport::WriteBytes(PathOf("small\\filler"), std::string(64u << 10, 'f'));
  std::string torn = std::string(500, 'b') + "\r\n";
  AppendToLog(log, torn.c_str(), false);
  EXPECT_EQ(testsupport::ReadBytes(log), first);
  ASSERT_TRUE(RemoveFile(PathOf("small\\filler")));
  AppendToLog(log, "next\r\n", false);
  EXPECT_EQ(testsupport::ReadBytes(log), first + "next\r\n");
}

}  // namespace
