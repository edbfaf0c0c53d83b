// stage and update: packages into a simulated device's update folder, and
// the update tool run there as the device application would start it.
#include "tools/orvanta-sim/simulator/device.h"

#include <pugixml.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>

#include "platform/environment.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/text.h"
#include "version/package_type.h"

namespace orvanta_sim {

const char* const kUpdateFolder = "C:\\Orvanta\\Update\\";
const char* const kRunLog = "C:\\Orvanta\\update_log.txt";

namespace {

// How long the device application runs on after starting the update tool.
constexpr int kApplicationStayMs = 200;

// The device's narrow text (Latin-1) of a descriptor value.
std::string Narrow(const char* utf8) { return platform::WideToNarrow(platform::Utf8ToWide(utf8)); }

}  // namespace

std::string DeviceRootProblem(const std::string& root) {
  std::error_code code;
  fs::file_status status = fs::status(root, code);
  if (code) return root + ": " + code.message();
  if (!fs::is_directory(status)) return root + ": not a folder";
  for (auto it = fs::directory_iterator(root, code); !code && it != fs::directory_iterator(); it.increment(code)) {
    std::string name = it->path().filename().string();
    if (name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z' && it->is_directory(code)) return std::string();
  }
  return root + ": holds no simulated device (no drive folder such as " + (fs::path(root) / "C").string() +
         "; orvanta-sim init lays one out, and a copy of a real device's drive C: goes into ROOT/C)";
}

bool ReadLocations(const fs::path& root, std::vector<std::string>* locations) {
  pugi::xml_document document;
  if (!document.load_file(HostPathOf(root, std::string(kUpdateFolder) + "UpdateInfo.xml").c_str())) return false;
  pugi::xml_node info = document.child("UpdateInfo");
  if (!info) return false;
  locations->assign(version::kPackageTypeCount, std::string());
  pugi::xml_node where = info.child("LocationInfo");
  for (int type = 0; type < version::kPackageTypeCount; ++type) {
    std::string name = platform::WideToUtf8(version::PackageTypeName(type));
    (*locations)[static_cast<std::size_t>(type)] = Narrow(where.child(name.c_str()).child("Path").text().get());
  }
  return true;
}

std::string ApplicationPath(const std::vector<std::string>& locations) {
  std::string folder = locations.empty() ? std::string() : locations[version::SOFTWARE];
  if (folder.empty()) return std::string();
  if (folder.back() != '\\') folder += '\\';
  return folder + "Orvanta.exe";
}

std::string ProgramProblem(const fs::path& host) {
  std::ifstream in(host, std::ios::binary);
  if (!in) return host.string() + ": missing";
  char magic[4] = {};
  in.read(magic, 4);
  if ((magic[0] == '#' && magic[1] == '!') || (magic[0] == '\x7f' && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F')) {
    return std::string();
  }
  return host.string() + ": not a program this host can run (a Windows program from a real device?)";
}

bool StagePackages(const fs::path& root, const std::vector<std::string>& packages, std::vector<std::string>* notes,
                   std::string* problem) {
  fs::path folder = HostPathOf(root, kUpdateFolder);
  fs::path descriptor = folder / "UpdateInfo.xml";
  std::error_code code;
  fs::create_directories(folder, code);
  if (code) {
    *problem = folder.string() + ": " + code.message();
    return false;
  }
  pugi::xml_document document;
  if (!fs::exists(descriptor, code)) {
    document.load_string(DefaultDescriptor(true).c_str());
    notes->push_back("the device had no " + std::string(kUpdateFolder) +
                     "UpdateInfo.xml: wrote one with the locations of orvanta-sim init");
  } else if (!document.load_file(descriptor.c_str()) || !document.child("UpdateInfo")) {
    *problem = descriptor.string() + ": not a descriptor the update tool can read";
    return false;
  }
  std::set<std::string> names;
  for (const std::string& package : packages) {
    std::string name = fs::path(package).filename().string();
    if (!names.insert(FoldCase(name)).second) {
      *problem = package + ": a second package named " + name + "; the update folder holds one file of a name";
      return false;
    }
    fs::copy_file(package, folder / name, fs::copy_options::overwrite_existing, code);
    if (code) {
      *problem = package + ": " + code.message();
      return false;
    }
  }
  pugi::xml_node info = document.child("UpdateInfo");
  pugi::xml_node list = info.child("UpdateList");
  if (!list) list = info.append_child("UpdateList");
  while (list.first_child()) list.remove_child(list.first_child());
  for (const std::string& package : packages) {
    list.append_child("File").text().set(fs::path(package).filename().string().c_str());
  }
  if (!document.save_file(descriptor.c_str(), "\t", pugi::format_default, pugi::encoding_utf8)) {
    *problem = descriptor.string() + ": cannot be written";
    return false;
  }
  return true;
}

bool RunUpdate(const fs::path& root, const std::string& language, const std::vector<Hold>& holds,
               const std::string& toolPath, std::string* problem) {
  std::vector<std::string> locations;
  if (!ReadLocations(root, &locations)) {
    *problem = HostPathOf(root, std::string(kUpdateFolder) + "UpdateInfo.xml").string() +
               ": missing or unreadable (orvanta-sim stage writes it)";
    return false;
  }
  std::string application = ApplicationPath(locations);
  if (application.empty()) {
    *problem = "the descriptor names no SOFTWARE location, where the device application lives";
    return false;
  }
  std::string programProblem = ProgramProblem(HostPathOf(root, application));
  if (!programProblem.empty()) {
    *problem = "the device application " + programProblem;
    return false;
  }
  programProblem = ProgramProblem(toolPath);
  if (!programProblem.empty()) {
    *problem = "the update tool " + programProblem;
    return false;
  }
  std::vector<platform::File> held;
  for (const Hold& hold : holds) {
    platform::File file = platform::OpenFile(hold.path, platform::kGenericRead,
                                             hold.shareRead ? platform::kShareRead : platform::kShareNone,
                                             platform::Disposition::OpenExisting, platform::kAttributeNormal);
    if (!file.IsValid()) {
      *problem = "cannot hold " + hold.path + ": " + platform::ErrorText(platform::LastError());
      return false;
    }
    held.push_back(std::move(file));
  }
  // As on the device: the application starts the tool with its own process
  // id and ends a moment later; the tool waits for it. The simulator's
  // device application stays as long as --stay-ms says.
  std::string folder = application.substr(0, application.rfind('\\'));
  std::string stay = "--stay-ms " + std::to_string(kApplicationStayMs);
  platform::Process app = platform::StartWithShell(application, stay, folder);
  if (!app.IsValid()) {
    *problem = "cannot start the device application " + application + ": " +
               platform::ErrorText(platform::LastError());
    return false;
  }
  char commandLine[128];
  std::snprintf(commandLine, sizeof(commandLine), "%08X %s", static_cast<unsigned>(platform::ProcessId(app)),
                language.c_str());
  platform::Process tool = platform::StartWithShell(toolPath, commandLine, kUpdateFolder);
  if (!tool.IsValid()) {
    *problem = "cannot start the update tool " + toolPath + ": " + platform::ErrorText(platform::LastError());
    return false;
  }
  platform::WaitForProcess(tool, 0xFFFFFFFF);
  platform::WaitForProcess(app, 0xFFFFFFFF);
  return true;
}

int Stage(const std::vector<std::string>& arguments) {
  if (arguments.size() < 3) {
    std::fputs("usage: orvanta-sim stage ROOT PACKAGE...\n", stderr);
    return 2;
  }
  std::string problem = DeviceRootProblem(arguments[1]);
  std::vector<std::string> notes;
  std::vector<std::string> packages(arguments.begin() + 2, arguments.end());
  if (problem.empty()) StagePackages(arguments[1], packages, &notes, &problem);
  for (const std::string& note : notes) std::printf("note: %s\n", note.c_str());
  if (!problem.empty()) {
    std::fprintf(stderr, "orvanta-sim stage: %s\n", problem.c_str());
    return 1;
  }
  std::printf("staged %zu packages in %s (UpdateInfo.xml lists them in this order)\n", packages.size(), kUpdateFolder);
  return 0;
}

int Update(const std::vector<std::string>& arguments) {
  std::string root;
  std::string language = "en-US";
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--lang" && i + 1 < arguments.size()) {
      language = arguments[++i];
    } else if (arguments[i].rfind("--", 0) == 0 || !root.empty()) {
      std::fprintf(stderr, "orvanta-sim update: unexpected %s\nusage: orvanta-sim update ROOT [--lang TAG]\n",
                   arguments[i].c_str());
      return 2;
    } else {
      root = arguments[i];
    }
  }
  if (root.empty()) {
    std::fputs("usage: orvanta-sim update ROOT [--lang TAG]\n", stderr);
    return 2;
  }
  std::string problem = DeviceRootProblem(root);
  std::error_code code;
  if (problem.empty()) {
    fs::path absolute = fs::absolute(root, code);
    platform::SetEnvironmentValue("ORVANTA_DEVICE_ROOT", absolute.string());
    RunUpdate(absolute, language, {}, ProgramBeside("orvanta-update").string(), &problem);
  }
  if (!problem.empty()) {
    std::fprintf(stderr, "orvanta-sim update: %s\n", problem.c_str());
    return 1;
  }
  std::printf("the update tool has ended; its log is %s\n", kRunLog);
  return 0;
}

std::string DeviceProblem() {
  const char* root = std::getenv("ORVANTA_DEVICE_ROOT");
  const char* home = std::getenv("HOME");
  std::string path = root != nullptr && *root != '\0' ? root : std::string(home != nullptr ? home : "") + "/.orvanta/device";
  return DeviceRootProblem(path);
}

int SimulatorCommand(const std::vector<std::string>& arguments) {
  const std::string& command = arguments[0];
  if (command == "stage") return Stage(arguments);
  if (command == "update") return Update(arguments);
  return Try(arguments);
}

}  // namespace orvanta_sim
