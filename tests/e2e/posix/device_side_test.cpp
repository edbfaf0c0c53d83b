// The device side of a run on the simulated device: the wait for the
// launching application and for its files, the keep-awake request, the
// restart request and the relaunch of the device application, read from the
// run log and the device's timeline (sim/events.log).
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "tests/e2e/e2e_fixture.h"

namespace {

class DeviceSideTest : public e2e::E2eTest {
 protected:
  std::string SimPath(const std::string& name) { return std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/sim/" + name; }
  std::string Sim(const std::string& name) {
    std::ifstream in(SimPath(name), std::ios::binary);
    if (!in) return "<missing>";
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void SetSim(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(SimPath(""));
    std::ofstream(SimPath(name)) << text;
  }
  // The EVENT and DETAILS of each line of the timeline.
  std::vector<std::string> Events() {
    std::vector<std::string> events;
    std::istringstream in(Sim("events.log"));
    std::string line;
    while (std::getline(in, line)) events.push_back(line.size() > 24 ? line.substr(24) : line);
    return events;
  }
  std::vector<std::string> EventNames() {
    std::vector<std::string> names;
    for (const std::string& e : Events()) names.push_back(e.substr(0, e.find('\t')));
    return names;
  }
  // A program of the device running from `path` until Stop(); its process id.
  std::unique_ptr<testsupport::HelperProcess> StartProgram(const std::string& path, std::string* commandId) {
    EXPECT_TRUE(testsupport::CopyProgram("orvanta-device-app", path));
    auto helper = std::make_unique<testsupport::HelperProcess>(testsupport::HostPathOf(path), "--stay");
    std::string line = helper->FirstLine();
    EXPECT_EQ(line.substr(0, 8), "running ") << line;
    char id[16];
    std::snprintf(id, sizeof(id), "%08lX", std::strtoul(line.c_str() + 8, nullptr, 10));
    *commandId = id;
    return helper;
  }
  // Runs the tool started by the device application, which ends once the tool
  // has loaded its descriptor; the process id the tool was given.
  std::string RunToolAsTheApplicationEnds() {
    std::string id;
    auto app = StartProgram(Software() + "Orvanta.exe", &id);
    std::thread stopper([&] {
      for (int i = 0; i < 2000 && !LogHas("Update info loaded"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      app->Stop();
    });
    EXPECT_EQ(RunTool(id + " en"), 0);
    stopper.join();
    return id;
  }
  // The number logged in "After waiting on hProcess, iTimeOut is %d." (-1 when absent).
  int TimeLeft() {
    const std::string prefix = "After waiting on hProcess, iTimeOut is ";
    for (const std::string& line : LogLines()) {
      if (line.compare(0, prefix.size(), prefix) == 0) return std::atoi(line.c_str() + prefix.size());
    }
    return -1;
  }
  std::vector<std::string> WriteAccessLines() {
    std::vector<std::string> lines;
    for (const std::string& line : LogLines()) {
      if (line.compare(0, 21, "bWaitForWriteAccess()") == 0) lines.push_back(line);
    }
    return lines;
  }
};

// At time scale 0 the tool still waits for the application to end, as the
// device does, so that its program is replaced at once rather than at a restart.
TEST_F(DeviceSideTest, ALaunchingApplicationThatEndsAfterAWhileLeavesTimeOnTheClock) {
  std::string id;
  auto app = StartProgram(Software() + "Orvanta.exe", &id);
  std::string program = testsupport::ReadBytes(Software() + "Orvanta.exe");
  MakeTree("Old", {{"Orvanta.exe", program}});
  MakeTree("New", {{"Orvanta.exe", program + "release 2"}});
  Zampack("diff", "SOFTWARE", "Orvanta", {"Old", "New"}, "software.zam");
  WriteDescriptor("true", {"software.zam"});
  int code = -1;
  std::thread tool([&] { code = RunTool(id + " en"); });
  for (int i = 0; i < 2000 && !LogHas("Update info loaded"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  app->Stop();
  tool.join();
  ASSERT_EQ(code, 0);
  EXPECT_TRUE(LogHas("Process name: " + Software() + "Orvanta.exe")) << Log();
  EXPECT_GT(TimeLeft(), 25000) << Log();
  EXPECT_LT(TimeLeft(), 30000) << Log();
  EXPECT_EQ(testsupport::ReadBytes(Software() + "Orvanta.exe"), program + "release 2");
  EXPECT_TRUE(Pending().empty());
  EXPECT_EQ(WriteAccessLines(), (std::vector<std::string>{"bWaitForWriteAccess() returned true for process.",
                                                          "bWaitForWriteAccess() returned true for ZAMSapiServer.exe.",
                                                          "bWaitForWriteAccess() returned true for ZAMAcapelaServer.exe.",
                                                          "bWaitForWriteAccess() returned true for ZAMDECtalkServer.exe."}));
}

TEST_F(DeviceSideTest, AnApplicationThatNeverEndsAndAHeldSpeechServerAreWaitedForInVain) {
  // The simulator's real waiting for it is spent at once; its clock still runs the 30 s.
  testsupport::SetEnvironment("ORVANTA_SIM_EVENT_WAIT_MS", "0");
  WriteDescriptor("true", {});
  std::string id;
  std::string serverId;
  auto app = StartProgram(Software() + "Orvanta.exe", &id);
  auto server = StartProgram(Software() + "ZAMAcapelaServer.exe", &serverId);
  ASSERT_TRUE(testsupport::CopyProgram("orvanta-device-app", Software() + "ZAMSapiServer.exe"));
  ASSERT_EQ(RunTool(id + " en"), 0);
  EXPECT_EQ(TimeLeft(), 0) << Log();
  EXPECT_EQ(WriteAccessLines(), (std::vector<std::string>{"bWaitForWriteAccess() returned false for process.",
                                                          "bWaitForWriteAccess() returned true for ZAMSapiServer.exe.",
                                                          "bWaitForWriteAccess() returned false for ZAMAcapelaServer.exe.",
                                                          "bWaitForWriteAccess() returned true for ZAMDECtalkServer.exe."}));
  // The waits opened the files they could, and created none.
  EXPECT_FALSE(testsupport::Exists(Software() + "ZAMDECtalkServer.exe"));
}

TEST_F(DeviceSideTest, ALaunchingProcessThatCannotBeOpenedIsNotWaitedFor) {
  WriteDescriptor("true", {});
  ASSERT_EQ(RunTool("7FFFFFF0 en"), 0);
  EXPECT_TRUE(LogHas("Process name: ")) << Log();
  EXPECT_EQ(TimeLeft(), -1);
  EXPECT_TRUE(WriteAccessLines().empty());
}

TEST_F(DeviceSideTest, ADeferredChangeOnTheDeviceEndsInAForcedPlannedRestart) {
  MakeTree("Old", {{"engine.dll", "engine 1"}});
  MakeTree("New", {{"engine.dll", "engine 2"}});
  ASSERT_TRUE(testsupport::WriteBytes(Software() + "engine.dll", "engine 1"));
  Zampack("diff", "SOFTWARE", "Orvanta", {"Old", "New"}, "software.zam");
  WriteDescriptor("true", {"software.zam"});
  {
    testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote(Software() + "engine.dll") + " read none");
    ASSERT_EQ(holder.FirstLine(), "opened");
    ASSERT_EQ(RunTool("7FFFFFF0 en"), 0);
  }
  std::vector<std::string> lines = LogLines();
  auto at = std::find(lines.begin(), lines.end(), "We're on a device. Shutting down.");
  ASSERT_NE(at, lines.end()) << Log();
  EXPECT_EQ(*(at + 1), "End of main().");
  std::vector<std::string> events = Events();
  ASSERT_FALSE(events.empty());
  std::string request = "restart, flags 0x00000006 (EWX_REBOOT|EWX_FORCE), reason 0x80000000 (planned)";
  EXPECT_EQ(events[events.size() - 2].substr(0, 17 + request.size()), "shutdown-request\t" + request);
  // The keep-awake request ends only as the tool exits, after the request.
  EXPECT_EQ(EventNames().back(), "power-request-clear");
  EXPECT_EQ(Sim("shutdown-request").substr(0, request.size()), request);
  std::string output;
  ASSERT_EQ(testsupport::RunProgram("orvanta-sim", "restart", &output), 0) << output;
  EXPECT_EQ(testsupport::ReadBytes(Software() + "engine.dll"), "engine 2");
  EXPECT_EQ(Sim("shutdown-request"), "<missing>");
}

// A restart that the system refuses leaves the device usable: the
// application comes back and the changes wait for the next restart.
TEST_F(DeviceSideTest, ARefusedRestartLaunchesTheApplicationInstead) {
  MakeTree("Old", {{"engine.dll", "engine 1"}});
  MakeTree("New", {{"engine.dll", "engine 2"}});
  ASSERT_TRUE(testsupport::WriteBytes(Software() + "engine.dll", "engine 1"));
  Zampack("diff", "SOFTWARE", "Orvanta", {"Old", "New"}, "software.zam");
  const std::pair<const char*, const char*> refusals[] = {
      {"OpenProcessToken:-1:5", "OpenProcessToken() failed with error 5"},
      {"EnablePrivilege:-1:1300", "AdjustTokenPrivileges() failed with error 1300"},
      {"EndSession:-1:1115", "ExitWindowsEx() failed with error 1115"}};
  for (const auto& [fault, failure] : refusals) {
    std::filesystem::remove(SimPath("events.log"));
    platform::ClearPendingOperations();
    WriteDescriptor("true", {"software.zam"});
    testsupport::SetEnvironment("ORVANTA_SIM_FAULTS", fault);
    {
      testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote(Software() + "engine.dll") + " read none");
      ASSERT_EQ(holder.FirstLine(), "opened");
      ASSERT_EQ(RunTool("7FFFFFF0 en"), 0);
    }
    testsupport::SetEnvironment("ORVANTA_SIM_FAULTS", "");
    EXPECT_TRUE(LogHas(std::string("ERROR: The restart was refused: ") + failure +
                       "; the application is launched and the pending changes wait for the next restart."))
        << Log();
    EXPECT_EQ(Sim("shutdown-request"), "<missing>");
    EXPECT_EQ(EventNames(), (std::vector<std::string>{"power-request-set", "program-start", "power-request-clear"}))
        << fault;
    EXPECT_FALSE(Pending().empty());
  }
}

// Without a descriptor there is no location to search: the program that
// started the run comes back, not some copy elsewhere on the drive.
TEST_F(DeviceSideTest, WithoutADescriptorTheLaunchingApplicationItselfIsRelaunched) {
  ASSERT_TRUE(platform::MakeFolder("C:\\Recovery"));
  ASSERT_TRUE(testsupport::CopyProgram("orvanta-device-app", "C:\\Recovery\\Orvanta.exe"));
  RunToolAsTheApplicationEnds();
  EXPECT_TRUE(LogHas("Relaunching the application that started the update.")) << Log();
  EXPECT_FALSE(LogHas("We'll search for the executable in \"\".")) << Log();
  std::string start;
  for (const std::string& e : Events()) {
    if (e.compare(0, 14, "program-start\t") == 0) start = e;
  }
  EXPECT_EQ(start.substr(0, start.find(";")), "program-start\t" + Software() + "Orvanta.exe") << Sim("events.log");
  platform::RemoveFile("C:\\Recovery\\Orvanta.exe");
  platform::RemoveFolder("C:\\Recovery");
}

TEST_F(DeviceSideTest, WithoutDeferredChangesTheApplicationIsRelaunchedFromTheFolderFound) {
  ASSERT_TRUE(platform::RemoveFile(Software() + "Orvanta.exe"));
  ASSERT_TRUE(platform::MakeFolder(Software() + "Bin"));
  ASSERT_TRUE(testsupport::CopyProgram("orvanta-device-app", Software() + "Bin\\Orvanta.exe"));
  WriteDescriptor("true", {});
  ASSERT_EQ(RunTool("7FFFFFF0 en"), 0);
  EXPECT_TRUE(LogHas("We'll search for the executable in \"" + Software() + "\"."));
  // The location ends in a backslash and the search adds one: Windows reads the doubled separator as one.
  std::string folder = Software() + "\\Bin";
  EXPECT_TRUE(LogHas("Launching \"" + folder + "\\Orvanta.exe\".")) << Log();
  std::vector<std::string> events = Events();
  std::string start;
  for (const std::string& e : events) {
    if (e.compare(0, 14, "program-start\t") == 0) start = e;
  }
  EXPECT_EQ(start.substr(0, start.find("; process")),
            "program-start\t" + Software() + "Bin\\Orvanta.exe; parameters: ; folder: " + folder + "; show: SW_SHOWNA (8)");
  std::string starts;
  for (int i = 0; i < 1000 && starts.find("\r\n") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    starts = testsupport::ReadBytes(Software() + "Bin\\app-starts.log");
  }
  EXPECT_EQ(starts, "Orvanta.exe started in " + Software() + "Bin: \r\n");
}

TEST_F(DeviceSideTest, TheKeepAwakeRequestIsHeldExactlyDuringTheRunAndNotInDemoMode) {
  ASSERT_TRUE(testsupport::CopyProgram("orvanta-device-app", Software() + "Orvanta.exe"));
  WriteDescriptor("true", {});
  ASSERT_EQ(RunTool("7FFFFFF0 en"), 0);
  EXPECT_EQ(EventNames(), (std::vector<std::string>{"power-request-set", "program-start", "power-request-clear"}));
  EXPECT_EQ(Events()[0].substr(0, 54), "power-request-set\tPowerRequestSystemRequired (1), proc");
  EXPECT_EQ(Sim("power-requests.tsv"), "");

  std::filesystem::remove(SimPath("events.log"));
  WriteDescriptor("false", {});
  ASSERT_EQ(RunTool("7FFFFFF0 en"), 0);
  EXPECT_EQ(EventNames(), (std::vector<std::string>{"program-start"}));
  EXPECT_TRUE(LogHas("\"Demo\" mode (meaning not running on a device), so not going to call bAddKeepAwakep()."));
}

TEST_F(DeviceSideTest, ANormalRunOnAConnectedStandbyDeviceLogsInOrder) {
  SetSim("connected-standby", "on\n");
  WriteDescriptor("true", {});
  SetSim("policy.tsv", "HKCU\\Software\\Policies\\Microsoft\\Windows\\System\tDisableCMD\t1\n");
  ASSERT_TRUE(testsupport::CopyProgram("orvanta-device-app", Software() + "ZAMSapiServer.exe"));
  std::string id = RunToolAsTheApplicationEnds();
  std::vector<std::string> lines = LogLines();
  ASSERT_GT(lines.size(), 14u);
  std::string timeLine = "After waiting on hProcess, iTimeOut is " + std::to_string(TimeLeft()) + ".";
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "", "Update tool version: 1.10 2025-05-01", "CMD was disabled. Enabling...",
                       "Command-line arguments: " + id + " en", "bAddKeepAwake() called.",
                       "bSupportsConnectedStandby(): Device DOES support \"connected standby\".",
                       "SetActiveAcDcSettingValues() succeeded.", "bRemoveKeepAwake() called.",
                       "bRemoveKeepAwake() returned false.", "bAddKeepAwake() returned true.",
                       "Process name: " + Software() + "Orvanta.exe", "Update info loaded", timeLine,
                       "bWaitForWriteAccess() returned true for process.",
                       "bWaitForWriteAccess() returned true for ZAMSapiServer.exe.",
                       "bWaitForWriteAccess() returned true for ZAMAcapelaServer.exe.",
                       "bWaitForWriteAccess() returned true for ZAMDECtalkServer.exe.",
                       "Main update process finished (and window destroyed). 0 installers to run.",
                       "Reboot not required.", "Restarting the service is not necessary.", "startApp() called.",
                       "We'll search for the executable in \"" + Software() + "\".",
                       "Launching \"" + Software() + "Orvanta.exe\".", "End of main().", "bRemoveKeepAwake() called.",
                       "bSupportsConnectedStandby(): Device DOES support \"connected standby\".",
                       "bRemoveKeepAwake() returned true.", "End updater execution."}))
      << Log();
  EXPECT_EQ(EventNames(), (std::vector<std::string>{"policy-write", "power-scheme-write", "power-scheme-write",
                                                    "power-scheme-activate", "power-request-set", "program-start",
                                                    "power-request-clear"}));
}

}  // namespace
