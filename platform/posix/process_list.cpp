// The process list of the simulated device holds the host processes that
// belong to it: the calling process, and every process whose environment
// names this device root (everything started on the device inherits it), so
// that devices simulated side by side do not see each other's programs. Each
// is listed under its image's name, a program stored on the device under its
// device name.
#include "platform/process_list.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/fault.h"
#include "platform/posix/sim_device.h"

namespace platform {
namespace {

// /proc names its processes by their decimal ids.
bool ParsePid(const char* name, int* pid) {
  char* end = nullptr;
  long value = std::strtol(name, &end, 10);
  if (end == name || *end != '\0' || value <= 0 || value > 0x7FFFFFFF) return false;
  *pid = static_cast<int>(value);
  return true;
}

// The device root that process `pid` works on, as DeviceRoot() resolves it
// for the calling process; "" when its environment cannot be read.
std::string DeviceRootOf(int pid) {
  std::string environment = sim::ReadProcFile("/proc/" + std::to_string(pid) + "/environ");
  std::string root, home;
  for (std::size_t start = 0; start < environment.size();) {
    std::size_t end = environment.find('\0', start);
    if (end == std::string::npos) end = environment.size();
    std::string entry = environment.substr(start, end - start);
    if (entry.rfind("ORVANTA_DEVICE_ROOT=", 0) == 0) root = entry.substr(20);
    if (entry.rfind("HOME=", 0) == 0) home = entry.substr(5);
    start = end + 1;
  }
  if (root.empty()) root = home + "/.orvanta/device";
  if (root[0] != '/') return std::string();
  if (char* real = realpath(root.c_str(), nullptr)) {
    root = real;
    std::free(real);
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

}  // namespace

bool ListProcesses(std::vector<ProcessEntry>* processes) {
  processes->clear();
  if (FaultHit(FaultOp::ListProcesses)) return false;
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  if (proc == nullptr) return sim::FailFromErrno();
  std::string root = sim::DeviceRoot();
  int self = getpid();
  while (dirent* entry = readdir(proc.get())) {
    int pid = 0;
    if (!ParsePid(entry->d_name, &pid) || sim::ProcessStartTime(pid) == 0) continue;
    if (pid != self && DeviceRootOf(pid) != root) continue;
    processes->push_back(ProcessEntry{static_cast<Dword>(pid), sim::ProcessImageName(pid)});
  }
  return true;
}

std::string OwnProgramPath() {
  std::string target(4096, '\0');
  ssize_t length = readlink("/proc/self/exe", target.data(), target.size());
  if (length <= 0) return std::string();
  target.resize(static_cast<std::size_t>(length));
  return sim::DeviceFormOfHost(target);
}

}  // namespace platform
