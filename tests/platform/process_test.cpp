// Processes opened by id, their image names and waits, programs started
// through the shell, and the image a running program holds; on both backends.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/file.h"
#include "platform/process.h"
#include "tests/support/scratch.h"

using namespace platform;

namespace {

class ProcessTest : public testsupport::ScratchTest {
 protected:
  // The device application program, copied to the scratch folder.
  std::string InstallApp(const std::string& name) {
    std::string path = PathOf(name);
    EXPECT_TRUE(testsupport::CopyProgram("orvanta-device-app", path));
    return path;
  }
  static Dword PidOf(testsupport::HelperProcess& helper) {
    std::string line = helper.FirstLine();
    EXPECT_EQ(line.substr(0, 8), "running ") << line;
    return static_cast<Dword>(std::strtoul(line.c_str() + 8, nullptr, 10));
  }
};

TEST_F(ProcessTest, AProcessOpenedByIdIsNamedAndWaitedFor) {
  std::string app = InstallApp("Orvanta.exe");
  testsupport::HelperProcess running(testsupport::HostPathOf(app), "--stay");
  Dword id = PidOf(running);
  Process process = OpenProcessById(id, kSynchronize | kProcessQueryLimitedInformation);
  ASSERT_TRUE(process.IsValid()) << LastError();
  EXPECT_EQ(ProcessId(process), id);
  std::string image;
  ASSERT_TRUE(QueryProcessImageName(process, &image)) << LastError();
  // Case and 8.3 forms aside, the image is the program's full path.
  EXPECT_EQ(image.size(), app.size()) << image;
  EXPECT_EQ(image.substr(image.size() - 12), "\\Orvanta.exe") << image;
  EXPECT_FALSE(WaitForProcess(process, 0));
  EXPECT_FALSE(WaitForProcess(process, 100));
  running.Stop();
  EXPECT_TRUE(WaitForProcess(process, 10000));
  // A handle of an ended process stays signalled.
  EXPECT_TRUE(WaitForProcess(process, 0));
}

TEST_F(ProcessTest, OwnProcessOpensAndNoProcessDoesNot) {
  Process self = OpenProcessById(CurrentProcessId(), kSynchronize | kProcessQueryLimitedInformation);
  ASSERT_TRUE(self.IsValid());
  std::string image;
  ASSERT_TRUE(QueryProcessImageName(self, &image));
  EXPECT_NE(image.find("platform_tests"), std::string::npos) << image;

  EXPECT_EQ(ProcessId(self), CurrentProcessId());

  Process none = OpenProcessById(0, kSynchronize);
  EXPECT_FALSE(none.IsValid());
  EXPECT_EQ(LastError(), kErrorInvalidParameter);
  EXPECT_EQ(ProcessId(none), 0u);

  std::string kept = "unchanged";
  EXPECT_FALSE(QueryProcessImageName(none, &kept));
  EXPECT_EQ(kept, "unchanged");
}

TEST_F(ProcessTest, ARunningProgramHoldsItsImageUntilItEnds) {
  std::string app = InstallApp("ZAMSapiServer.exe");
  {
    testsupport::HelperProcess running(testsupport::HostPathOf(app), "--stay");
    PidOf(running);
    File write = OpenFile(app, kGenericWrite, kShareNone, Disposition::OpenExisting, kAttributeNormal);
    EXPECT_FALSE(write.IsValid());
    EXPECT_EQ(LastError(), kErrorSharingViolation);
    EXPECT_FALSE(RemoveFile(app));
    EXPECT_EQ(LastError(), kErrorAccessDenied);
    // Reading it is fine.
    File read = OpenFile(app, kGenericRead, kShareRead | kShareDelete, Disposition::OpenExisting, kAttributeNormal);
    EXPECT_TRUE(read.IsValid()) << LastError();
  }
  File write = OpenFile(app, kGenericWrite, kShareNone, Disposition::OpenExisting, kAttributeNormal);
  EXPECT_TRUE(write.IsValid()) << LastError();
}

TEST_F(ProcessTest, ALaunchStartsTheProgramInItsFolderAndAMissingOneFailsWithoutABox) {
  ASSERT_TRUE(MakeFolder(PathOf("App")));
  std::string app = PathOf("App\\Orvanta.exe");
  ASSERT_TRUE(testsupport::CopyProgram("orvanta-device-app", app));
  ASSERT_TRUE(LaunchWithShell(app, "", PathOf("App"), kShowNoActivate)) << LastError();
  std::string log;
  for (int i = 0; i < 1000 && log.find("\r\n") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    log = testsupport::ReadBytes(PathOf("App\\app-starts.log"));
  }
  EXPECT_EQ(log, "Orvanta.exe started in " + PathOf("App") + ": \r\n");

  EXPECT_FALSE(LaunchWithShell(PathOf("App\\Missing.exe"), "", PathOf("App"), kShowNoActivate));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

}  // namespace
