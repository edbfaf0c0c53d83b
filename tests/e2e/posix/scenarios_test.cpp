// Scenarios that read the simulated device's own records: the window text
// (sim/window.txt), message boxes, msiexec's starts, and the switch that
// makes window creation fail. The waits run at time scale 0.
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "package/layout.h"
#include "tests/e2e/e2e_fixture.h"
#include "tools/zampack/package_image.h"

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

TEST_F(ScenarioTest, OnATerminalTheWindowIsDrawnWrappedAtWordsWithTheCaptionOnce) {
  WriteDescriptor("true", {});
  // A terminal of 40 columns, its output kept by script(1).
  std::string typescript = testsupport::HostPathOf(PathOf("typescript"));
  std::string command = "cd " + testsupport::Quote(testsupport::HostPathOf(PathOf("Update"))) + " && stty cols 40 && " +
                        testsupport::Quote(testsupport::ProgramPath("orvanta-update")) + " 00001A2C en";
  ASSERT_EQ(std::system(("script -qec " + testsupport::Quote(command) + " " + testsupport::Quote(typescript) +
                         " > /dev/null 2>&1")
                            .c_str()),
            0);
  std::ifstream in(typescript, std::ios::binary);
  std::string drawn((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  drawn.erase(std::remove(drawn.begin(), drawn.end(), '\r'), drawn.end());
  // Each frame: back over the last one, cleared, the caption once as the
  // title bar, then the text wrapped between words.
  std::size_t frames = 0;
  for (std::size_t at = drawn.find("\x1b[7m"); at != std::string::npos; at = drawn.find("\x1b[7m", at + 1)) ++frames;
  EXPECT_GE(frames, 2u) << drawn;
  std::size_t captions = 0;
  for (std::size_t at = drawn.find("COLMARTE COMPANY SOFTWARE UPDATE"); at != std::string::npos;
       at = drawn.find("COLMARTE COMPANY SOFTWARE UPDATE", at + 1)) {
    ++captions;
  }
  EXPECT_EQ(captions, frames) << drawn;
  EXPECT_NE(drawn.find("DO NOT UNPLUG THE BATTERY CHARGER OR DO\nANYTHING WITH THE DEVICE UNTIL THE\n"
                       "UPDATE HAS COMPLETED.\n"),
            std::string::npos)
      << drawn;
  EXPECT_NE(drawn.find("\x1b[4A\x1b[J\x1b[7m COLMARTE COMPANY SOFTWARE UPDATE \x1b[0m\n"), std::string::npos) << drawn;
}

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
  // Without a descriptor the tool does not know it runs off the device, so it keeps the system awake.
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"", "Update tool version: 1.10 2025-05-01", "Command-line arguments: ",
                                                  "bAddKeepAwake() called.",
                                                  "bSupportsConnectedStandby(): Device does NOT support \"connected standby\".",
                                                  "bRemoveKeepAwake() called.", "bRemoveKeepAwake() returned false.",
                                                  "bAddKeepAwake() returned true.", "bRemoveKeepAwake() called.",
                                                  "bSupportsConnectedStandby(): Device does NOT support \"connected standby\".",
                                                  "bRemoveKeepAwake() returned true.", "End updater execution."}));
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

TEST_F(ScenarioTest, DescriptorPathsBeginningWithASlashStayOnTheDevice) {
  // A host folder beside the device, named by the location and by a package entry.
  std::string outside = std::string(getenv("ORVANTA_DEVICE_ROOT")) + "-outside";
  std::filesystem::create_directories(outside);
  std::ofstream(outside + "/sentinel.txt") << "sentinel";
  MakeTree("New", {{"sentinel.txt", "delivered"}});
  Zampack("build", "SOFTWARE", "Orvanta", {"New"}, "software.zam");
  std::filesystem::copy_file(testsupport::HostPathOf(PathOf("Update\\software.zam")), outside + "/outside.zam");
  ASSERT_TRUE(testsupport::WriteBytes(
      PathOf("Update\\UpdateInfo.xml"),
      "<UpdateInfo><IsTargetHardware>false</IsTargetHardware><LocationInfo><SOFTWARE><Path>" + outside +
          "/</Path></SOFTWARE></LocationInfo><UpdateList><Package>software.zam</Package><Package>" + outside +
          "/outside.zam</Package></UpdateList></UpdateInfo>"));
  // The same folder on the device's drive, where the files go.
  std::string onDevice = "C:" + outside;
  std::replace(onDevice.begin(), onDevice.end(), '/', '\\');
  MakeParents(onDevice + "\\x");
  RunTool("00001A2C en");
  EXPECT_EQ(testsupport::ReadBytes(onDevice + "\\sentinel.txt"), "delivered") << Log();
  EXPECT_TRUE(LogHas("ERROR: bOpenUpdateFile(\"" + outside + "/outside.zam\") failed.")) << Log();
  std::ifstream kept(outside + "/sentinel.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), std::istreambuf_iterator<char>()), "sentinel");
  std::filesystem::remove_all(outside);
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

// Without msiexec nothing restarts the device: the run takes its final
// decision and the application comes back.
TEST_F(ScenarioTest, AnInstallerThatCannotStartIsStillDeletedAndTheApplicationComesBack) {
  MakeTree("Setup", {{"setup.msi", "msi"}});
  Zampack("build", "SOFTWARE", "Setup", {"Setup"}, "setup.zam");
  WriteDescriptor("false", {"setup.zam"});
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  EXPECT_TRUE(LogHas("ERROR: Failed to launch installer? (sei.hProcess not set)"));
  EXPECT_TRUE(LogHas("ERROR: The last installer \"" + Software() + "setup.msi\" did not run, so nothing restarts the "
                     "device; the run takes its final decision."))
      << Log();
  EXPECT_FALSE(testsupport::Exists(Software() + "setup.msi"));
  EXPECT_TRUE(LogHas("Launching \"" + Software() + "Orvanta.exe\".")) << Log();
  EXPECT_NE(SimFile("events.log").find("\tprogram-start\t" + Software() + "Orvanta.exe"), std::string::npos);
}

// The msiexec parameters have room for 260 characters: the last installer's
// path may take 235 of them beside "/qb!- /forcerestart /I" and its quotes.
// A longer path would be cut, so it is not started at all, and the run, which
// that installer would have restarted, takes its final decision.
TEST_F(ScenarioTest, TheLastInstallerPathMayTake235Characters) {
  InstallMsiexec();
  MakeTree("Lang", {{"a.msi", "msi a"}, {"b.msi", "msi b"}});
  Zampack("build", "LANGUAGE_PACKAGE", "fr-FR", {"Lang"}, "lang.zam");
  for (std::size_t length : {235u, 236u}) {
    std::string folder = "Device\\" + std::string(length - PathOf("Device\\").size() - 6, 'd');
    std::string installer = PathOf(folder) + "\\x.msi";
    ASSERT_EQ(installer.size(), length);
    ASSERT_TRUE(platform::MakeFolder(PathOf(folder)));
    MakeTree("Setup" + std::to_string(length), {{"x.msi", "msi"}});
    Zampack("build", "SOFTWARE", "Setup", {"Setup" + std::to_string(length)}, "setup.zam");
    WriteDescriptor("false", {"lang.zam", "setup.zam"});
    std::string descriptor = testsupport::ReadBytes(PathOf("Update\\UpdateInfo.xml"));
    descriptor.replace(descriptor.find(Software()), Software().size(), PathOf(folder) + "\\");
    ASSERT_TRUE(testsupport::WriteBytes(PathOf("Update\\UpdateInfo.xml"), descriptor));
    ASSERT_TRUE(testsupport::WriteBytes(std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/sim/msiexec.log", ""));
    ASSERT_EQ(RunTool("00001A2C en"), 0) << Log();
    EXPECT_FALSE(testsupport::Exists(installer));
    std::string languages = PathOf("Device\\Languages\\fr-FR");
    std::string first = "start [/qb!-  /I \"" + languages + "\\a.msi\"] in fr-FR argc 3\nend\n"
                        "start [/qb!-  /I \"" + languages + "\\b.msi\"] in fr-FR argc 3\nend\n";
    if (length == 235) {
      EXPECT_EQ(SimFile("msiexec.log"), first + "start [/qb!- /forcerestart /I \"" + installer + "\"] in " +
                                            folder.substr(7) + " argc 4\nend\n");
      EXPECT_FALSE(LogHas("Reboot not required."));
    } else {
      EXPECT_TRUE(LogHas("ERROR: Installer path too long for the msiexec parameters (261 characters): \"" + installer +
                         "\"."))
          << Log();
      EXPECT_EQ(SimFile("msiexec.log"), first) << "not started with a cut path";
      EXPECT_TRUE(LogHas("ERROR: The last installer \"" + installer + "\" did not run, so nothing restarts the "
                         "device; the run takes its final decision."))
          << Log();
      EXPECT_TRUE(LogHas("Restarting the service is not necessary.")) << Log();
    }
  }
}

// An installer whose destination is in use goes to a replacement file;
// msiexec is given that file's full path, where it is when msiexec starts.
TEST_F(ScenarioTest, AnInstallerInUseIsInstalledFromItsReplacementFile) {
  InstallMsiexec();
  std::string folder = std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/C/Windows/System32";
  std::ofstream(folder + "/msiexec.exe", std::ios::app)
      << "for a; do last=$a; done\n"
         "host=\"$ORVANTA_DEVICE_ROOT/$(printf %s \"$last\" | cut -c1)$(printf %s \"$last\" | cut -c3- | tr '\\\\' /)\"\n"
         "test -f \"$host\" && echo \"exists $(cat \"$host\")\" >> \"$ORVANTA_DEVICE_ROOT/sim/msiexec.log\"\n";
  ASSERT_TRUE(testsupport::WriteBytes(Software() + "setup.msi", "msi 1"));
  MakeTree("Setup", {{"setup.msi", "msi 2"}});
  Zampack("build", "SOFTWARE", "Setup", {"Setup"}, "setup.zam");
  WriteDescriptor("false", {"setup.zam"});
  testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote(Software() + "setup.msi") + " read none");
  ASSERT_EQ(holder.FirstLine(), "opened");
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  std::string replacement = PathOf("Update\\Tmp\\setup.msia");
  EXPECT_EQ(SimFile("msiexec.log"), "start [/qb!- /forcerestart /I \"" + replacement + "\"] in Tmp argc 4\nend\nexists msi 2\n");
  EXPECT_TRUE(LogHas("Installing: " + replacement + " /qb!- /forcerestart /I \"" + replacement + "\""));
  EXPECT_FALSE(testsupport::Exists(replacement)) << "deleted after it ran";
}

// Tables that cannot be read end their package with message 9 behind the
// stage text; nothing of it is applied and the next package still is.
TEST_F(ScenarioTest, APackageWhoseFileTableRunsPastItsEndShowsMessage9) {
  ASSERT_TRUE(testsupport::WriteBytes(Software() + "old.txt", "old"));
  MakeTree("First", {{"old.txt", "new"}, {"more.txt", "more"}});
  MakeTree("Second", {{"second.txt", "second"}});
  Zampack("build", "SOFTWARE", "First", {"First"}, "first.zam");
  Zampack("build", "SOFTWARE", "Second", {"Second"}, "second.zam");
  std::string bytes = testsupport::ReadBytes(PathOf("Update\\first.zam"));
  std::uint32_t tableOffset = package::ReadUint32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 48);
  std::uint8_t length[4];
  package::WriteUint32(length, static_cast<std::uint32_t>(bytes.size()));
  bytes.replace(package::kHeaderSize + tableOffset, 4, reinterpret_cast<const char*>(length), 4);
  zampack::SealPackageBytes(bytes);
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Update\\first.zam"), bytes));
  WriteDescriptor("false", {"first.zam", "second.zam"});
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  EXPECT_TRUE(LogHas("ERROR: bLoadPackageTables: file table of " + std::to_string(bytes.size()) +
                     " bytes runs past the end of the package (" + std::to_string(bytes.size()) + " bytes)."))
      << Log();
  EXPECT_NE(Window().find(" SOFTWARE  First  2.0 - Loading Update Information  100%ERROR: Update Information Missing.\r\n"
                          " SOFTWARE  Second  2.0 - Complete  "),
            std::string::npos)
      << Window();
  EXPECT_EQ(testsupport::ReadBytes(Software() + "old.txt"), "old");
  EXPECT_FALSE(testsupport::Exists(Software() + "more.txt"));
  EXPECT_EQ(testsupport::ReadBytes(Software() + "second.txt"), "second");
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
