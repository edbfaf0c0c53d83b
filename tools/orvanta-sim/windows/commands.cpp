// On Windows the device is the machine itself: stage, update and try would
// put packages into and run the update tool on this machine, so they are
// refused; the pending operations are the system's own.
#include <cstdio>

#include "tools/orvanta-sim/commands.h"

namespace orvanta_sim {

std::string DeviceProblem() { return std::string(); }

int SimulatorCommand(const std::string&, const std::vector<std::string>& arguments) {
  std::fprintf(stderr, "orvanta-sim %s: works on a simulated device, which the Linux build provides\n",
               arguments[0].c_str());
  return 2;
}

}  // namespace orvanta_sim
