// stage and update: packages into a simulated device's update folder, and
// the update tool run there as the device application would start it.
#include "tools/orvanta-sim/simulator/device.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <set>

#include "platform/environment.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/process_list.h"
#include "platform/text.h"
#include "tools/common/count.h"
#include "tools/common/json.h"
#include "tools/orvanta-sim/simulator/run_report.h"
#include "version/package_type.h"

namespace orvanta_sim {

const char* const kUpdateFolder = "C:\\Orvanta\\Update\\";
const char* const kRunLog = "C:\\Orvanta\\update_log.txt";

namespace {

// The programs of the run under way, which StopRunUpdate ends from another
// thread while RunUpdate waits for them; once stopped, the run starts
// nothing more.
std::mutex g_runLock;
platform::Process g_application;
platform::Process g_tool;
bool g_runStopped = false;

// Closes the run's programs when RunUpdate returns, however it returns.
struct RunningPrograms {
  ~RunningPrograms() {
    std::lock_guard<std::mutex> lock(g_runLock);
    g_application = platform::Process();
    g_tool = platform::Process();
  }
};

// Starts a program of the run unless the run has been stopped.
bool StartForRun(platform::Process* program, const std::string& file, const std::string& parameters,
                 const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_runLock);
  if (g_runStopped) return false;
  *program = platform::StartWithShell(file, parameters, folder);
  return true;
}

// How long the device application runs on after starting the update tool.
constexpr int kApplicationStayMs = 200;

// The device's narrow text (Latin-1) of a descriptor value.
std::string Narrow(const char* utf8) { return platform::WideToNarrow(platform::Utf8ToWide(utf8)); }

// A link where a file is about to be written is removed (the link, never
// what it leads to), so that the file is written anew and not through it.
bool ReplaceLink(const fs::path& path, std::string* problem) {
  std::error_code code;
  if (!fs::is_symlink(fs::symlink_status(path, code)) || fs::remove(path, code)) return true;
  *problem = path.string() + ": a link that cannot be replaced: " + code.message();
  return false;
}

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
  // The update folder must lie in its drive (which may itself be a link to
  // a drive image): a link on the way out of it would take the packages and
  // the descriptor outside.
  fs::path real = fs::weakly_canonical(folder, code);
  fs::path device = fs::canonical(HostPathOf(root, "C:\\"), code);
  if (code || std::mismatch(device.begin(), device.end(), real.begin(), real.end()).first != device.end()) {
    *problem = folder.string() + ": leads out of the device (a link)";
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
    if (!ReplaceLink(folder / name, problem)) return false;
    fs::copy_file(package, folder / name, fs::copy_options::overwrite_existing, code);
    if (code) {
      *problem = package + ": " + code.message();
      return false;
    }
    // The signature goes with its package; a stale one of an earlier staging does not stay.
    fs::path signature = package + ".minisig";
    if (fs::exists(signature, code)) {
      fs::copy_file(signature, folder / (name + ".minisig"), fs::copy_options::overwrite_existing, code);
    } else {
      fs::remove(folder / (name + ".minisig"), code);
    }
    if (code) {
      *problem = signature.string() + ": " + code.message();
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
  if (!ReplaceLink(descriptor, problem)) return false;
  errno = 0;
  if (!document.save_file(descriptor.c_str(), "\t", pugi::format_default, pugi::encoding_utf8)) {
    *problem = descriptor.string() + ": cannot be written: " + (errno != 0 ? std::strerror(errno) : "write failed");
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
  RunningPrograms running;
  const platform::Process& app = g_application;
  if (!StartForRun(&g_application, application, stay, folder)) {
    *problem = "the run was stopped";
    return false;
  }
  if (!app.IsValid()) {
    *problem = "cannot start the device application " + application + ": " +
               platform::ErrorText(platform::LastError());
    return false;
  }
  char commandLine[128];
  std::snprintf(commandLine, sizeof(commandLine), "%08X %s", static_cast<unsigned>(platform::ProcessId(app)),
                language.c_str());
  // The tool is a host program outside the device, which a path of the
  // device cannot name: it is named relative to its own folder, made the
  // working directory for the start.
  std::error_code code;
  fs::path working = fs::current_path(code);
  fs::current_path(fs::path(toolPath).parent_path(), code);
  const platform::Process& tool = g_tool;
  bool started = StartForRun(&g_tool, ".\\" + fs::path(toolPath).filename().string(), commandLine, kUpdateFolder);
  platform::Dword error = platform::LastError();
  fs::current_path(working, code);
  platform::SetLastErrorCode(error);
  if (!started) {
    *problem = "the run was stopped";
    return false;
  }
  if (!tool.IsValid()) {
    *problem = "cannot start the update tool " + toolPath + ": " + platform::ErrorText(platform::LastError());
    return false;
  }
  platform::WaitForProcess(tool, 0xFFFFFFFF);
  platform::WaitForProcess(app, 0xFFFFFFFF);
  return true;
}

void StopRunUpdate() {
  std::lock_guard<std::mutex> lock(g_runLock);
  g_runStopped = true;
  // The tool first, so that it starts nothing more.
  for (const platform::Process* program : {&g_tool, &g_application}) {
    if (program->IsValid()) platform::TerminateProcess(*program, 1);
  }
}

void EndRunUpdate() {
  StopRunUpdate();
  // Then what the run started (an application relaunched, an installer,
  // a service), each waited for, so that none writes to the device after;
  // again while a pass ends something, for what an ended program started.
  for (int pass = 0; pass < 3; ++pass) {
    std::vector<platform::ProcessEntry> processes;
    if (!platform::ListProcesses(&processes)) return;
    int ended = 0;
    for (const platform::ProcessEntry& entry : processes) {
      if (entry.processId == platform::CurrentProcessId()) continue;
      platform::Process process = platform::OpenProcessById(entry.processId, platform::kMaximumAllowed);
      if (process.IsValid() && platform::TerminateProcess(process, 1)) {
        platform::WaitForProcess(process, 5000);
        ++ended;
      }
    }
    if (ended == 0) return;
  }
}

int Stage(const std::string& device, const std::vector<std::string>& arguments) {
  if (arguments.size() < 2) {
    std::fputs("usage: orvanta-sim stage [--device DEVICE | DEVICE] PACKAGE...\n", stderr);
    return 2;
  }
  std::string problem;
  std::vector<std::string> notes;
  std::vector<std::string> packages(arguments.begin() + 1, arguments.end());
  StagePackages(device, packages, &notes, &problem);
  for (const std::string& note : notes) std::printf("note: %s\n", note.c_str());
  if (!problem.empty()) {
    std::fprintf(stderr, "orvanta-sim stage: %s\n", problem.c_str());
    return 1;
  }
  std::printf("staged %s in %s (UpdateInfo.xml lists them in this order)\n", tools::Count(packages.size(), "package").c_str(),
              kUpdateFolder);
  return 0;
}

namespace {

// The packages the descriptor lists, with their header fields where the
// file is there to read.
std::vector<PackageReport> ListedPackages(const fs::path& root) {
  std::vector<PackageReport> packages;
  pugi::xml_document document;
  document.load_file(HostPathOf(root, std::string(kUpdateFolder) + "UpdateInfo.xml").c_str());
  for (pugi::xml_node file : document.child("UpdateInfo").child("UpdateList").children()) {
    if (file.type() != pugi::node_element) continue;
    PackageReport package;
    package.file = file.text().get();
    fs::path host = HostPathOf(root, kUpdateFolder + Narrow(package.file.c_str()));
    ReadPackageHeader(ReadAll(host), &package);
    ReadPackageSignature(host, &package);
    packages.push_back(package);
  }
  return packages;
}

// How the run handed the device back, from the device's timeline after the
// tool was started: the installers, restart requests, service starts and
// programs it started.
void ReadEndings(const std::string& timeline, const std::string& toolPath, const std::string& application,
                 std::vector<std::string>* endings, std::vector<std::string>* events) {
  bool toolStarted = false;
  for (std::size_t start = 0; start < timeline.size();) {
    std::size_t end = timeline.find('\n', start);
    if (end == std::string::npos) end = timeline.size();
    std::string line = timeline.substr(start, end - start);
    start = end + 1;
    std::size_t tab = line.find('\t');
    std::size_t second = tab == std::string::npos ? std::string::npos : line.find('\t', tab + 1);
    if (second == std::string::npos) continue;
    std::string event = line.substr(tab + 1, second - tab - 1);
    std::string details = line.substr(second + 1);
    if (!toolStarted) {
      toolStarted = event == "program-start" && details.rfind(toolPath + ";", 0) == 0;
      continue;
    }
    std::string ending;
    if (event == "program-start" && FoldCase(details).rfind(FoldCase(application) + ";", 0) == 0) {
      ending = "application launched";
    } else if (event == "program-start" && FoldCase(details).find("msiexec") != std::string::npos) {
      ending = "installers run";
    } else if (event == "program-start") {
      ending = "program started";
    } else if (event == "shutdown-request") {
      ending = "restart requested";
    } else if (event == "service-start") {
      ending = "service restarted";
    } else if (event == "service-start-failed") {
      ending = "service start failed";
    } else {
      continue;
    }
    if (std::find(endings->begin(), endings->end(), ending) == endings->end()) endings->push_back(ending);
    events->push_back(event + ": " + details);
  }
}

// Why nothing reached the run log: the reason opening it for writing fails
// here, as it failed for the tool.
std::string LogProblem(const fs::path& root) {
  std::string log = HostPathOf(root, kRunLog).string();
  std::error_code code;
  bool existed = fs::exists(log, code);
  platform::File file = platform::OpenFile(kRunLog, platform::kGenericWrite, platform::kShareRead,
                                           platform::Disposition::OpenAlways, platform::kAttributeNormal);
  if (!file.IsValid()) {
    return "the update tool wrote nothing to its run log " + log + ": it cannot be opened for writing (" +
           platform::ErrorText(platform::LastError()) + ")";
  }
  file.Close();
  if (!existed) fs::remove(log, code);
  return "the update tool wrote nothing to its run log " + log;
}

std::vector<std::string> FirstOf(const std::vector<std::string>& lines, std::size_t count) {
  return std::vector<std::string>(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(count, lines.size())));
}

}  // namespace

int Update(const std::string& device, const std::vector<std::string>& arguments) {
  const char* usage = "usage: orvanta-sim update [--device DEVICE | DEVICE] [--lang TAG] [--json]";
  std::string language = "en-US";
  bool json = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--lang" && i + 1 < arguments.size()) {
      language = arguments[++i];
    } else if (arguments[i] == "--json") {
      json = true;
    } else {
      std::fprintf(stderr, "orvanta-sim update: unexpected %s\n%s\n", arguments[i].c_str(), usage);
      return 2;
    }
  }
  std::fputs(LanguageWarning("update", language).c_str(), stderr);
  std::error_code code;
  fs::path root = fs::absolute(device, code);
  fs::path log = HostPathOf(root, kRunLog);
  fs::path timeline = root / "sim" / "events.log";
  std::size_t logStart = ReadAll(log).size();
  std::size_t timelineStart = ReadAll(timeline).size();
  fs::remove(root / "sim" / "window.txt", code);
  RunReport run;
  run.packages = ListedPackages(root);
  std::string tool = ProgramBeside("orvanta-update").string();
  std::string problem;
  if (!RunUpdate(root, language, {}, tool, &problem)) {
    std::fprintf(stderr, "orvanta-sim update: %s\n", problem.c_str());
    if (json) {
      std::printf("{\n  \"device\": %s,\n  \"problems\": [%s],\n  \"outcome\": \"the update did not run\",\n"
                  "  \"exitCode\": 2\n}\n",
                  tools::JsonString(root.string()).c_str(), tools::JsonString(problem).c_str());
    }
    return 2;
  }
  std::vector<std::string> lines = LogLines(ReadAll(log), logStart);
  ReadRun(lines, ReadAll(root / "sim" / "window.txt"), &run);
  std::vector<platform::PendingOperation> pending;
  platform::ListPendingOperations(&pending);
  std::vector<std::string> locations;
  ReadLocations(root, &locations);
  std::vector<std::string> endings;
  std::vector<std::string> endingEvents;
  ReadEndings(ReadAll(timeline).substr(std::min(timelineStart, ReadAll(timeline).size())), tool,
              ApplicationPath(locations), &endings, &endingEvents);
  if (endings.empty() && run.decision == "prompt") endings.push_back("restart prompt shown");

  std::vector<std::string> problems;
  if (lines.empty()) problems.push_back(LogProblem(root));
  else if (!run.loaded) problems.push_back("the update tool ended before it read its descriptor");
  else if (!run.ended) problems.push_back("the run log does not end with \"End updater execution.\": the tool did not finish");
  bool applied = std::all_of(run.packages.begin(), run.packages.end(),
                             [](const PackageReport& p) { return std::string(Outcome(p)) == "applied"; });
  int result = !run.loaded ? 2 : (run.errors.empty() && applied && problems.empty()) ? 0 : 1;
  const char* verdict = result == 0   ? "every package applied without an ERROR line"
                        : result == 1 ? "the run had errors"
                                      : "the update did not run";
  std::string decision;
  for (const std::string& ending : endings) decision += (decision.empty() ? "" : ", ") + ending;
  if (decision.empty()) decision = "none seen";
  std::vector<std::string> pendingTexts;
  for (const platform::PendingOperation& op : pending) pendingTexts.push_back(platform::NarrowToUtf8(OperationText(op)));

  if (json) {
    using tools::JsonString;
    std::string out = "{\n  \"device\": " + JsonString(root.string()) + ",\n  \"language\": " + JsonString(language) +
                      ",\n  \"packages\": " + PackagesJson(run.packages) +
                      ",\n  \"errorCount\": " + std::to_string(run.errors.size()) +
                      ",\n  \"errors\": " + JsonList(run.errors) + ",\n  \"pending\": [";
    for (std::size_t i = 0; i < pending.size(); ++i) out += (i == 0 ? "" : ", ") + OperationJson(pending[i]);
    out += "],\n  \"decision\": " + JsonString(decision) + ",\n  \"endings\": " + JsonList(endings) +
           ",\n  \"decisionEvents\": " + JsonList(endingEvents) + ",\n  \"problems\": " + JsonList(problems) +
           ",\n  \"runLog\": " + JsonString(log.string()) + ",\n  \"outcome\": " + JsonString(verdict) +
           ",\n  \"exitCode\": " + std::to_string(result) + "\n}\n";
    std::fputs(out.c_str(), stdout);
    return result;
  }
  constexpr std::size_t kShown = 3;
  std::printf("Update of %s (%s): %s\n", root.string().c_str(), language.c_str(), verdict);
  for (const std::string& line : problems) std::printf("  %s\n", line.c_str());
  PrintPackages(run.packages, kShown);
  std::printf("ERROR lines in the run log: %zu\n", run.errors.size());
  for (const std::string& line : FirstOf(run.errors, kShown)) std::printf("  %s\n", line.c_str());
  if (run.errors.size() > kShown) std::printf("  (%zu more in the run log)\n", run.errors.size() - kShown);
  PrintList("Pending for the restart", pendingTexts);
  std::printf("Final decision: %s\n", decision.c_str());
  for (const std::string& event : endingEvents) std::printf("  %s\n", event.c_str());
  std::printf("Run log: %s\n", log.string().c_str());
  std::printf("Exit code %d\n", result);
  return result;
}

std::string DeviceProblem() { return DeviceRootProblem(DeviceRoot()); }

int SimulatorCommand(const std::string& device, const std::vector<std::string>& arguments) {
  const std::string& command = arguments[0];
  if (command == "stage") return Stage(device, arguments);
  if (command == "update") return Update(device, arguments);
  return Try(device, arguments);
}

}  // namespace orvanta_sim
