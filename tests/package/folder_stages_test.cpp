// Stages 6 and 7 and the file-system operations they share: deletions now
// or at the restart, folder trees, and folders made through Tmp\.
#include "package/folder_stages.h"
#include "platform/restart.h"
#include "tests/package/package_fixture.h"

using namespace package;

namespace {

class FolderStagesTest : public packagetest::PackageTest {
 protected:
  void SetUp() override {
    PackageTest::SetUp();
    platform::ClearPendingOperations();
  }
  void TearDown() override {
    platform::ClearPendingOperations();
    PackageTest::TearDown();
  }
  std::vector<platform::PendingOperation> Pending() {
    std::vector<platform::PendingOperation> operations;
    EXPECT_TRUE(platform::ListPendingOperations(&operations));
    return operations;
  }
  bool IsFolder(const std::string& path) {
    platform::Dword a = platform::FileAttributes(path);
    return a != platform::kInvalidAttributes && (a & platform::kAttributeDirectory);
  }
};

TEST_F(FolderStagesTest, DeleteFileOrDeferDeletesDefersOrGivesUp) {
  EXPECT_EQ(DeleteFileOrDefer(PathOf("missing.txt")), -1);
  EXPECT_FALSE(app::Run().bRebootRequired);

  ASSERT_TRUE(testsupport::WriteBytes(PathOf("ro.txt"), "x"));
  ASSERT_TRUE(platform::SetAttributes(PathOf("ro.txt"), platform::kAttributeReadOnly | platform::kAttributeHidden));
  EXPECT_EQ(DeleteFileOrDefer(PathOf("ro.txt")), 0);
  EXPECT_FALSE(testsupport::Exists(PathOf("ro.txt")));

  // In use, readable or not: deleted at the restart, which needs no open.
  for (const char* share : {"read", "none"}) {
    std::string path = PathOf(std::string("locked-") + share + ".dll");
    ASSERT_TRUE(testsupport::WriteBytes(path, "x"));
    testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote(path) + " read " + share);
    ASSERT_EQ(holder.FirstLine(), "opened");
    app::Run().bRebootRequired = false;
    EXPECT_EQ(DeleteFileOrDefer(path), 0) << share;
    ASSERT_FALSE(Pending().empty());
    EXPECT_TRUE(Pending().back().isDelete);
    EXPECT_EQ(Pending().back().from, path);
    EXPECT_TRUE(app::Run().bRebootRequired) << share;
  }
  EXPECT_EQ(Pending().size(), 2u);
}

TEST_F(FolderStagesTest, DeleteFolderTreeRemovesWhatItCanAndLeavesDotNames) {
  for (const char* folder : {"Old", "Old\\a", "Old\\a\\b", "Kept", "Kept\\sub", "Busy"}) {
    ASSERT_TRUE(platform::MakeFolder(PathOf(folder)));
  }
  for (const char* file : {"Old\\1.txt", "Old\\a\\2.txt", "Old\\a\\b\\3.txt", "Kept\\.config", "Kept\\sub\\x.txt",
                           "Busy\\in-use.dll", "Busy\\free.txt"}) {
    ASSERT_TRUE(testsupport::WriteBytes(PathOf(file), "content"));
  }
  ASSERT_TRUE(platform::SetAttributes(PathOf("Old\\a\\2.txt"), platform::kAttributeReadOnly));
  DeleteFolderTree(PathOf("Old"));
  EXPECT_FALSE(testsupport::Exists(PathOf("Old")));

  DeleteFolderTree(PathOf("Kept"));
  EXPECT_TRUE(testsupport::Exists(PathOf("Kept\\.config")));
  EXPECT_FALSE(testsupport::Exists(PathOf("Kept\\sub")));

  EXPECT_TRUE(Pending().empty()) << "a folder kept for its dot-named file waits for nothing";

  // A folder that stays only for a file held without sharing goes at the restart, behind that file.
  testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote(PathOf("Busy\\in-use.dll")) + " read none");
  ASSERT_EQ(holder.FirstLine(), "opened");
  EXPECT_TRUE(DeleteFolderTree(PathOf("Busy")));
  EXPECT_FALSE(testsupport::Exists(PathOf("Busy\\free.txt")));
  EXPECT_TRUE(testsupport::Exists(PathOf("Busy\\in-use.dll")));
  ASSERT_EQ(Pending().size(), 2u);
  EXPECT_EQ(Pending()[0].from, PathOf("Busy\\in-use.dll"));
  EXPECT_EQ(Pending()[1].from, PathOf("Busy"));
  EXPECT_TRUE(Pending()[1].isDelete);
  EXPECT_TRUE(app::Run().bRebootRequired);
}

TEST_F(FolderStagesTest, CreateFolderTreeMakesMissingParentsOnly) {
  ASSERT_TRUE(platform::MakeFolder(PathOf("A")));
  EXPECT_TRUE(bCreateFolderTree(PathOf("A\\B\\C")));
  EXPECT_TRUE(IsFolder(PathOf("A\\B\\C")));
  EXPECT_TRUE(bCreateFolderTree(PathOf("A\\B\\C")));
  EXPECT_TRUE(bCreateFolderTree(PathOf("A\\D\\")));
  EXPECT_TRUE(IsFolder(PathOf("A\\D")));
  EXPECT_TRUE(bCreateFolderTree("Relative\\Inner"));
  EXPECT_TRUE(IsFolder(PathOf("Run\\Relative\\Inner")));
  EXPECT_FALSE(bCreateFolderTree("\\New\\Sub")) << "the walk ends at an empty top-level name";
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("A\\file"), "x"));
  EXPECT_FALSE(bCreateFolderTree(PathOf("A\\file\\below")));
}

TEST_F(FolderStagesTest, StageSixDeletesFilesFirstThenFoldersAndStageSevenCreates) {
  app::Run().LocationPaths[0] = PathOf("Root");
  for (const char* folder : {"Root", "Root\\Gone", "Root\\Gone\\Deep"}) ASSERT_TRUE(platform::MakeFolder(PathOf(folder)));
  for (const char* file : {"Root\\changed.txt", "Root\\removed.txt", "Root\\kept.txt", "Root\\Gone\\Deep\\x"}) {
    ASSERT_TRUE(testsupport::WriteBytes(PathOf(file), "old"));
  }
  zampack::PackageImage image = Image();
  AddChange(image, "Gone", true, false, false, true);
  AddChange(image, "changed.txt", false, true, true, false);
  AddChange(image, "\\removed.txt", false, false, false, true);
  AddChange(image, "kept.txt", false, true, false, false);
  AddChange(image, "New\\Nested", true, true, false, false);
  AddChange(image, "New", true, true, false, false);
  ASSERT_TRUE(OpenToTables(Write(Encode(image))));
  EXPECT_EQ(Package().DeleteCount, 3u);
  EXPECT_EQ(Package().NewFolderCount, 2u);
  bDeleteOldFiles();
  EXPECT_FALSE(testsupport::Exists(PathOf("Root\\changed.txt")));
  EXPECT_FALSE(testsupport::Exists(PathOf("Root\\removed.txt")));
  EXPECT_FALSE(testsupport::Exists(PathOf("Root\\Gone")));
  EXPECT_TRUE(testsupport::Exists(PathOf("Root\\kept.txt")));
  bCreateNewFolders();
  EXPECT_TRUE(IsFolder(PathOf("Root\\New\\Nested")));
  EXPECT_TRUE(Pending().empty());
  EXPECT_FALSE(app::Run().bRebootRequired);
}

TEST_F(FolderStagesTest, AFolderThatCannotBeCreatedGoesThroughTmp) {
  app::Run().LocationPaths[0] = PathOf("Root");
  ASSERT_TRUE(platform::MakeFolder(PathOf("Root")));
  zampack::PackageImage image = Image();
  AddChange(image, "Fonts", true, true, false, false);
  AddChange(image, "Voices", true, true, false, false);
  ASSERT_TRUE(OpenToTables(Write(Encode(image))));

  // The first creation fails: "Root\Fonts" is made as "Tmp\Fonts" instead.
  platform::ArmFault(platform::FaultOp::MakeFolder, 1, platform::kErrorAccessDenied);
  bCreateNewFolders();
  std::string fonts = PathOf("Root\\Fonts");
  EXPECT_NE(Log().find("Failed to create directory \"" + fonts +
                       "\"; temp directory \"Tmp\\Fonts\" created instead; reboot is required.\r\n"),
            std::string::npos)
      << Log();
  EXPECT_TRUE(IsFolder(PathOf("Run\\Tmp\\Fonts")));
  EXPECT_TRUE(IsFolder(PathOf("Root\\Voices")));
  std::vector<platform::PendingOperation> pending = Pending();
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0].from, PathOf("Run\\Tmp\\Fonts"));
  EXPECT_EQ(pending[0].to, fonts);
  EXPECT_TRUE(pending[1].isDelete);
  EXPECT_EQ(pending[1].from, PathOf("Run\\Tmp\\Fonts"));
  EXPECT_TRUE(app::Run().bRebootRequired);

  // Nothing can be created at all.
  platform::ClearPendingOperations();
  ASSERT_TRUE(platform::RemoveFolder(PathOf("Run\\Tmp\\Fonts")));
  platform::ArmFault(platform::FaultOp::MakeFolder, -1, platform::kErrorAccessDenied);
  Package().ChangeList.resize(1);
  bCreateNewFolders();
  EXPECT_NE(Log().find("ERROR: Failed to create directory \"" + fonts +
                       "\" AND also failed to create temp directory \"Tmp\\Fonts\"; reboot is required.\r\n"),
            std::string::npos);
  EXPECT_EQ(Pending().size(), 2u);
}

// A file deleted now that an earlier run's replacement still moves into
// place at the restart: its deletion is scheduled behind that move.
TEST_F(FolderStagesTest, AFileDeletedNowStaysDeletedAfterAPendingMoveToIt) {
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("gone.dll"), "current"));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("gone.dlla"), "replacement of an earlier run"));
  ASSERT_TRUE(platform::MoveAtRestart(PathOf("gone.dlla"), PathOf("gone.dll")));
  EXPECT_EQ(DeleteFileOrDefer(PathOf("gone.dll")), 0);
  EXPECT_FALSE(testsupport::Exists(PathOf("gone.dll")));
  ASSERT_EQ(Pending().size(), 2u);
  EXPECT_TRUE(Pending()[1].isDelete);
  EXPECT_TRUE(app::Run().bRebootRequired);
  std::string output;
  ASSERT_EQ(testsupport::RunProgram("orvanta-sim", "restart", &output), 0) << output;
  EXPECT_FALSE(testsupport::Exists(PathOf("gone.dll")));
}

}  // namespace
