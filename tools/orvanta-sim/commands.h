#pragma once
// The commands of orvanta-sim, which prepares, inspects and restarts a
// simulated device.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/restart.h"
#include "tools/common/device_folder.h"

namespace orvanta_sim {

namespace fs = std::filesystem;

// Lays out a simulated device in `folder`; the descriptor says the tool runs
// on the device unless `onDevice` is false (demo mode). `withService`: the
// device service stand-in runs as ZAMService.
int Init(const std::string& folder, bool onDevice, bool withService, const std::vector<std::string>& keyFiles);

// The device's trusted keys (the update tool's key file at %SYSTEMROOT%).
constexpr const char* kDeviceKeys = "C:\\Windows\\OEM\\ZAMHelper\\UpdateKeys.pub";

using tools::FoldCase;
using tools::HostPathOf;

// The program `name` (with this program's extension) in this program's folder.
fs::path ProgramBeside(const std::string& name);


// The descriptor init writes: every location, an empty UpdateList.
std::string DefaultDescriptor(bool onDevice);

// The simulator's recording msiexec in the device's C:\Windows\System32.
bool InstallMsiexec(const fs::path& root);

// A copy of orvanta-device-app, built beside this program, at `host`.
bool InstallDeviceApp(const fs::path& host);

// One pending operation carried out as the system does at boot: a delete of a
// missing path or a move of a missing source is skipped; a move does not
// replace an existing target.
bool ApplyPendingOperation(const platform::PendingOperation& op);

// "delete PATH" or "move FROM -> TO", as failures are printed.
std::string OperationText(const platform::PendingOperation& op);

// {"operation": "delete", "path": ...} or {"operation": "move", "from": ..., "to": ...}.
std::string OperationJson(const platform::PendingOperation& op);

// Carries out the pending restart operations in order, empties the list and
// records the restart; 1 when an operation failed (each printed with its
// error's name and number).
int Restart();

// Prints the pending restart operations, one per line, or as JSON.
int Pending(bool json);

// The device's folder: ORVANTA_DEVICE_ROOT, else $HOME/.orvanta/device.
std::string DeviceRoot();

// Why the device the operations act on is not a simulated device, or empty
// (always empty on Windows, where the device is the machine itself).
std::string DeviceProblem();

// stage, update and try on the device `device`, which need the device
// simulator; `arguments` start with the command and no longer name the
// device. Returns the exit code.
int SimulatorCommand(const std::string& device, const std::vector<std::string>& arguments);

// set connected-standby on|off, set timeout AC DC, set os-version
// MAJOR.MINOR, set policy NAME VALUE.
int Set(const std::vector<std::string>& arguments);
// The execution-required request timeout of the active scheme.
int SetTimeout(unsigned long ac, unsigned long dc);

// Prints the whole simulated state.
int Show();

// Prints the device's timeline, sim/events.log.
int Events();

// A restart ends the session: a shutdown or power-state request is done with.
void ClearShutdownRequest();

// Installs the service stand-in (zamservice, built beside this program) as
// "C:\Windows\OEM\ZAMService.exe" in `oemFolder` (the host folder of the
// device `root`), with "ZAMServiceComm.dll" beside it, registers it as
// ZAMService started automatically, and starts it.
bool InstallDeviceService(const std::string& root, const std::string& oemFolder);

// The session ends at a restart: the running program of the device service
// (ZAMService) is ended. Returns how many were. No other service is touched.
int EndServices();

// The device comes up: the device service, when it is stopped and registered
// for automatic start, is started. Returns how many failed to start.
int StartAutomaticServices();

// Prints the registered services with their states, process ids, start
// types and programs.
void PrintServices();

}  // namespace orvanta_sim
