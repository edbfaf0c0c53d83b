#include "devicelib/service_control.h"

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/process_list.h"
#include "platform/service.h"

namespace devicelib {
namespace {

constexpr int kStatusPolls = 50;
constexpr platform::Dword kProcessEndWaitMs = 5000;
constexpr platform::Dword kServiceType = platform::kServiceWin32OwnProcess | platform::kServiceInteractiveProcess;

// The system's multibyte comparison without regard to case; the names it
// compares are ASCII.
bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

bool IsServiceProgram(const std::string& exeFile) {
  return SameNameIgnoringCase(exeFile, "ZAMService.exe") || SameNameIgnoringCase(exeFile, "ZAMServiced.exe");
}

// The first running service program other than the caller into `processId`
// (kNoProcess when there is none); false when the process list cannot be read.
bool FindServiceProcess(std::uint32_t* processId) {
  *processId = kNoProcess;
  std::vector<platform::ProcessEntry> processes;
  if (!platform::ListProcesses(&processes)) return false;
  platform::Dword self = platform::CurrentProcessId();
  for (const platform::ProcessEntry& entry : processes) {
    if (IsServiceProgram(entry.exeFile) && entry.processId != self) {
      *processId = entry.processId;
      break;
    }
  }
  return true;
}

// The manager handle is closed as soon as the service handle is had.
platform::ServiceHandle OpenDeviceService() {
  platform::ServiceHandle manager = platform::OpenServiceManager(platform::kScManagerAllAccess);
  if (!manager.IsValid()) return platform::ServiceHandle();
  return platform::OpenRegisteredService(manager, kServiceName, platform::kServiceAllAccess);
}

}  // namespace

bool bInstallService() {
  std::string program = platform::OwnProgramPath();
  if (program.empty()) return false;
  platform::ServiceHandle manager = platform::OpenServiceManager(platform::kScManagerAllAccess);
  if (!manager.IsValid()) return false;
  platform::ServiceRegistration registration;
  registration.name = kServiceName;
  registration.displayName = kServiceName;
  registration.serviceType = kServiceType;
  registration.startType = platform::kServiceAutoStart;
  registration.errorControl = platform::kServiceErrorNormal;
  registration.binaryPath = program;
  return platform::RegisterService(manager, registration, platform::kServiceAllAccess).IsValid();
}

bool bStartService(bool automatic) {
  platform::ServiceHandle service;
  {
    platform::ServiceHandle manager = platform::OpenServiceManager(platform::kScManagerAllAccess);
    if (!manager.IsValid()) return false;
    service = platform::OpenRegisteredService(manager, kServiceName, platform::kServiceAllAccess);
    if (!service.IsValid() && bInstallService()) {
      service = platform::OpenRegisteredService(manager, kServiceName, platform::kServiceAllAccess);
    }
  }
  if (!service.IsValid()) return false;

  if (!automatic) {
    platform::OpenFile(kManualStartMarker, platform::kGenericRead, platform::kShareRead,
                       platform::Disposition::CreateAlways, platform::kAttributeNormal);
  }
  if (!platform::StartRegisteredService(service) &&
      platform::LastError() != platform::kErrorServiceAlreadyRunning) {
    // The caller reports why the start failed, not the marker's removal.
    platform::Dword error = platform::LastError();
    platform::RemoveFile(kManualStartMarker);
    platform::SetLastErrorCode(error);
    return false;
  }
  for (int poll = 0; poll < kStatusPolls; ++poll) {
    platform::Wait100ms();
    // A query that fails reads as a state that is not final: the next poll asks again.
    platform::ServiceStatus status;
    if (!platform::QueryServiceState(service, &status)) continue;
    if (status.currentState == platform::kServiceRunning) return true;
    if (status.currentState == platform::kServiceStopped || status.currentState == platform::kServiceStopPending) {
      return false;
    }
  }
  return false;
}

bool bStopService() {
  platform::ServiceHandle service = OpenDeviceService();
  if (!service.IsValid()) return false;

  platform::ServiceStatus status;
  bool result = false;
  if (platform::SendServiceControl(service, platform::kServiceControlStop, &status)) {
    platform::Dword state = status.currentState;
    for (int poll = 0; state == platform::kServiceStopPending && poll < kStatusPolls; ++poll) {
      platform::Wait100ms();
      platform::ServiceStatus polled;
      if (platform::QueryServiceState(service, &polled)) state = polled.currentState;
    }
    result = state == platform::kServiceStopped;
  }

  std::uint32_t processId = kNoProcess;
  FindServiceProcess(&processId);
  if (processId != kNoProcess) {
    platform::Process process = platform::OpenProcessById(processId, platform::kMaximumAllowed);
    if (process.IsValid()) {
      if (result) {
        if (!platform::WaitForProcess(process, kProcessEndWaitMs)) {
          result = false;
          platform::TerminateProcess(process, 0);
        }
      } else {
        platform::TerminateProcess(process, 0);
      }
      platform::WaitForProcess(process, kProcessEndWaitMs);
    }
  }

  // A process list that cannot be read does not tell that the program is gone.
  if (FindServiceProcess(&processId) && processId == kNoProcess) {
    platform::ServiceStatus ignored;
    platform::SendServiceControl(service, platform::kServiceControlStop, &ignored);
    result = true;
  }
  return result;
}

bool bRemoveService() {
  platform::ServiceHandle service = OpenDeviceService();
  if (!service.IsValid()) return false;
  return platform::DeleteRegisteredService(service);
}

bool bServiceRegistered() {
  platform::ServiceHandle manager = platform::OpenServiceManager(platform::kScManagerConnect);
  if (!manager.IsValid()) return false;
  return platform::OpenRegisteredService(manager, kServiceName, platform::kServiceQueryStatus).IsValid();
}

std::uint32_t GetServiceProcessId() {
  std::uint32_t processId = kNoProcess;
  FindServiceProcess(&processId);
  return processId;
}

}  // namespace devicelib
