// orvanta-sim: prepares, inspects and restarts a simulated Orvanta device.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/orvanta-sim/commands.h"

namespace {

const char kUsage[] =
    "usage: orvanta-sim COMMAND\n"
    "\n"
    "The device is the folder $ORVANTA_DEVICE_ROOT (default $HOME/.orvanta/device).\n"
    "\n"
    "commands:\n"
    "  init [--demo] DIR\n"
    "            lay out a new simulated device in DIR: system folders, a recording\n"
    "            msiexec (sim/msiexec.log), a device application that records its\n"
    "            starts (sim/app-starts.log), and the update tool's folder\n"
    "            C:\\Orvanta\\Update with a descriptor naming the device's folders\n"
    "            (--demo: a descriptor for a PC, not the device)\n"
    "  pending   list the operations waiting for the next restart, in the order\n"
    "            the system carries them out\n"
    "  restart   restart the device: carry out the pending operations in order (a\n"
    "            delete of a missing path or a move of a missing source is skipped),\n"
    "            empty the list and record the restart\n"
    "  help      this text\n";

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  bool help = argc > 2 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0);
  if (command == "help" || command == "--help" || command == "-h" || help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "init" && argc == 3) return orvanta_sim::Init(argv[2], true);
  if (command == "init" && argc == 4 && std::strcmp(argv[2], "--demo") == 0) return orvanta_sim::Init(argv[3], false);
  if (command == "pending" && argc == 2) return orvanta_sim::Pending();
  if (command == "restart" && argc == 2) return orvanta_sim::Restart();
  std::fputs(kUsage, stderr);
  return 2;
}
