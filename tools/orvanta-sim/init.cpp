// orvanta-sim init: a simulated device laid out on the host, ready for an
// update: system folders, a recording msiexec, the device application and
// the speech servers (real programs that record their starts), the update
// tool's folder with a descriptor, the folders the descriptor's locations
// name, and the device's power settings and OS version.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "package/minisign.h"
#include "platform/process_list.h"
#include "platform/text.h"
#include "tools/orvanta-sim/commands.h"

namespace orvanta_sim {
namespace {

const char kMsiexec[] =
    "#!/bin/sh\n"
    "# The simulated device's installer host: records its command line and runs\n"
    "# an installer that is itself a shell script (one beginning with \"#!\").\n"
    "sim=\"${ORVANTA_DEVICE_ROOT:-$HOME/.orvanta/device}/sim\"\n"
    "mkdir -p \"$sim\"\n"
    "printf '%s\\n' \"$ORVANTA_SIM_COMMAND_LINE\" >> \"$sim/msiexec.log\"\n"
    "package=\"\"\n"
    "while [ $# -gt 0 ]; do\n"
    "  if [ \"$1\" = \"/I\" ] || [ \"$1\" = \"/i\" ]; then package=\"$2\"; shift; fi\n"
    "  shift\n"
    "done\n"
    "leaf=\"${package##*\\\\}\"\n"
    "if [ -n \"$leaf\" ] && [ -f \"$leaf\" ] && [ \"$(head -c 2 \"$leaf\")\" = \"#!\" ]; then\n"
    "  sh \"$leaf\"\n"
    "fi\n"
    "exit 0\n";

// The device application and the speech servers: copies of
// orvanta-device-app, the real program built beside this one.
const char* const kPrograms[] = {"Orvanta.exe", "ZAMSapiServer.exe", "ZAMAcapelaServer.exe", "ZAMDECtalkServer.exe"};

// False, with the path and the system's reason on standard error, when the
// file cannot be written.
bool WriteFile(const fs::path& path, const std::string& content, bool executable) {
  errno = 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  if (!out) {
    std::cerr << "orvanta-sim: cannot write " << path.string() << ": "
              << (errno != 0 ? std::strerror(errno) : "write failed") << "\n";
    return false;
  }
  if (executable) {
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ignored);
  }
  return true;
}

}  // namespace

fs::path ProgramBeside(const std::string& name) {
  fs::path own = platform::OwnProgramPath();
  return own.parent_path() / (name + own.extension().string());
}

std::string DefaultDescriptor(bool onDevice) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<UpdateInfo>\r\n";
  xml += std::string("\t<IsTargetHardware>") + (onDevice ? "true" : "false") + "</IsTargetHardware>\r\n";
  xml += "\t<LocationInfo>\r\n";
  for (const auto& location : tools::kDefaultLocations) {
    xml += std::string("\t\t<") + location[0] + "><Path>" + location[1] + "</Path></" + location[0] + ">\r\n";
  }
  xml += "\t</LocationInfo>\r\n\t<UpdateList>\r\n\t</UpdateList>\r\n</UpdateInfo>\r\n";
  return xml;
}

bool InstallMsiexec(const fs::path& root) {
  std::error_code ignored;
  fs::path folder = HostPathOf(root, "C:\\Windows\\System32\\");
  fs::create_directories(folder, ignored);
  return WriteFile(folder / "msiexec.exe", kMsiexec, true);
}

bool InstallDeviceApp(const fs::path& host) {
  fs::path program = ProgramBeside("orvanta-device-app");
  std::error_code error;
  fs::create_directories(host.parent_path(), error);
  fs::copy_file(program, host, fs::copy_options::overwrite_existing, error);
  if (error) std::cerr << "orvanta-sim: cannot copy " << program.string() << ": " << error.message() << "\n";
  return !error;
}

int Init(const std::string& folder, bool onDevice, bool withService, const std::vector<std::string>& keyFiles) {
  fs::path root = folder;
  std::error_code error;
  if (fs::exists(root / "sim", error)) {
    std::cerr << "orvanta-sim: " << folder << " already holds a device\n";
    return 1;
  }
  // The device's trusted keys: every key file must hold a key, or the device
  // would refuse every package.
  std::string keys;
  for (const std::string& keyFile : keyFiles) {
    std::ifstream in(keyFile, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) text.clear();
    if (minisign::ParsePublicKeys(text).empty()) {
      std::cerr << "orvanta-sim: " << keyFile << " holds no minisign public key\n";
      return 1;
    }
    keys += text + (text.empty() || text.back() == '\n' ? "" : "\n");
  }
  std::vector<std::string> folders = {"C:\\Windows\\System32\\", "C:\\Windows\\OEM\\ZAMHelper\\",
                                      "C:\\ProgramData\\", "C:\\Orvanta\\Update\\"};
  for (const auto& location : tools::kDefaultLocations) folders.push_back(location[1]);
  for (const std::string& device : folders) fs::create_directories(HostPathOf(root, device), error);
  fs::create_directories(root / "sim", error);
  if (error) {
    std::cerr << "orvanta-sim: cannot lay out " << folder << ": " << error.message() << "\n";
    return 1;
  }
  fs::path software = HostPathOf(root, tools::kDefaultLocations[0][1]);
  bool ok = InstallMsiexec(root) &&
            WriteFile(HostPathOf(root, "C:\\Orvanta\\Update\\") / "UpdateInfo.xml", DefaultDescriptor(onDevice), false);
  for (const char* name : kPrograms) ok = ok && InstallDeviceApp(software / name);
  // A device has connected standby and the system's default request timeout; a PC has neither.
  ok = ok && WriteFile(root / "sim" / "screen.txt", "1280 800\n", false) &&
       WriteFile(root / "sim" / "os-version", "10.0\n", false) &&
       WriteFile(root / "sim" / "connected-standby", onDevice ? "on\n" : "off\n", false);
  if (onDevice) {
    std::string prefix = "{2E601130-5351-4D9D-8E04-252966BAD054}\t{3166BC41-7E98-4E03-B34E-EC0F5F2B218E}\t";
    ok = ok && WriteFile(root / "sim" / "power-scheme.tsv", prefix + "ac\t300\n" + prefix + "dc\t300\n", false);
  }
  if (!ok) {
    std::cerr << "orvanta-sim: cannot write the device's files under " << folder << "\n";
    return 1;
  }
  if (!keyFiles.empty() && !WriteFile(HostPathOf(root, kDeviceKeys), keys, false)) {
    std::cerr << "orvanta-sim: cannot write the device's keys under " << folder << "\n";
    return 1;
  }
  if (withService && !InstallDeviceService(folder, HostPathOf(root, "C:\\Windows\\OEM\\").string())) return 1;
  std::cout << "A simulated device is ready in " << folder << ".\n"
            << "  export ORVANTA_DEVICE_ROOT=" << fs::absolute(root).string() << "\n"
            << "  the update tool's folder: C:\\Orvanta\\Update (its descriptor: UpdateInfo.xml)\n"
            << "  the device application: C:\\Program Files\\Orvanta\\Orvanta.exe\n"
            << "  its timeline: orvanta-sim events; its state: orvanta-sim show\n";
  if (withService) std::cout << "  the device service ZAMService runs: C:\\Windows\\OEM\\ZAMService.exe\n";
  if (!keyFiles.empty()) {
    std::cout << "  it runs only signed packages: its keys are " << kDeviceKeys << "\n";
  }
  return 0;
}

}  // namespace orvanta_sim
