#pragma once
// The commands of orvanta-sim, which prepares, inspects and restarts a
// simulated device.
#include <string>
#include <vector>

namespace orvanta_sim {

// Lays out a simulated device in `folder`; the descriptor says the tool runs
// on the device unless `onDevice` is false (demo mode).
int Init(const std::string& folder, bool onDevice);

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

}  // namespace orvanta_sim
