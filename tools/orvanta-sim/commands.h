#pragma once
// The commands of orvanta-sim, which prepares, inspects and restarts a
// simulated device.
#include <string>
#include <vector>

namespace orvanta_sim {

// Lays out a simulated device in `folder`; the descriptor says the tool runs
// on the device unless `onDevice` is false (demo mode). `withService`: the
// device service stand-in runs as ZAMService.
int Init(const std::string& folder, bool onDevice, bool withService);

// Carries out the pending restart operations in order, empties the list and
// records the restart.
int Restart();

// Prints the pending restart operations, one per line.
int Pending();

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

// The session ends at a restart: every running service program is ended.
// Returns how many were.
int EndServices();

// The device comes up: every stopped service registered for automatic start
// is started. Returns how many failed to start.
int StartAutomaticServices();

// Prints the registered services with their states, process ids, start
// types and programs.
void PrintServices();

}  // namespace orvanta_sim
