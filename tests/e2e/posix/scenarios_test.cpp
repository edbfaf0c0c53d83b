// Scenarios that read the simulated device's own records: the window text
// (sim/window.txt), message boxes, msiexec's starts, and the switch that
// makes window creation fail. The waits run at time scale 0.
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/e2e/e2e_fixture.h"

namespace {

const std::string kTitle = "\r\nCOLMARTE COMPANY SOFTWARE UPDATE\r\n\r\n";
const std::string kGoodBye = "\r\n\r\nThe update is complete. Good-Bye\r\n";

class ScenarioTest : public e2e::E2eTest {
 protected:
  std::string SimFolder() { return std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/sim/"; }
  std::string SimFile(const std::string& name) {
    std::ifstream in(SimFolder() + name, std::ios::binary);
    if (!in) return "<missing>";
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string Window() { return SimFile("window.txt"); }

  // A recording msiexec in C:\Windows\System32: each start and end is a line
  // of sim/msiexec.log.
  void InstallMsiexec() {
    std::string folder = std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/C/Windows/System32";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/msiexec.exe")
        << "#!/bin/sh\n"
           "log=\"$ORVANTA_DEVICE_ROOT/sim/msiexec.log\"\n"
           "mkdir -p \"$ORVANTA_DEVICE_ROOT/sim\"\n"
           "printf 'start [%s] in %s argc %s\\n' \"$ORVANTA_SIM_COMMAND_LINE\" \"$(basename \"$(pwd)\")\" $# >> \"$log\"\n"
           "sleep 0.2\n"
           "echo \"end\" >> \"$log\"\n";
    chmod((folder + "/msiexec.exe").c_str(), 0755);
  }
};

TEST_F(ScenarioTest, TwoRunsInOneLogAreSeparatedByAnEmptyLine) {
  WriteDescriptor("false", {});
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  std::vector<std::string> lines = LogLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "Update tool version: 1.10 2025-05-01");
  std::size_t second = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) {
      second = i;
      break;
    }
  }
  ASSERT_GT(second, 0u);
  EXPECT_EQ(lines[second - 1], "End updater execution.");
  EXPECT_EQ(lines[second + 1], "Update tool version: 1.10 2025-05-01");
}

TEST_F(ScenarioTest, WithoutAProcessIdOnlyTheRefusalIsShown) {
  MakeTree("New", {{"a.txt", "new"}});
  Zampack("build", "SOFTWARE", "Orvanta", {"New"}, "software.zam");
  ASSERT_EQ(RunTool(""), 0);
  EXPECT_EQ(Window(), "\r\nSoftware update must be initiated via the Maintenance Menu.");
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"", "Update tool version: 1.10 2025-05-01", "Command-line arguments: ",
                                                  "End updater execution."}));
  EXPECT_FALSE(testsupport::Exists(Software() + "a.txt"));
}

TEST_F(ScenarioTest, TheLanguageComesFromTheTagOrTheUserLocale) {
  WriteDescriptor("true", {});
  ASSERT_EQ(RunTool("00001A2C de-DE"), 0);
  EXPECT_EQ(Window().substr(0, 24), "\r\nCOLMARTE GMBH UPDATE\r\n");
  EXPECT_NE(Window().find("Auf Wiedersehen!"), std::string::npos);
  EXPECT_NE(Window().find("Keinesfalls das Netzteil abziehen"), std::string::npos) << "the warning, on the device";

  testsupport::SetEnvironment("LC_ALL", "fr_FR.UTF-8");
  ASSERT_EQ(RunTool("1A2C"), 0);
  EXPECT_NE(Window().find("Merci de votre patience !"), std::string::npos) << Window();
  EXPECT_TRUE(LogHas("Command-line arguments: 1A2C"));
}

TEST_F(ScenarioTest, NoDescriptorAndAnEmptyListReachTheFinalDecision) {
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  EXPECT_EQ(Window(), kTitle + kGoodBye);
  EXPECT_FALSE(LogHas("\"Demo\" mode (meaning not running on a device), so not going to call bAddKeepAwakep().")) <<
      "no descriptor is not demo mode";
  for (const char* line : {"Update info loaded", "Main update process finished (and window destroyed). 0 installers to run.",
                           "Reboot not required.", "Restarting the service is not necessary.", "End of main()."}) {
    EXPECT_TRUE(LogHas(line)) << line;
  }

  WriteDescriptor("false", {});
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  EXPECT_EQ(Window(), kTitle + kGoodBye);
  EXPECT_TRUE(LogHas("\"Demo\" mode (meaning not running on a device), so not going to call bAddKeepAwakep()."));
}

TEST_F(ScenarioTest, EveryPackageFailingToOpenGetsItsOwnMessage) {
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Update\\short.zam"), "not a package"));
  WriteDescriptor("false", {"missing.zam", "short.zam", ""});
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  std::string missing = "\r\nERROR: Update Information Missing.";
  EXPECT_EQ(Window(), kTitle + missing + missing + missing + kGoodBye);
  EXPECT_TRUE(LogHas("ERROR: bOpenUpdateFile(\"missing.zam\") failed."));
  EXPECT_TRUE(LogHas("ERROR: bOpenUpdateFile(\"short.zam\") failed."));
  EXPECT_TRUE(LogHas("ERROR: bOpenUpdateFile(\"\") failed."));
  EXPECT_TRUE(LogHas("Restarting the service is not necessary."));
}

TEST_F(ScenarioTest, AChecksumMismatchSkipsOnlyThatPackage) {
  MakeTree("First", {{"first.txt", "first"}});
  MakeTree("Second", {{"second.txt", "second"}});
  Zampack("build", "SOFTWARE", "First", {"First"}, "first.zam");
  Zampack("build", "SOFTWARE", "Second", {"Second"}, "second.zam");
  std::string bytes = testsupport::ReadBytes(PathOf("Update\\first.zam"));
  bytes[bytes.size() - 1] ^= 0x55;
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Update\\first.zam"), bytes));
  WriteDescriptor("false", {"first.zam", "second.zam"});
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  EXPECT_TRUE(LogHas("ERROR: Checksum didn't match for \"first.zam\"."));
  EXPECT_FALSE(testsupport::Exists(Software() + "first.txt"));
  EXPECT_EQ(testsupport::ReadBytes(Software() + "second.txt"), "second");
  EXPECT_NE(Window().find(" SOFTWARE  First  2.0 - Verifying Update Information  100%ERROR: Corrupt Update Information\r\n"
                          " SOFTWARE  Second  2.0 - Complete  "),
            std::string::npos)
      << Window();
}

TEST_F(ScenarioTest, HardwareLibrariesOffTheDeviceLeaveTheServiceAlone) {
  MakeTree("Hw1", {{"ZAMServiceComm.dll", "comm 2"}});
  MakeTree("Hw2", {{"driver.sys", "driver 2"}});
  Zampack("build", "HW_LIBRARY", "Hardware", {"Hw1"}, "hw1.zam");
  Zampack("build", "HW_LIBRARY", "Drivers", {"Hw2"}, "hw2.zam");
  ASSERT_TRUE(platform::MakeFolder(PathOf("Device\\HW")));
  WriteDescriptor("false", {"hw1.zam", "hw2.zam"});
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Device\\HW\\ZAMServiceComm.dll")), "comm 2");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Device\\HW\\driver.sys")), "driver 2");
  EXPECT_FALSE(LogHas("Updating the hardware libraries, but the service is still running."));
  EXPECT_FALSE(LogHas("Service stopped."));
  EXPECT_TRUE(LogHas("Restarting the service is not necessary."));
}

TEST_F(ScenarioTest, InstallersRunOneAfterAnotherAndAreDeleted) {
  InstallMsiexec();
  MakeTree("Setup", {{"a.msi", "msi a"}, {"B.MSI", "msi b"}, {"c.msi", "msi c"}, {"tools\\inner.msi", "inner"}});
  Zampack("build", "SOFTWARE", "Setup", {"Setup"}, "setup.zam");
  WriteDescriptor("false", {"setup.zam"});
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  std::string app = Software().substr(0, Software().size() - 1);
  EXPECT_EQ(SimFile("msiexec.log"),
            "start [/qb!-  /I \"" + app + "\\B.MSI\"] in App argc 3\nend\n"
            "start [/qb!-  /I \"" + app + "\\a.msi\"] in App argc 3\nend\n"
            "start [/qb!- /forcerestart /I \"" + app + "\\c.msi\"] in App argc 4\nend\n");
  for (const char* name : {"a.msi", "B.MSI", "c.msi"}) EXPECT_FALSE(testsupport::Exists(Software() + name)) << name;
  EXPECT_TRUE(testsupport::Exists(Software() + "tools\\inner.msi"));
  EXPECT_TRUE(LogHas("Main update process finished (and window destroyed). 3 installers to run."));
  EXPECT_TRUE(LogHas("Installing: " + app + "\\c.msi /qb!- /forcerestart /I \"" + app + "\\c.msi\""));
  EXPECT_TRUE(LogHas("Installer finished."));
  EXPECT_FALSE(LogHas("Reboot not required.")) << "the last installer restarts the device";
}

TEST_F(ScenarioTest, AnInstallerThatCannotStartIsStillDeleted) {
  MakeTree("Setup", {{"setup.msi", "msi"}});
  Zampack("build", "SOFTWARE", "Setup", {"Setup"}, "setup.zam");
  WriteDescriptor("false", {"setup.zam"});
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  EXPECT_TRUE(LogHas("ERROR: Failed to launch installer? (sei.hProcess not set)"));
  EXPECT_FALSE(testsupport::Exists(Software() + "setup.msi"));
}

// The msiexec parameters have room for 259 characters: a longer installer
// path would be cut, so it is not started at all.
TEST_F(ScenarioTest, AnInstallerPathTooLongForTheParametersIsNotStarted) {
  InstallMsiexec();
  std::string deep = "Device\\" + std::string(200, 'd');
  ASSERT_TRUE(platform::MakeFolder(PathOf(deep)));
  MakeTree("Setup", {{"long-named-installer-package.msi", "msi"}, {"ok.msi", "msi"}});
  Zampack("build", "SOFTWARE", "Setup", {"Setup"}, "setup.zam");
  WriteDescriptor("false", {"setup.zam"});
  std::string descriptor = testsupport::ReadBytes(PathOf("Update\\UpdateInfo.xml"));
  std::size_t at = descriptor.find(Software());
  descriptor.replace(at, Software().size(), PathOf(deep) + "\\");
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Update\\UpdateInfo.xml"), descriptor));
  ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
  std::string installer = PathOf(deep) + "\\long-named-installer-package.msi";
  EXPECT_TRUE(LogHas("ERROR: Installer path too long for the msiexec parameters (" +
                     std::to_string(installer.size() + 12) + " characters): \"" + installer + "\"."))
      << Log();
  EXPECT_FALSE(testsupport::Exists(installer));
  EXPECT_EQ(SimFile("msiexec.log"), "start [/qb!- /forcerestart /I \"" + PathOf(deep) + "\\ok.msi\"] in " +
                                        std::string(200, 'd') + " argc 4\nend\n")
      << "the other installer still runs";
}

TEST_F(ScenarioTest, ADeferredChangeOffTheDevicePromptsInTheRunsLanguage) {
  ASSERT_TRUE(testsupport::WriteBytes(Software() + "engine.dll", "engine 1"));
  MakeTree("New", {{"engine.dll", "engine 2"}});
  Zampack("build", "SOFTWARE", "Orvanta", {"New"}, "software.zam");
  WriteDescriptor("false", {"software.zam"});
  testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote(Software() + "engine.dll") + " read none");
  ASSERT_EQ(holder.FirstLine(), "opened");
  ASSERT_EQ(RunTool("00001A2C de"), 0);
  EXPECT_EQ(SimFile("messagebox.log"),
            "Bitte f\xC3\xBChren Sie einen Neustart aus.\tZum Abschluss des Updates muss der Computer neu gestartet werden.\n");
  EXPECT_TRUE(LogHas("Reboot is required."));
  EXPECT_TRUE(LogHas("Not on a device. Prompting user to shut down."));
  EXPECT_EQ(SimFile("restarts.log"), "<missing>");
  EXPECT_EQ(Pending().size(), 3u);
}

TEST_F(ScenarioTest, AWindowThatCannotBeCreatedEndsTheRunWithExitCodeOne) {
  std::filesystem::create_directories(SimFolder());
  std::ofstream(SimFolder() + "window-fails").close();
  MakeTree("New", {{"a.txt", "new"}});
  Zampack("build", "SOFTWARE", "Orvanta", {"New"}, "software.zam");
  WriteDescriptor("false", {"software.zam"});
  EXPECT_EQ(RunTool("00001A2C en"), 1);
  EXPECT_TRUE(LogHas("ERROR: InitApp() failed."));
  EXPECT_FALSE(LogHas("End updater execution."));
  EXPECT_FALSE(testsupport::Exists(Software() + "a.txt"));
}

TEST_F(ScenarioTest, TheInUseMarkerIsHeldDuringTheRunAndRemovedAfter) {
  std::filesystem::create_directories(std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/C/Windows/OEM/ZAMHelper");
  InstallMsiexec();
  // The installer checks the marker while the run waits for it.
  std::string folder = std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/C/Windows/System32";
  std::ofstream(folder + "/msiexec.exe", std::ios::app)
      << "test -f \"$ORVANTA_DEVICE_ROOT/C/Windows/OEM/ZAMHelper/engdbg.flg\" && echo marker >> \"$ORVANTA_DEVICE_ROOT/sim/msiexec.log\"\n";
  MakeTree("Setup", {{"setup.msi", "msi"}});
  Zampack("build", "SOFTWARE", "Setup", {"Setup"}, "setup.zam");
  WriteDescriptor("false", {"setup.zam"});
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  EXPECT_NE(SimFile("msiexec.log").find("marker"), std::string::npos) << "held while the installers run";
  EXPECT_FALSE(testsupport::Exists("C:\\Windows\\OEM\\ZAMHelper\\engdbg.flg"));
}

}  // namespace
