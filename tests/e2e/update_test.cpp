// A normal update and a replacement at the restart, with the update tool of
// this backend: orvanta-update on the simulator, OrvantaUpdate.exe on Windows.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/policy.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

class UpdateTest : public e2e::E2eTest {
 protected:
  const std::map<std::string, std::string> kOldRelease = {
      {"Orvanta.cfg", "settings 1"}, {"engine.dll", "engine 1"}, {"obsolete.txt", "old"}, {"data\\words.dat", "words 1"}};
  const std::map<std::string, std::string> kNewRelease = {
      {"Orvanta.cfg", "settings 2"}, {"engine.dll", "engine 2"}, {"data\\words.dat", "words 1"},
      {"data\\new\\grammar.dat", "grammar"}};

  void InstallOldRelease() {
    ASSERT_TRUE(testsupport::CopyProgram("orvanta-device-app", Software() + "Orvanta.exe"));
    MakeTree("Old", kOldRelease);
    for (const auto& [path, content] : kOldRelease) {
      MakeParents(Software() + path);
      ASSERT_TRUE(testsupport::WriteBytes(Software() + path, content));
    }
    MakeTree("New", kNewRelease);
    Zampack("diff", "SOFTWARE", "Orvanta", {"Old", "New"}, "software.zam");
    MakeTree("German", {{"strings.xml", "<Strings lang=\"de\"/>"}, {"voice\\anna.dat", "anna"}});
    Zampack("build", "LANGUAGE_PACKAGE", "Deutsch", {"German"}, "german.zam");
  }

  void ExpectNewRelease() {
    for (const auto& [path, content] : kNewRelease) EXPECT_EQ(testsupport::ReadBytes(Software() + path), content) << path;
    EXPECT_FALSE(testsupport::Exists(Software() + "obsolete.txt"));
    EXPECT_EQ(testsupport::ReadBytes(PathOf("Device\\Languages\\Deutsch\\strings.xml")), "<Strings lang=\"de\"/>");
    EXPECT_EQ(testsupport::ReadBytes(PathOf("Device\\Languages\\Deutsch\\voice\\anna.dat")), "anna");
  }
};

TEST_F(UpdateTest, ANormalUpdateLeavesTheNewRelease) {
  InstallOldRelease();
  WriteDescriptor("false", {"software.zam", "german.zam"});
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  ExpectNewRelease();
  for (const char* line : {"Update tool version: 1.10 2025-05-01", "Command-line arguments: 00001A2C en",
                           "Update info loaded", "Processing \"software.zam\"", " SOFTWARE  Orvanta  2.0",
                           "Processing \"german.zam\"", " LANGUAGE_PACKAGE  Deutsch  2.0",
                           "Main update process finished (and window destroyed). 0 installers to run.",
                           "Reboot not required.", "Restarting the service is not necessary.", "End of main().",
                           "End updater execution."}) {
    EXPECT_TRUE(LogHas(line)) << line << "\n" << Log();
  }
  EXPECT_EQ(Log().find("ERROR"), std::string::npos) << Log();
  EXPECT_TRUE(Pending().empty());
  // The device application is back, started in its folder.
  EXPECT_TRUE(LogHas("Launching \"" + Software() + "Orvanta.exe\"."));
  std::string starts;
  for (int i = 0; i < 1000 && starts.find("\r\n") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    starts = testsupport::ReadBytes(Software() + "app-starts.log");
  }
  std::string folder = Software().substr(0, Software().size() - 1);
  EXPECT_EQ(starts, "Orvanta.exe started in " + folder + ": \r\n");
}

TEST_F(UpdateTest, AFileInUseIsReplacedAtTheNextRestart) {
  // On a device this run ends in a forced restart, which under Wine kills
  // every process of the prefix: the Windows build runs it in a prefix of
  // its own (tests/e2e/win32/forced_restart.sh).
  if (testsupport::UnderWine()) GTEST_SKIP() << "runs in a Wine prefix of its own";
  InstallOldRelease();
  WriteDescriptor("true", {"software.zam", "german.zam"});
  {
    testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote(Software() + "engine.dll") + " read none");
    ASSERT_EQ(holder.FirstLine(), "opened");
    ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  }
  EXPECT_EQ(testsupport::ReadBytes(Software() + "engine.dll"), "engine 1");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Update\\Tmp\\engine.dlla")), "engine 2");
  // Stage 6 defers the old file's deletion, stage 3 the replacement behind it.
  std::vector<platform::PendingOperation> pending = Pending();
  ASSERT_EQ(pending.size(), 4u);
  EXPECT_EQ(pending[0].from, Software() + "engine.dll");
  EXPECT_EQ(pending[1].from, Software() + "engine.dll");
  EXPECT_EQ(pending[2].from, PathOf("Update\\Tmp\\engine.dlla"));
  EXPECT_EQ(pending[2].to, Software() + "engine.dll");
  EXPECT_EQ(pending[3].from, PathOf("Update\\Tmp\\engine.dlla"));
  EXPECT_TRUE(LogHas("Reboot is required."));
  EXPECT_TRUE(LogHas("We're on a device. Shutting down."));

  std::string output;
  ASSERT_EQ(testsupport::RunProgram("orvanta-sim", "restart", &output), 0) << output;
  ExpectNewRelease();
  EXPECT_FALSE(testsupport::Exists(PathOf("Update\\Tmp\\engine.dlla")));
}

TEST_F(UpdateTest, HelpPrintsTheUsageAndStartsNoUpdate) {
  InstallOldRelease();
  WriteDescriptor("false", {"software.zam"});
  testsupport::ChangeDirectory(PathOf("Update"));
  for (const char* help : {"--help", "-h"}) {
    std::string output;
    EXPECT_EQ(testsupport::RunProgram(testsupport::UpdateToolName(), help, &output), 0) << help;
    EXPECT_EQ(output.rfind("usage: orvanta-update PID LANGUAGE\n", 0), 0u) << output;
    EXPECT_NE(output.find("ORVANTA_DEVICE_ROOT"), std::string::npos) << output;
  }
  testsupport::ChangeDirectory(Dir());
  EXPECT_FALSE(testsupport::Exists(PathOf("update_log.txt")));
  EXPECT_EQ(testsupport::ReadBytes(Software() + "engine.dll"), "engine 1");
}

// Destinations the device does not have yet: a language it never had (the
// package's own folder) and a location folder that is missing altogether.
class NewFolderTest : public e2e::E2eTest {
 protected:
  void MakePackages() {
    MakeTree("German", {{"strings.xml", "<Strings lang=\"de\"/>"}, {"anna.dat", "anna"}});
    Zampack("build", "LANGUAGE_PACKAGE", "Deutsch", {"German"}, "german.zam");
    MakeTree("Hw", {{"driver.sys", "driver 2"}, {"ZAMServiceComm.dll", "comm 2"}});
    Zampack("build", "HW_LIBRARY", "Hardware", {"Hw"}, "hw.zam");
  }
  void ExpectDelivered() {
    EXPECT_EQ(testsupport::ReadBytes(PathOf("Device\\Languages\\Deutsch\\strings.xml")), "<Strings lang=\"de\"/>");
    EXPECT_EQ(testsupport::ReadBytes(PathOf("Device\\Languages\\Deutsch\\anna.dat")), "anna");
    EXPECT_EQ(testsupport::ReadBytes(PathOf("Device\\HW\\driver.sys")), "driver 2");
    EXPECT_EQ(testsupport::ReadBytes(PathOf("Device\\HW\\ZAMServiceComm.dll")), "comm 2");
    for (const char* folder : {"Device\\Languages\\Deutsch\\*", "Device\\HW\\*"}) {
      std::vector<platform::FolderEntry> entries;
      EXPECT_TRUE(platform::ListFolder(PathOf(folder), &entries));
      EXPECT_EQ(entries.size(), 2u) << folder;
    }
  }
};

TEST_F(NewFolderTest, PackagesForFoldersTheDeviceLacksArriveWhole) {
  MakePackages();
  WriteDescriptor("false", {"german.zam", "hw.zam"});
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  ExpectDelivered();
  EXPECT_TRUE(Pending().empty());
  EXPECT_TRUE(LogHas("Reboot not required.")) << Log();
  EXPECT_EQ(Log().find("ERROR"), std::string::npos) << Log();
}

TEST_F(NewFolderTest, WithAFileInUseTheRestartOnlyMovesIntoFoldersThatExist) {
  // Ends in a forced restart on the device: not in the shared Wine prefix.
  if (testsupport::UnderWine()) GTEST_SKIP() << "a forced restart runs in a Wine prefix of its own";
  MakePackages();
  ASSERT_TRUE(testsupport::WriteBytes(Software() + "engine.dll", "engine 1"));
  MakeTree("New", {{"engine.dll", "engine 2"}});
  Zampack("build", "SOFTWARE", "Orvanta", {"New"}, "software.zam");
  WriteDescriptor("true", {"software.zam", "german.zam", "hw.zam"});
  {
    testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote(Software() + "engine.dll") + " read none");
    ASSERT_EQ(holder.FirstLine(), "opened");
    ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  }
  ExpectDelivered();
  std::vector<platform::PendingOperation> pending = Pending();
  ASSERT_EQ(pending.size(), 3u);
  for (const platform::PendingOperation& operation : pending) {
    if (operation.isDelete) continue;
    std::string folder = operation.to.substr(0, operation.to.rfind('\\'));
    platform::Dword attributes = platform::FileAttributes(folder);
    EXPECT_TRUE(attributes != platform::kInvalidAttributes && (attributes & platform::kAttributeDirectory) != 0)
        << operation.to;
  }
  std::string output;
  ASSERT_EQ(testsupport::RunProgram("orvanta-sim", "restart", &output), 0) << output;
  ExpectDelivered();
  EXPECT_EQ(testsupport::ReadBytes(Software() + "engine.dll"), "engine 2");
}

// The launching application is a real process of this system (a Wine
// process under Wine); Wine keeps the policy value in its registry and stubs
// the power requests, so the keep-awake lines there are the failure path.
TEST_F(UpdateTest, TheRunWaitsForTheLaunchingApplicationAndReopensTheCommandPrompt_WineStubsPowerRequests) {
  WriteDescriptor("true", {});
  {
    platform::PolicyKey key = platform::OpenUserPolicyKey("Software\\Policies\\Microsoft\\Windows\\System");
    ASSERT_TRUE(platform::WritePolicyValue(key, "DisableCMD", 1));
  }
  std::string app = Software() + "Orvanta.exe";
  ASSERT_TRUE(testsupport::CopyProgram("orvanta-device-app", app));
  testsupport::HelperProcess running(testsupport::HostPathOf(app), "--stay");
  std::string first = running.FirstLine();
  ASSERT_EQ(first.substr(0, 8), "running ") << first;
  char id[16];
  std::snprintf(id, sizeof(id), "%08lX", std::strtoul(first.c_str() + 8, nullptr, 10));
  int code = -1;
  std::thread tool([&] { code = RunTool(std::string(id) + " en"); });
  for (int i = 0; i < 3000 && !LogHas("Update info loaded"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // Both wait for the application as long as it runs (the simulator at time scale 0 too).
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  running.Stop();
  tool.join();
  ASSERT_EQ(code, 0) << Log();

  EXPECT_TRUE(LogHas("CMD was disabled. Enabling...")) << Log();
  platform::PolicyKey key = platform::OpenUserPolicyKey("Software\\Policies\\Microsoft\\Windows\\System");
  platform::Dword value = 0;
  EXPECT_TRUE(platform::ReadPolicyValue(key, "DisableCMD", &value));
  EXPECT_EQ(value, 2u);
  platform::WritePolicyValue(key, "DisableCMD", 0);

  // The image name as the system gives it: compared without regard to case.
  std::string named;
  for (const std::string& line : LogLines()) {
    if (line.compare(0, 14, "Process name: ") == 0) named = line.substr(14);
  }
  ASSERT_EQ(named.size(), app.size()) << Log();
  for (std::size_t i = 0; i < app.size(); ++i) EXPECT_EQ(std::tolower(named[i]), std::tolower(app[i])) << named;
  int left = -1;
  for (const std::string& line : LogLines()) {
    if (line.compare(0, 39, "After waiting on hProcess, iTimeOut is ") == 0) left = std::atoi(line.c_str() + 39);
  }
  EXPECT_GT(left, 0) << Log();
  EXPECT_LT(left, 30000) << Log();
  EXPECT_TRUE(LogHas("bWaitForWriteAccess() returned true for process.")) << Log();
  EXPECT_TRUE(LogHas("bWaitForWriteAccess() returned true for ZAMDECtalkServer.exe.")) << Log();
  if (testsupport::UnderWine()) {
    EXPECT_TRUE(LogHas("bAddKeepAwake() returned false.")) << Log();
    EXPECT_FALSE(LogHas("bAddKeepAwake() returned true.")) << Log();
  } else {
    EXPECT_TRUE(LogHas("bAddKeepAwake() returned true.")) << Log();
  }
  EXPECT_EQ(LogLines()[LogLines().size() - 2], "bRemoveKeepAwake() returned " +
                                                   std::string(testsupport::UnderWine() ? "false." : "true."));
  EXPECT_TRUE(LogHas("Launching \"" + app + "\".")) << Log();
}

}  // namespace
