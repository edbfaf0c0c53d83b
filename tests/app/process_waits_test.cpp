// Write-access waits, the folder search, the relaunch of the device
// application and the harmless shutdown actions, on both backends.
#include "app/app_launch.h"
#include "app/process_waits.h"
#include "app/run_state.h"
#include "tests/app/app_fixture.h"

using namespace app;
using platform::FaultOp;

namespace {

class ProcessWaitsTest : public apptest::AppTest {
 protected:
  void Touch(const std::string& relative) { ASSERT_TRUE(testsupport::WriteBytes(PathOf(relative), "x")); }
  void Folders(std::initializer_list<const char*> folders) {
    for (const char* folder : folders) ASSERT_TRUE(platform::MakeFolder(PathOf(folder)));
  }
};

TEST_F(ProcessWaitsTest, WriteAccessAttemptsAreCountedByTheTimeLimit) {
  Touch("held.exe");
  // A missing file: true at once, nothing opened.
  platform::ArmFault(FaultOp::OpenFile, 1000, platform::kErrorSharingViolation);
  EXPECT_TRUE(bWaitForWriteAccess(PathOf("missing.exe"), 10000));
  EXPECT_EQ(platform::RemainingFaults(FaultOp::OpenFile), 1000);

  EXPECT_FALSE(bWaitForWriteAccess(PathOf("held.exe"), 99));
  EXPECT_EQ(platform::RemainingFaults(FaultOp::OpenFile), 999);
  EXPECT_FALSE(bWaitForWriteAccess(PathOf("held.exe"), -5));
  EXPECT_EQ(platform::RemainingFaults(FaultOp::OpenFile), 998);
  // The Windows build waits in real time: a tenth of the limit there.
  int limit = testsupport::UnderWine() ? 1000 : 10000;
  EXPECT_FALSE(bWaitForWriteAccess(PathOf("held.exe"), limit));
  EXPECT_EQ(platform::RemainingFaults(FaultOp::OpenFile), 998 - limit / 100);
  // Free after three attempts.
  platform::ArmFault(FaultOp::OpenFile, 3, platform::kErrorSharingViolation);
  EXPECT_TRUE(bWaitForWriteAccess(PathOf("held.exe"), 1000));
  EXPECT_EQ(platform::RemainingFaults(FaultOp::OpenFile), 0);
}

TEST_F(ProcessWaitsTest, AFileHeldOpenByAnotherProgramIsNotWritableUntilReleased) {
  Touch("engine.exe");
  {
    testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote(PathOf("engine.exe")) + " read read");
    ASSERT_EQ(holder.FirstLine(), "opened");
    EXPECT_FALSE(bWaitForWriteAccess(PathOf("engine.exe"), 0));
  }
  EXPECT_TRUE(bWaitForWriteAccess(PathOf("engine.exe"), 0));
  EXPECT_EQ(testsupport::ReadBytes(PathOf("engine.exe")), "x");
}

TEST_F(ProcessWaitsTest, TheFolderSearchIsDepthFirstFromTheStartFolderAndSkipsDotFolders) {
  Folders({"Root", "Root\\A", "Root\\A\\Deep", "Root\\B", "Root\\.hidden", "Root\\.hidden\\X"});
  Touch("Root\\B\\Orvanta.exe");
  Touch("Root\\A\\Deep\\Orvanta.exe");
  Touch("Root\\.hidden\\X\\Only.exe");
  std::string found;
  ASSERT_TRUE(bFindFileFolder(PathOf("Root"), "Orvanta.exe", &found));
  EXPECT_EQ(found, PathOf("Root\\A\\Deep"));
  Touch("Root\\Orvanta.exe");
  ASSERT_TRUE(bFindFileFolder(PathOf("Root"), "Orvanta.exe", &found));
  EXPECT_EQ(found, PathOf("Root"));
  std::string untouched = "none";
  EXPECT_FALSE(bFindFileFolder(PathOf("Root"), "Only.exe", &untouched));
  EXPECT_EQ(untouched, "none");
  EXPECT_FALSE(bFindFileFolder(PathOf("NoSuchFolder"), "Orvanta.exe", &untouched));
}

TEST_F(ProcessWaitsTest, ABranchTooLongForThePathBuffersIsSkipped) {
  // A folder whose own path fits, with a child whose composed path does not.
  std::string base = PathOf("Root");
  ASSERT_TRUE(platform::MakeFolder(base));
  std::string longName(250 - base.size(), 'L');
  ASSERT_TRUE(platform::MakeFolder(base + "\\" + longName));
  ASSERT_TRUE(platform::MakeFolder(PathOf("Root\\Z")));
  Touch("Root\\Z\\Orvanta.exe");
  std::string found;
  ASSERT_TRUE(bFindFileFolder(base, "Orvanta.exe", &found));
  EXPECT_EQ(found, PathOf("Root\\Z"));
  EXPECT_FALSE(bFindFileFolder(base + "\\" + longName, "Orvanta.exe", &found));
}

TEST_F(ProcessWaitsTest, AnApplicationFoundNowhereIsStillLaunchedAndItsFailureLogged) {
  Folders({"Empty"});
  app::Run().LocationPaths[0] = PathOf("Empty");
  startApp();
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "startApp() called.");
  EXPECT_EQ(lines[1], "We'll search for the executable in \"" + PathOf("Empty") + "\".");
  EXPECT_EQ(lines[2], "Launching \"\\Orvanta.exe\".");
  EXPECT_EQ(lines[3].substr(0, 44), "ERROR: startApp() could not launch \"\\Orvanta");
}

TEST_F(ProcessWaitsTest, ShutdownActionsZeroAndFiveCallNothingAndSucceed) {
  EXPECT_TRUE(bShutdownSystem(0, true));
  EXPECT_TRUE(bShutdownSystem(5, false));
}

}  // namespace
