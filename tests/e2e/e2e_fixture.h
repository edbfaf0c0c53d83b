#pragma once
// Whole-program scenarios: the real update tool on a fresh device laid out
// in the scratch folder, with its descriptor, packages made by zampack, and
// the outcome read from the log, the window text and the device's files.
#include <map>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/restart.h"
#include "tests/support/scratch.h"

namespace e2e {

class E2eTest : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    testsupport::SetEnvironment("ORVANTA_SIM_TIME_SCALE", "0");
    testsupport::SetEnvironment("ORVANTA_SIM_EVENT_WAIT_MS", "");
    testsupport::SetEnvironment("ORVANTA_SIM_FAULTS", "");
    platform::ClearPendingOperations();
    for (const char* folder : {"Update", "Device", "Device\\App", "Device\\Languages", "Release"}) {
      ASSERT_TRUE(platform::MakeFolder(PathOf(folder)));
    }
    // The device application, which a run without a restart launches at its end.
    ASSERT_TRUE(testsupport::CopyProgram("orvanta-device-app", Software() + "Orvanta.exe"));
  }
  void TearDown() override {
    platform::ClearPendingOperations();
    ScratchTest::TearDown();
  }

  std::string Software() { return PathOf("Device\\App\\"); }

  // UpdateInfo.xml in the tool's folder: SOFTWARE goes to Device\App\, every
  // other type to Device\<type name>\ (LANGUAGE_PACKAGE to Device\Languages\).
  void WriteDescriptor(const std::string& isTargetHardware, const std::vector<std::string>& packages) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<UpdateInfo>\r\n";
    if (!isTargetHardware.empty()) xml += "<IsTargetHardware>" + isTargetHardware + "</IsTargetHardware>\r\n";
    xml += "<LocationInfo>\r\n<SOFTWARE><Path>" + Software() + "</Path></SOFTWARE>\r\n";
    xml += "<LANGUAGE_PACKAGE><Path>" + PathOf("Device\\Languages\\") + "</Path></LANGUAGE_PACKAGE>\r\n";
    xml += "<HW_LIBRARY><Path>" + PathOf("Device\\HW\\") + "</Path></HW_LIBRARY>\r\n";
    xml += "</LocationInfo>\r\n<UpdateList>\r\n";
    for (const std::string& package : packages) xml += "<Package>" + package + "</Package>\r\n";
    xml += "</UpdateList>\r\n</UpdateInfo>\r\n";
    ASSERT_TRUE(testsupport::WriteBytes(PathOf("Update\\UpdateInfo.xml"), xml));
  }

  // Creates the missing folders above `path`.
  static void MakeParents(const std::string& path) {
    for (std::size_t cut = path.find('\\', 3); cut != std::string::npos; cut = path.find('\\', cut + 1)) {
      std::string parent = path.substr(0, cut);
      if (platform::FileAttributes(parent) == platform::kInvalidAttributes) platform::MakeFolder(parent);
    }
  }

  // Files of a release tree in the scratch folder, for zampack.
  void MakeTree(const std::string& folder, const std::map<std::string, std::string>& files) {
    ASSERT_TRUE(platform::MakeFolder(PathOf(folder)));
    for (const auto& [path, content] : files) {
      MakeParents(PathOf(folder + "\\" + path));
      ASSERT_TRUE(testsupport::WriteBytes(PathOf(folder + "\\" + path), content));
    }
  }

  // zampack ARGUMENTS with device paths given as host paths; the package goes into the tool's folder.
  void Zampack(const std::string& command, const std::string& type, const std::string& name,
               const std::vector<std::string>& trees, const std::string& package) {
    std::string arguments = command + " --type " + type + " --name " + name + " --detail 2.0";
    for (const std::string& tree : trees) arguments += " " + testsupport::Quote(testsupport::HostPathOf(PathOf(tree)));
    arguments += " -o " + testsupport::Quote(testsupport::HostPathOf(PathOf("Update\\" + package)));
    std::string output;
    ASSERT_EQ(testsupport::RunProgram("zampack", arguments, &output), 0) << output;
  }

  // Runs the update tool in its folder with `commandLine`; returns its exit code.
  int RunTool(const std::string& commandLine) {
    testsupport::ChangeDirectory(PathOf("Update"));
    std::string output;
    int code = testsupport::RunProgram(testsupport::UpdateToolName(), commandLine, &output);
    testsupport::ChangeDirectory(Dir());
    return code;
  }

  std::string Log() { return testsupport::ReadBytes(PathOf("update_log.txt")); }

  // The log without its time prefixes, one entry per line.
  std::vector<std::string> LogLines() { return testsupport::LogEntries(Log()); }

  bool LogHas(const std::string& line) {
    for (const std::string& l : LogLines()) {
      if (l == line) return true;
    }
    return false;
  }

  std::vector<platform::PendingOperation> Pending() {
    std::vector<platform::PendingOperation> operations;
    EXPECT_TRUE(platform::ListPendingOperations(&operations));
    return operations;
  }
};

}  // namespace e2e
