#include "app/process_waits.h"

#include <vector>

#include "app/progress_window.h"
#include "app/run_log.h"
#include "app/system_prep.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/shutdown.h"

namespace app {
namespace {

constexpr int kLaunchWaitMs = 30000;
constexpr int kPollMs = 100;
constexpr std::int32_t kWriteAccessWaitMs = 10000;
// Path buffers hold 260 characters and the terminator.
constexpr std::size_t kPathLimit = 260;
const char* const kSpeechServers[] = {"ZAMSapiServer.exe", "ZAMAcapelaServer.exe", "ZAMDECtalkServer.exe"};

bool Exists(const std::string& path) { return platform::FileAttributes(path) != platform::kInvalidAttributes; }

}  // namespace

void GetProcessImageName(const platform::Process& process, std::string& path) {
  if (GetOsVersionInfo().majorVersion < 6) return;
  platform::QueryProcessImageName(process, &path);
}

LaunchingProcess OpenLaunchingProcess(std::uint32_t processId) {
  LaunchingProcess launching;
  platform::Dword access = GetOsVersionInfo().majorVersion >= 6
                               ? platform::kSynchronize | platform::kProcessQueryLimitedInformation
                               : platform::kSynchronize | platform::kProcessQueryInformation;
  launching.process = platform::OpenProcessById(processId, access);
  if (launching.process.IsValid()) GetProcessImageName(launching.process, launching.imagePath);
  LogMessage("Process name: %s\r\n", launching.imagePath.c_str());
  return launching;
}

void WaitForLaunchingApp(const platform::Process& process, const std::string& imagePath) {
  if (!process.IsValid()) return;
  int iTimeOut = kLaunchWaitMs;
  bool ended = platform::WaitForProcess(process, kPollMs);
  while (!ended && iTimeOut > 0) {
    PumpMessages();
    iTimeOut -= kPollMs;
    ended = platform::WaitForProcess(process, kPollMs);
  }
  LogMessage("After waiting on hProcess, iTimeOut is %d.\r\n", iTimeOut);
  if (imagePath.empty()) return;
  LogMessage("bWaitForWriteAccess() returned %s for process.\r\n",
             bWaitForWriteAccess(imagePath, kWriteAccessWaitMs) ? "true" : "false");
  std::size_t cut = imagePath.rfind('\\');
  std::string folder = cut == std::string::npos ? std::string() : imagePath.substr(0, cut + 1);
  for (const char* server : kSpeechServers) {
    LogMessage("bWaitForWriteAccess() returned %s for %s.\r\n",
               bWaitForWriteAccess(folder + server, kWriteAccessWaitMs) ? "true" : "false", server);
  }
}

bool bWaitForWriteAccess(const std::string& path, std::int32_t timeoutMs) {
  std::int32_t attempts = timeoutMs / kPollMs;
  if (!Exists(path)) return true;
  platform::File file;
  for (;;) {
    file = platform::OpenFile(path, platform::kGenericWrite, platform::kShareNone, platform::Disposition::OpenAlways,
                              platform::kAttributeNormal);
    if (!file.IsValid()) {
      PumpMessages();
      platform::Wait100ms();
    }
    --attempts;
    if (file.IsValid() || attempts <= 0) break;
  }
  return file.IsValid();
}

bool bFindFileFolder(const std::string& folder, const std::string& name, std::string* foundFolder) {
  std::string candidate = folder + "\\" + name;
  if (candidate.size() > kPathLimit) return false;
  if (Exists(candidate)) {
    *foundFolder = folder;
    return true;
  }
  std::string pattern = folder + "\\*.*";
  if (pattern.size() > kPathLimit) return false;
  std::vector<platform::FolderEntry> entries;
  if (!platform::ListFolder(pattern, &entries)) return false;
  for (const platform::FolderEntry& entry : entries) {
    if (!(entry.attributes & platform::kAttributeDirectory) || entry.name.empty() || entry.name[0] == '.') continue;
    std::string child = folder + "\\" + entry.name;
    // Too long for the path buffers: this branch cannot be searched, its siblings still can.
    if (child.size() > kPathLimit) continue;
    if (bFindFileFolder(child, name, foundFolder)) return true;
  }
  return false;
}

bool bShutdownSystem(unsigned action, bool force, const char** failedCall) {
  auto failed = [failedCall](const char* call) {
    if (failedCall != nullptr) *failedCall = call;
    return false;
  };
  platform::AccessToken token = platform::OpenOwnProcessToken(platform::kTokenAdjustPrivileges | platform::kTokenQuery);
  if (!token.IsValid()) return failed("OpenProcessToken()");
  platform::Luid shutdown;
  if (!platform::LookupPrivilege("SeShutdownPrivilege", &shutdown)) return failed("LookupPrivilegeValue()");
  platform::PrivilegeState previous;
  if (!platform::EnablePrivilege(token, shutdown, &previous)) return failed("AdjustTokenPrivileges()");
  bool result = true;
  const char* call = "";
  switch (action) {
    case 1:
      call = "ExitWindowsEx()";
      result = platform::EndSession(platform::kEwxReboot | (force ? platform::kEwxForce : platform::kEwxForceIfHung),
                                    platform::kShutdownReasonPlanned);
      break;
    case 2:
      call = "ExitWindowsEx()";
      result = platform::EndSession(platform::kEwxPowerOff | (force ? platform::kEwxForce : platform::kEwxForceIfHung),
                                    platform::kShutdownReasonPlanned);
      break;
    case 3:
    case 4:
      call = "SetSystemPowerState()";
      result = platform::SetSystemPowerState(action == 4, force);
      break;
    default:
      break;
  }
  // The restore must not hide why the action failed.
  platform::Dword error = platform::LastError();
  platform::RestorePrivileges(token, previous);
  if (!result) {
    platform::SetLastErrorCode(error);
    return failed(call);
  }
  return true;
}

}  // namespace app
