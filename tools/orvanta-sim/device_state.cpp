// orvanta-sim set, show and events: the simulated device's state in its
// files under sim/, as the README's table of the simulator's records gives
// them.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/restart.h"
#include "tools/orvanta-sim/commands.h"

namespace orvanta_sim {
namespace {

namespace fs = std::filesystem;

const char kPolicyKey[] = "HKCU\\Software\\Policies\\Microsoft\\Windows\\System";
const char kIdleResiliency[] = "{2E601130-5351-4D9D-8E04-252966BAD054}";
const char kExecutionRequiredTimeout[] = "{3166BC41-7E98-4E03-B34E-EC0F5F2B218E}";

fs::path SimFolder() { return fs::path(DeviceRoot()) / "sim"; }

std::vector<std::string> Lines(const std::string& name) {
  std::vector<std::string> lines;
  std::ifstream in(SimFolder() / name, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

bool WriteLines(const std::string& name, const std::vector<std::string>& lines) {
  std::error_code error;
  fs::create_directories(SimFolder(), error);
  errno = 0;
  std::ofstream out(SimFolder() / name, std::ios::binary | std::ios::trunc);
  for (const std::string& line : lines) out << line << '\n';
  out.close();
  if (!out) {
    std::cerr << "orvanta-sim: cannot write " << (SimFolder() / name).string() << ": "
              << (error ? error.message() : std::strerror(errno)) << "\n";
    return false;
  }
  return true;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

// A 32-bit value in decimal or with 0x in hexadecimal.
bool ParseValue(const std::string& text, unsigned long* value) {
  if (text.empty() || text[0] == '-') return false;
  char* end = nullptr;
  unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || parsed > 0xFFFFFFFFull) return false;
  *value = static_cast<unsigned long>(parsed);
  return true;
}

// Replaces the lines whose first `keyFields` fields equal those of `line`.
std::vector<std::string> Replace(std::vector<std::string> lines, const std::string& line, std::size_t keyFields) {
  std::vector<std::string> key = Fields(line);
  key.resize(keyFields);
  std::vector<std::string> kept;
  for (const std::string& existing : lines) {
    std::vector<std::string> fields = Fields(existing);
    fields.resize(keyFields);
    if (fields != key) kept.push_back(existing);
  }
  kept.push_back(line);
  return kept;
}

int Usage() {
  std::cerr << "usage: orvanta-sim set connected-standby on|off\n"
               "       orvanta-sim set timeout AC DC\n"
               "       orvanta-sim set os-version MAJOR.MINOR\n"
               "       orvanta-sim set policy NAME VALUE\n";
  return 2;
}

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", value);
  return text;
}

}  // namespace

std::string DeviceRoot() {
  const char* root = std::getenv("ORVANTA_DEVICE_ROOT");
  if (root != nullptr && *root != '\0') return root;
  const char* home = std::getenv("HOME");
  return (fs::path(home != nullptr ? home : "") / ".orvanta" / "device").string();
}

int SetTimeout(unsigned long ac, unsigned long dc) {
  std::vector<std::string> lines = Lines("power-scheme.tsv");
  std::string prefix = std::string(kIdleResiliency) + "\t" + kExecutionRequiredTimeout + "\t";
  lines = Replace(lines, prefix + "ac\t" + std::to_string(ac), 3);
  lines = Replace(lines, prefix + "dc\t" + std::to_string(dc), 3);
  return WriteLines("power-scheme.tsv", lines) ? 0 : 1;
}

int Set(const std::vector<std::string>& arguments) {
  if (arguments.size() == 2 && arguments[0] == "connected-standby" &&
      (arguments[1] == "on" || arguments[1] == "off")) {
    return WriteLines("connected-standby", {arguments[1]}) ? 0 : 1;
  }
  unsigned long ac = 0;
  unsigned long dc = 0;
  if (arguments.size() == 3 && arguments[0] == "timeout" && ParseValue(arguments[1], &ac) &&
      ParseValue(arguments[2], &dc)) {
    return SetTimeout(ac, dc);
  }
  unsigned major = 0;
  unsigned minor = 0;
  char rest = 0;
  if (arguments.size() == 2 && arguments[0] == "os-version" &&
      std::sscanf(arguments[1].c_str(), "%u.%u%c", &major, &minor, &rest) == 2) {
    return WriteLines("os-version", {std::to_string(major) + "." + std::to_string(minor)}) ? 0 : 1;
  }
  unsigned long value = 0;
  if (arguments.size() == 3 && arguments[0] == "policy" && !arguments[1].empty() &&
      arguments[1].find('\t') == std::string::npos && ParseValue(arguments[2], &value)) {
    std::vector<std::string> lines =
        Replace(Lines("policy.tsv"), std::string(kPolicyKey) + "\t" + arguments[1] + "\t" + std::to_string(value), 2);
    return WriteLines("policy.tsv", lines) ? 0 : 1;
  }
  return Usage();
}

void ClearShutdownRequest() {
  std::error_code ignored;
  fs::remove(SimFolder() / "shutdown-request", ignored);
}

int Events() {
  std::ifstream in(SimFolder() / "events.log", std::ios::binary);
  std::cout << in.rdbuf();
  std::cout.flush();
  return 0;
}

int Show() {
  std::cout << "device: " << SimFolder().parent_path().string() << "\n";
  std::vector<std::string> version = Lines("os-version");
  std::cout << "OS version: " << (version.empty() ? "10.0" : version[0]) << "\n";
  std::vector<std::string> standby = Lines("connected-standby");
  std::cout << "connected standby: " << (!standby.empty() && standby[0] == "on" ? "on" : "off") << "\n";

  std::cout << "active power scheme values:\n";
  std::vector<std::string> scheme = Lines("power-scheme.tsv");
  if (scheme.empty()) std::cout << "  none\n";
  for (const std::string& line : scheme) {
    std::vector<std::string> f = Fields(line);
    if (f.size() != 4) continue;
    unsigned long value = std::strtoul(f[3].c_str(), nullptr, 10);
    std::string name = f[0] == kIdleResiliency && f[1] == kExecutionRequiredTimeout
                           ? "execution-required request timeout"
                           : f[0] + " " + f[1];
    std::cout << "  " << (f[2] == "ac" ? "AC" : "DC") << " " << name << " = " << value << " (" << Hex(value) << ")\n";
  }

  std::cout << "policy values:\n";
  std::vector<std::string> policy = Lines("policy.tsv");
  if (policy.empty()) std::cout << "  none\n";
  for (const std::string& line : policy) {
    std::vector<std::string> f = Fields(line);
    if (f.size() == 3) std::cout << "  " << f[0] << "\\" << f[1] << " = " << f[2] << "\n";
  }

  std::cout << "power requests held:\n";
  int held = 0;
  for (const std::string& line : Lines("power-requests.tsv")) {
    std::vector<std::string> f = Fields(line);
    if (f.size() != 4) continue;
    unsigned long pid = std::strtoul(f[0].c_str(), nullptr, 10);
    // The system drops the requests of a process that has ended.
    if (!platform::OpenProcessById(static_cast<platform::Dword>(pid), platform::kSynchronize).IsValid()) continue;
    std::cout << "  type " << f[2] << " by process " << f[0] << ": " << f[3] << "\n";
    ++held;
  }
  if (held == 0) std::cout << "  none\n";

  std::vector<std::string> request = Lines("shutdown-request");
  std::cout << "shutdown or power-state request: " << (request.empty() ? "none" : request[0]) << "\n";
  std::vector<platform::PendingOperation> pending;
  platform::ListPendingOperations(&pending);
  std::cout << "operations pending for the restart: " << pending.size() << "\n";
  std::cout << "restarts: " << Lines("restarts.log").size() << "\n";
  PrintServices();
  return 0;
}

}  // namespace orvanta_sim
