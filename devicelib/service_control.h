#pragma once
// Control of the device service ZAMService: install, start, stop and remove
// it, and find its running program. Each operation opens the service control
// manager and the service afresh and closes both before it returns; nothing
// is logged here (the callers log around these calls).
#include <cstdint>

namespace devicelib {

constexpr char kServiceName[] = "ZAMService";
constexpr char kServiceFolder[] = "C:\\Windows\\OEM\\";
constexpr char kManualStartMarker[] = "C:\\Windows\\OEM\\ZAMServiceManualStart.flg";
constexpr std::uint32_t kNoProcess = 0xFFFFFFFF;

// Registers the calling program's own executable as ZAMService, started
// automatically.
bool bInstallService();

// Starts ZAMService (registering the calling program first when nothing is
// registered) and polls until it reports running (true) or stopped (false),
// at most 50 times 100 ms apart. `automatic` false leaves the manual-start
// marker file; a start that fails for any reason but "already running"
// deletes it.
bool bStartService(bool automatic);

// Stops ZAMService; its program is terminated when it does not end by
// itself. True when no service program is left running at the end.
bool bStopService();

// Deletes the registration of ZAMService.
bool bRemoveService();

// True when ZAMService is registered. A caller that is not the service's own
// program asks this before bStartService, which would otherwise register the
// caller itself as the device service.
bool bServiceRegistered();

// The process id of the first running ZAMService.exe or ZAMServiced.exe
// other than the calling process, or kNoProcess.
std::uint32_t GetServiceProcessId();

}  // namespace devicelib
