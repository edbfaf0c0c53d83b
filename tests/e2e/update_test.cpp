// A normal update and a replacement at the restart, with the update tool of
// this backend: orvanta-update on the simulator, OrvantaUpdate.exe on Windows.
#include <chrono>
#include <thread>

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
  std::vector<platform::PendingOperation> pending = Pending();
  ASSERT_EQ(pending.size(), 3u);
  EXPECT_EQ(pending[0].from, Software() + "engine.dll");
  EXPECT_EQ(pending[1].from, PathOf("Update\\Tmp\\engine.dlla"));
  EXPECT_EQ(pending[1].to, Software() + "engine.dll");
  EXPECT_EQ(pending[2].from, PathOf("Update\\Tmp\\engine.dlla"));
  EXPECT_TRUE(LogHas("Reboot is required."));
  EXPECT_TRUE(LogHas("We're on a device. Shutting down."));

  std::string output;
  ASSERT_EQ(testsupport::RunProgram("orvanta-sim", "restart", &output), 0) << output;
  ExpectNewRelease();
  EXPECT_FALSE(testsupport::Exists(PathOf("Update\\Tmp\\engine.dlla")));
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

}  // namespace
