// The simulator's entry: the arguments joined by single blanks make the
// command line, as Windows hands it to WinMain.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/entry.h"
#include "platform/fault.h"

int main(int argc, char** argv) {
  // ORVANTA_SIM_KILL_AFTER=k: the simulated device kills the tool at its k-th operation.
  if (const char* kill = std::getenv("ORVANTA_SIM_KILL_AFTER")) platform::ArmKill(std::atol(kill));
  // ORVANTA_SIM_FAULTS=NAME:COUNT:ERROR,...: the device's own calls fail as a test asks.
  if (const char* faults = std::getenv("ORVANTA_SIM_FAULTS"); faults != nullptr && !platform::ArmFaults(faults)) {
    std::fprintf(stderr, "ORVANTA_SIM_FAULTS: not NAME:COUNT:ERROR items: %s\n", faults);
    return 2;
  }
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  return ProgramMain(commandLine, platform::kShowNormal);
}
