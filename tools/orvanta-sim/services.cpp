// orvanta-sim's part in the device's services: the device service stand-in
// installed and registered as ZAMService, the services ended and started
// again at a restart, and their listing.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/errors.h"
#include "platform/process_list.h"
#include "platform/service.h"
#include "tools/orvanta-sim/commands.h"

namespace orvanta_sim {
namespace {

namespace fs = std::filesystem;

const char kServiceProgram[] = "C:\\Windows\\OEM\\ZAMService.exe";

// A restart touches the device service alone: on Windows the list holds every
// service of the machine, which a test tool must leave running.
bool IsDeviceService(const platform::ServiceEntry& entry) { return FoldCase(entry.name) == "zamservice"; }

const char* StateName(platform::Dword state) {
  switch (state) {
    case platform::kServiceStopped:
      return "stopped";
    case platform::kServiceStartPending:
      return "starting";
    case platform::kServiceStopPending:
      return "stopping";
    case platform::kServiceRunning:
      return "running";
    default:
      return "other";
  }
}

}  // namespace

bool InstallDeviceService(const std::string& root, const std::string& oemFolder) {
  fs::path standIn = ProgramBeside("zamservice");
  std::error_code missing;
  if (!fs::is_regular_file(standIn, missing)) {
    std::cerr << "orvanta-sim: the service stand-in zamservice is not built beside this program\n";
    return false;
  }
  std::error_code error;
  fs::path oem = oemFolder;
  fs::copy_file(standIn, oem / "ZAMService.exe", fs::copy_options::overwrite_existing, error);
  if (!error) {
    std::ofstream library(oem / "ZAMServiceComm.dll", std::ios::binary | std::ios::trunc);
    library << "ZAMService communication library\n";
  }
  if (error) {
    std::cerr << "orvanta-sim: cannot install the device service: " << error.message() << "\n";
    return false;
  }
  // The service manager works on the device that ORVANTA_DEVICE_ROOT names.
  platform::SetEnvironmentValue("ORVANTA_DEVICE_ROOT", fs::absolute(root).string());
  platform::ServiceHandle manager = platform::OpenServiceManager(platform::kScManagerAllAccess);
  platform::ServiceRegistration registration;
  registration.name = "ZAMService";
  registration.displayName = "ZAMService";
  registration.serviceType = platform::kServiceWin32OwnProcess | platform::kServiceInteractiveProcess;
  registration.startType = platform::kServiceAutoStart;
  registration.binaryPath = kServiceProgram;
  platform::ServiceHandle service = platform::RegisterService(manager, registration, platform::kServiceAllAccess);
  if (!service.IsValid() || !platform::StartRegisteredService(service)) {
    std::cerr << "orvanta-sim: cannot register and start ZAMService: " << platform::ErrorText(platform::LastError())
              << "\n";
    return false;
  }
  return true;
}

int EndServices() {
  std::vector<platform::ServiceEntry> services;
  if (!platform::ListServices(&services)) return 0;
  int ended = 0;
  for (const platform::ServiceEntry& entry : services) {
    if (entry.processId == 0 || !IsDeviceService(entry)) continue;
    platform::Process process = platform::OpenProcessById(entry.processId, platform::kMaximumAllowed);
    if (process.IsValid() && platform::TerminateProcess(process, 0)) {
      platform::WaitForProcess(process, 5000);
      ++ended;
    }
  }
  // The manager notices the ended programs.
  platform::ListServices(&services);
  return ended;
}

int StartAutomaticServices() {
  std::vector<platform::ServiceEntry> services;
  if (!platform::ListServices(&services)) return 0;
  platform::ServiceHandle manager = platform::OpenServiceManager(platform::kScManagerConnect);
  int failed = 0;
  for (const platform::ServiceEntry& entry : services) {
    if (!IsDeviceService(entry) || entry.startType != platform::kServiceAutoStart ||
        entry.currentState != platform::kServiceStopped) {
      continue;
    }
    platform::ServiceHandle service = platform::OpenRegisteredService(manager, entry.name, platform::kServiceStart);
    if (!service.IsValid() || !platform::StartRegisteredService(service)) {
      std::fprintf(stderr, "orvanta-sim: service %s did not start: %s\n", entry.name.c_str(),
                   platform::ErrorText(platform::LastError()).c_str());
      ++failed;
    }
  }
  return failed;
}

void PrintServices() {
  std::vector<platform::ServiceEntry> services;
  if (!platform::ListServices(&services)) {
    std::printf("services: cannot be listed: %s\n", platform::ErrorText(platform::LastError()).c_str());
    return;
  }
  std::printf("services:%s\n", services.empty() ? " none registered" : "");
  for (const platform::ServiceEntry& entry : services) {
    std::printf("  %s\t%s", entry.name.c_str(), StateName(entry.currentState));
    if (entry.processId != 0) std::printf(" (process %lu)", static_cast<unsigned long>(entry.processId));
    std::printf("\t%s\t%s\n", entry.startType == platform::kServiceAutoStart ? "automatic" : "on demand",
                entry.binaryPath.c_str());
  }
}

}  // namespace orvanta_sim
