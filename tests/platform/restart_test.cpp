// Operations deferred to the next restart: kept in call order, listed with
// full paths, and carried out by orvanta-sim's restart.
#include "platform/file.h"
#include "platform/restart.h"
#include "tests/support/scratch.h"

using namespace platform;

namespace {

class RestartTest : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    ClearPendingOperations();
  }
  void TearDown() override {
    ClearPendingOperations();
    ScratchTest::TearDown();
  }
  std::vector<PendingOperation> Pending() {
    std::vector<PendingOperation> operations;
    EXPECT_TRUE(ListPendingOperations(&operations));
    return operations;
  }
};

TEST_F(RestartTest, OperationsAreKeptInCallOrderWithFullPaths) {
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("old.dll"), "old"));
  ASSERT_TRUE(MakeFolder(PathOf("Tmp")));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Tmp\\old.dlla"), "new"));
  EXPECT_TRUE(Pending().empty());
  ASSERT_TRUE(DeleteAtRestart(PathOf("old.dll")));
  ASSERT_TRUE(MoveAtRestart("Tmp\\old.dlla", PathOf("old.dll")));
  ASSERT_TRUE(DeleteAtRestart("Tmp\\old.dlla"));
  std::vector<PendingOperation> operations = Pending();
  ASSERT_EQ(operations.size(), 3u);
  EXPECT_TRUE(operations[0].isDelete);
  EXPECT_EQ(operations[0].from, PathOf("old.dll"));
  EXPECT_FALSE(operations[1].isDelete);
  EXPECT_EQ(operations[1].from, PathOf("Tmp\\old.dlla"));
  EXPECT_EQ(operations[1].to, PathOf("old.dll"));
  EXPECT_TRUE(operations[2].isDelete);
  EXPECT_EQ(operations[2].from, PathOf("Tmp\\old.dlla"));
  // Nothing changes before the restart.
  EXPECT_EQ(testsupport::ReadBytes(PathOf("old.dll")), "old");
  ASSERT_TRUE(ClearPendingOperations());
  EXPECT_TRUE(Pending().empty());
}

TEST_F(RestartTest, OrvantaSimRestartCarriesThemOutInOrder) {
  ASSERT_TRUE(MakeFolder(PathOf("App")));
  ASSERT_TRUE(MakeFolder(PathOf("Tmp")));
  ASSERT_TRUE(MakeFolder(PathOf("Tmp\\NewFolder")));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("App\\Engine.dll"), "old engine"));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Tmp\\Engine.dlla"), "new engine"));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("App\\obsolete.txt"), "x"));
  ASSERT_TRUE(SetAttributes(PathOf("App\\obsolete.txt"), kAttributeReadOnly));
  ASSERT_TRUE(DeleteAtRestart(PathOf("App\\Engine.dll")));
  ASSERT_TRUE(MoveAtRestart(PathOf("Tmp\\Engine.dlla"), PathOf("App\\ENGINE.dll")));
  ASSERT_TRUE(DeleteAtRestart(PathOf("Tmp\\Engine.dlla")));
  ASSERT_TRUE(DeleteAtRestart(PathOf("App\\obsolete.txt")));
  ASSERT_TRUE(DeleteAtRestart(PathOf("App\\never-there.txt")));
  ASSERT_TRUE(MoveAtRestart(PathOf("Tmp\\NewFolder"), PathOf("App\\NewFolder")));
  ASSERT_TRUE(DeleteAtRestart(PathOf("Tmp\\NewFolder")));

  std::string output;
  ASSERT_EQ(testsupport::RunProgram("orvanta-sim", "restart", &output), 0) << output;
  EXPECT_EQ(testsupport::ReadBytes(PathOf("App\\ENGINE.dll")), "new engine");
  EXPECT_FALSE(testsupport::Exists(PathOf("Tmp\\Engine.dlla")));
  EXPECT_FALSE(testsupport::Exists(PathOf("App\\obsolete.txt")));
  EXPECT_TRUE(FileAttributes(PathOf("App\\NewFolder")) & kAttributeDirectory);
  EXPECT_FALSE(testsupport::Exists(PathOf("Tmp\\NewFolder")));
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(PathOf("App\\*"), &entries));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[0].name == "ENGINE.dll" || entries[1].name == "ENGINE.dll")
      << "the moved file takes the name the move gave it";
  EXPECT_TRUE(Pending().empty());

  ASSERT_EQ(testsupport::RunProgram("orvanta-sim", "pending", &output), 0);
  EXPECT_EQ(output, "");
}

TEST(OrvantaSimTest, AnswersHelpAndRefusesUnknownCommands) {
  std::string output;
  EXPECT_EQ(testsupport::RunProgram("orvanta-sim", "--help", &output), 0);
  EXPECT_NE(output.find("restart"), std::string::npos);
  EXPECT_EQ(testsupport::RunProgram("orvanta-sim", "reboot-now", &output), 2);
}

}  // namespace
