#pragma once
// The launching application: its process opened and named, the wait for its
// end and for its files and the speech servers' to become writable; the
// folder search for the device application; the system restart.
#include <cstdint>
#include <string>

#include "platform/process.h"

namespace app {

// The process that started the tool: its handle (invalid when it could not
// be opened) and its image path (empty when not known).
struct LaunchingProcess {
  platform::Process process;
  std::string imagePath;
};

// The full image path of `process` into `path` on OS version 6 or later;
// `path` is left unchanged otherwise and on failure.
void GetProcessImageName(const platform::Process& process, std::string& path);

// Opens the process with the rights its OS version allows and names it; logs
// "Process name: %s".
LaunchingProcess OpenLaunchingProcess(std::uint32_t processId);

// Up to 30 s for the process to end, then up to 10 s each for write access to
// its image and to the three speech servers beside it. Nothing when the
// process was not opened.
void WaitForLaunchingApp(const platform::Process& process, const std::string& imagePath);

// True when `path` does not exist or could be opened for writing without
// sharing within `timeoutMs` (one attempt per 100 ms, at least one).
bool bWaitForWriteAccess(const std::string& path, std::int32_t timeoutMs);

// Depth-first search for `name` below `folder`, the folder itself first and
// dot-folders skipped; `foundFolder` receives the folder that holds it.
// A branch whose path would exceed 260 characters is skipped.
bool bFindFileFolder(const std::string& folder, const std::string& name, std::string* foundFolder);

// 1 restart, 2 power off, 3 hibernate, 4 suspend; other actions only enable
// and restore the shutdown privilege. True when every step succeeded;
// otherwise `failedCall` (when given) names the system call that failed, and
// its error is the last error.
bool bShutdownSystem(unsigned action, bool force, const char** failedCall = nullptr);

}  // namespace app
