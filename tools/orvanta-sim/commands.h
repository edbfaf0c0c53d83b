#pragma once
// The commands of orvanta-sim, which prepares, inspects and restarts a
// simulated device.
#include <string>

namespace orvanta_sim {

// Lays out a simulated device in `folder`; the descriptor says the tool runs
// on the device unless `onDevice` is false (demo mode).
int Init(const std::string& folder, bool onDevice);

// Carries out the pending restart operations in order, empties the list and
// records the restart.
int Restart();

// Prints the pending restart operations, one per line.
int Pending();

}  // namespace orvanta_sim
