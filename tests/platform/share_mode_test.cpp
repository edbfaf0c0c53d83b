// Share modes between processes: a file held open by holdfile, and the opens
// and deletes the tool makes, decided as Windows decides them.
#include "platform/file.h"
#include "platform/restart.h"
#include "tests/support/scratch.h"

using namespace platform;

namespace {

class ShareModeTest : public testsupport::ScratchTest {};

struct Holder {
  const char* access;
  const char* share;
  Dword accessBits;
  Dword shareBits;
};

struct ToolOpen {
  const char* what;
  Dword access;
  Dword share;
};

constexpr Holder kHolders[] = {
    {"read", "none", kGenericRead, kShareNone},
    {"read", "read", kGenericRead, kShareRead},
    {"read", "read+write", kGenericRead, kShareRead | kShareWrite},
    {"read", "read+write+delete", kGenericRead, kShareRead | kShareWrite | kShareDelete},
    {"write", "read", kGenericWrite, kShareRead},
    {"readwrite", "read+write", kGenericRead | kGenericWrite, kShareRead | kShareWrite},
    {"readwrite", "read+delete", kGenericRead | kGenericWrite, kShareRead | kShareDelete},
};

constexpr ToolOpen kToolOpens[] = {
    {"exclusive write", kGenericWrite, kShareNone},
    {"shared read", kGenericRead, kShareRead},
    {"log write", kGenericWrite, kShareRead | kShareWrite},
};

// Windows: an open succeeds when each side's access is within the other's share.
bool Compatible(Dword heldAccess, Dword heldShare, Dword access, Dword share) {
  auto asShare = [](Dword a) { return ((a & kGenericRead) ? kShareRead : 0) | ((a & kGenericWrite) ? kShareWrite : 0); };
  return (asShare(access) & ~heldShare) == 0 && (asShare(heldAccess) & ~share) == 0;
}

TEST_F(ShareModeTest, OpensAndDeletesAgainstAFileHeldByAnotherProcess) {
  std::string path = PathOf("held.bin");
  for (const Holder& holder : kHolders) {
    SCOPED_TRACE(std::string("holder ") + holder.access + " sharing " + holder.share);
    ASSERT_TRUE(testsupport::WriteBytes(path, "content"));
    testsupport::HelperProcess holdfile(testsupport::HoldfilePath(),
                                        testsupport::Quote(path) + " " + holder.access + " " + holder.share);
    ASSERT_EQ(holdfile.FirstLine(), "opened");
    for (const ToolOpen& open : kToolOpens) {
      SCOPED_TRACE(open.what);
      File file = OpenFile(path, open.access, open.share, Disposition::OpenExisting, kAttributeNormal);
      bool expected = Compatible(holder.accessBits, holder.shareBits, open.access, open.share);
      EXPECT_EQ(file.IsValid(), expected);
      if (!expected) {
        EXPECT_EQ(LastError(), kErrorSharingViolation);
      }
    }
    bool deletable = (holder.shareBits & kShareDelete) != 0;
    EXPECT_EQ(RemoveFile(path), deletable);
    if (!deletable) {
      EXPECT_EQ(LastError(), kErrorSharingViolation);
      // Nor can it be replaced, and the file that was to replace it stays.
      ASSERT_TRUE(testsupport::WriteBytes(PathOf("other.bin"), "other"));
      EXPECT_FALSE(ReplaceNow(PathOf("other.bin"), path));
      EXPECT_EQ(LastError(), kErrorAccessDenied);
      EXPECT_EQ(testsupport::ReadBytes(PathOf("other.bin")), "other");
      holdfile.Stop();
      // Free again once the holder has ended.
      File file = OpenFile(path, kGenericWrite, kShareNone, Disposition::OpenExisting, kAttributeNormal);
      EXPECT_TRUE(file.IsValid());
      file.Close();
      EXPECT_TRUE(RemoveFile(path));
    }
  }
}

TEST_F(ShareModeTest, AHolderIsRefusedWhatTheToolDenies) {
  std::string path = PathOf("tool.bin");
  File exclusive = OpenFile(path, kGenericWrite, kShareNone, Disposition::CreateAlways, kAttributeNormal);
  ASSERT_TRUE(exclusive.IsValid());
  {
    testsupport::HelperProcess reader(testsupport::HoldfilePath(), testsupport::Quote(path) + " read read+write");
    EXPECT_EQ(reader.FirstLine(), "failed 32");
  }
  exclusive.Close();
  File shared = OpenFile(path, kGenericRead, kShareRead, Disposition::OpenExisting, kAttributeNormal);
  ASSERT_TRUE(shared.IsValid());
  testsupport::HelperProcess reader(testsupport::HoldfilePath(), testsupport::Quote(path) + " read read");
  EXPECT_EQ(reader.FirstLine(), "opened");
  testsupport::HelperProcess writer(testsupport::HoldfilePath(), testsupport::Quote(path) + " write read");
  EXPECT_EQ(writer.FirstLine(), "failed 32");
}

}  // namespace
