#include "app/update_run.h"

#include <cstdio>
#include <vector>

#include "app/app_launch.h"
#include "app/command_line.h"
#include "devicelib/service_control.h"
#include "app/descriptor.h"
#include "app/messages.h"
#include "app/process_waits.h"
#include "app/progress_window.h"
#include "app/run_log.h"
#include "app/run_state.h"
#include "app/system_prep.h"
#include "package/extraction.h"
#include "package/folder_stages.h"
#include "package/package.h"
#include "package/signature.h"
#include "package/verify.h"
#include "package/version_marker.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/window.h"
#include "version/package_type.h"

namespace app {

const char kToolVersion[] = ORVANTA_TOOL_VERSION;

namespace {

constexpr int kMappingAttempts = 5;
constexpr std::uint64_t kServiceStopRetryMs = 30000;
constexpr std::int32_t kServiceFileWaitMs = 10000;
constexpr int kTenSecondsOf100ms = 100;
// Room for 260 characters and the terminator.
constexpr std::size_t kParameterBuffer = 261;
constexpr platform::Dword kInstallerPollMs = 10;

// The in-use marker: held open without sharing for the whole run, so that
// the device's own software can tell an update is under way. Created by a
// static initialiser before the entry point runs; released at the end of
// the main sequence and again, harmlessly, at process exit.
class InUseMarker {
 public:
  InUseMarker()
      : path_(platform::ExpandEnvironment("%SYSTEMROOT%\\OEM\\ZAMHelper\\engdbg.flg")),
        file_(platform::OpenFile(path_, platform::kGenericWrite, platform::kShareNone,
                                 platform::Disposition::CreateAlways, platform::kAttributeNormal)) {}
  ~InUseMarker() { Release(); }
  InUseMarker(const InUseMarker&) = delete;
  InUseMarker& operator=(const InUseMarker&) = delete;

  void Release() {
    if (released_) return;
    released_ = true;
    file_.Close();
    if (!platform::RemoveFile(path_)) {
      platform::SetAttributes(path_, platform::kAttributeNormal);
      platform::RemoveFile(path_);
    }
  }

 private:
  std::string path_;
  platform::File file_;
  bool released_ = false;
};

InUseMarker g_marker;

void WaitTenSecondsPumping() {
  for (int i = 0; i < kTenSecondsOf100ms; ++i) {
    platform::Wait100ms();
    PumpMessages();
  }
}

std::string HeaderText(const char16_t (&text)[package::kTextUnits]) {
  return platform::WideToNarrow(package::HeaderText(text));
}

void ProcessPackage(const std::string& path, bool& bServiceStopped) {
  AppendText("\r\n");
  LogMessage("Processing \"%s\"\r\n", path.c_str());
  if (!package::bOpenUpdateFile(path)) {
    LogMessage("ERROR: bOpenUpdateFile(\"%s\") failed.\r\n", path.c_str());
    ShowMessage(9);
    return;
  }
  const package::UpdateFileHeader& header = package::Package().header;
  std::string type = platform::WideToNarrow(version::PackageTypeName(static_cast<version::PackageType>(header.PackageType)));
  std::string name = HeaderText(header.Name);
  std::string detail = HeaderText(header.Detail);
  AppendText(" %s  %s  %s - ", type.c_str(), name.c_str(), detail.c_str());
  LogMessage(" %s  %s  %s\r\n", type.c_str(), name.c_str(), detail.c_str());
  ShowStage(10, true);

  if (Run().bOnDevice && static_cast<version::PackageType>(header.PackageType) == version::HW_LIBRARY &&
      !bServiceStopped) {
    StopServiceForHardwareLibraries();
    bServiceStopped = true;
  }

  if (!package::bCheckPackageSignature(path) || !package::bVerifyUpdateFile(path)) return;
  bool mapped = false;
  for (int attempt = 0; attempt < kMappingAttempts && !mapped; ++attempt) mapped = package::bCreateFileMappings(path);
  if (!mapped) {
    LogMessage("ERROR: bCreateFileMappings(\"%s\") failed.\r\n", path.c_str());
    ShowMessage(9);
    return;
  }
  ShowStage(8, false);
  if (!package::bLoadPackageTables()) {
    // Nothing of a package whose tables cannot be read is applied.
    ShowMessage(9);
    package::bCloseUpdateFile();
    return;
  }
  ShowStage(6, false);
  package::bDeleteOldFiles();
  ShowStage(7, false);
  package::bCreateNewFolders();
  ShowStage(3, false);
  package::bCopyFiles();
  ShowStage(4, false);
  package::bCloseUpdateFile();
  package::Package().ChangeList.clear();
  package::Package().CopyList.clear();
}

// True when the last installer ran: its /forcerestart then restarts the device.
bool RunInstallers() {
  std::vector<std::string>& installers = Run().Installers;
  bool lastRan = false;
  for (std::size_t i = 0; i < installers.size(); ++i) {
    const std::string& path = installers[i];
    std::size_t cut = path.rfind('\\');
    std::string folder = cut == std::string::npos ? path : path.substr(0, cut);
    char parameters[kParameterBuffer];
    int length = std::snprintf(parameters, sizeof(parameters), "/qb!- %s /I \"%s\"",
                               i + 1 == installers.size() ? "/forcerestart" : "", path.c_str());
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof(parameters)) {
      // A cut parameter text would install from a path that does not exist.
      LogMessage("ERROR: Installer path too long for the msiexec parameters (%d characters): \"%s\".\r\n", length,
                 path.c_str());
    } else {
      LogMessage("Installing: %s %s\r\n", path.c_str(), parameters);
      platform::Process installer = platform::StartWithShell("msiexec", parameters, folder);
      if (installer.IsValid()) {
        LogMessage("Installer launched.\r\n");
        while (!platform::WaitForProcess(installer, kInstallerPollMs)) {
        }
        LogMessage("Installer finished.\r\n");
        lastRan = i + 1 == installers.size();
      } else {
        LogMessage("ERROR: Failed to launch installer? (sei.hProcess not set)\r\n");
      }
    }
    package::DeleteFileOrDefer(path);
  }
  if (!lastRan) {
    LogMessage("ERROR: The last installer \"%s\" did not run, so nothing restarts the device; the run takes its "
               "final decision.\r\n",
               installers.back().c_str());
  }
  return lastRan;
}

// What the run does last when no installer takes over: restart, prompt, or
// bring the device service or application back. An ending that fails falls
// back to the application, so that the device is never left without both.
void FinalDecision(bool serviceStopped) {
  if (Run().bRebootRequired) {
    LogMessage("Reboot is required.\r\n");
    if (Run().bOnDevice) {
      LogMessage("We're on a device. Shutting down.\r\n");
      const char* failedCall = "";
      if (!bShutdownSystem(1, true, &failedCall)) {
        LogMessage("ERROR: The restart was refused: %s failed with error %lu; the application is launched and the "
                   "pending changes wait for the next restart.\r\n",
                   failedCall, static_cast<unsigned long>(platform::LastError()));
        startApp();
      }
    } else {
      LogMessage("Not on a device. Prompting user to shut down.\r\n");
      platform::ShowMessageBox(GetLocalizedText(13), GetLocalizedText(14));
    }
  } else {
    LogMessage("Reboot not required.\r\n");
    if (serviceStopped) {
      LogMessage("Restarting the service.\r\n");
      // bStartService registers its caller when no service is registered;
      // the update tool must never become the device service itself.
      bool restarted = devicelib::bServiceRegistered() && devicelib::bStartService(true);
      platform::Dword error = platform::LastError();
      LogMessage("Restarting the service returned %s.\r\n", restarted ? "true" : "false");
      if (!restarted) {
        LogMessage("ERROR: The device service did not start again (error %lu); the application is launched "
                   "instead.\r\n",
                   static_cast<unsigned long>(error));
        startApp();
      }
    } else {
      LogMessage("Restarting the service is not necessary.\r\n");
      startApp();
    }
  }
  LogMessage("End of main().\r\n");
}

}  // namespace

void StopServiceForHardwareLibraries() {
  LogMessage("Updating the hardware libraries, but the service is still running.\r\n");
  // No messages are pumped while the service is retried. One stop can take
  // 15 s itself, so the 30 s are read from the clock, not counted in tries.
  std::uint64_t start = platform::TickCount();
  bool stopped = devicelib::bStopService();
  while (!stopped && platform::TickCount() - start < kServiceStopRetryMs) {
    platform::Wait100ms();
    stopped = devicelib::bStopService();
  }
  platform::Dword error = platform::LastError();
  std::string service = std::string(devicelib::kServiceFolder) + devicelib::kServiceName;
  bWaitForWriteAccess(service + ".exe", kServiceFileWaitMs);
  bWaitForWriteAccess(service + "Comm.dll", kServiceFileWaitMs);
  if (stopped) {
    LogMessage("Service stopped.\r\n");
  } else {
    LogMessage("ERROR: The service did not stop within 30 seconds (last error %lu); its files in use wait for the "
               "restart.\r\n",
               static_cast<unsigned long>(error));
  }
}

void ReleaseMarker() { g_marker.Release(); }

bool UpdateMain(std::uint32_t processId) {
  package::Package().packageSize = 0;
  bool serviceStopped = false;
  if (processId == 0) {
    ShowMessage(12);
    WaitTenSecondsPumping();
    return true;
  }
  LaunchingProcess launching = OpenLaunchingProcess(processId);
  Run().launchingImage = launching.imagePath;
  AppendText("\r\n");
  ShowMessage(1);
  AppendText("\r\n\r\n");
  PumpMessages();

  bLoadUpdateInfo();
  LogMessage("Update info loaded\r\n");
  if (Run().bOnDevice) ShowMessage(2);
  WaitForLaunchingApp(launching.process, launching.imagePath);
  // Not needed after its wait.
  launching.process.Close();

  for (const std::string& path : Run().UpdateFiles) ProcessPackage(path, serviceStopped);
  package::bFixPreReleaseMarker();

  ShowMessage(5);
  PumpMessages();
  WaitTenSecondsPumping();
  DestroyProgressWindow();
  PumpMessages();
  LogMessage("Main update process finished (and window destroyed). %d installers to run.\r\n",
             static_cast<int>(Run().Installers.size()));

  if (!Run().Installers.empty()) {
    bool lastRan = RunInstallers();
    Run().Installers.clear();
    ReleaseMarker();
    if (lastRan) {
      LogMessage("End of main().\r\n");
      return false;
    }
    FinalDecision(serviceStopped);
    return false;
  }
  ReleaseMarker();
  FinalDecision(serviceStopped);
  return false;
}

int UpdaterMain(const std::string& commandLine, int showCommand) {
  LogWrite("\r\n");
  LogMessage("Update tool version: %s\r\n", kToolVersion);
  EnableCommandPrompt();
  LogMessage("Command-line arguments: %s\r\n", commandLine.c_str());

  std::uint32_t processId = 0;
  std::string tag;
  ReadCommandLine(commandLine, &processId, &tag);
  SelectLanguage(tag);

  if (!InitApp(showCommand)) {
    LogMessage("ERROR: InitApp() failed.\r\n");
    return 1;
  }
  PumpMessages();
  if (Run().bDemoMode) {
    LogMessage("\"Demo\" mode (meaning not running on a device), so not going to call bAddKeepAwakep().\r\n");
  } else {
    bAddKeepAwake();
  }
  UpdateMain(processId);
  bRemoveKeepAwake();
  ReleaseFont();
  LogMessage("End updater execution.\r\n");
  return 0;
}

}  // namespace app
