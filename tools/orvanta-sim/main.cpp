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
  if (command == "pending" && argc == 2) return orvanta_sim::Pending();
  if (command == "restart" && argc == 2) return orvanta_sim::Restart();
  std::fputs(kUsage, stderr);
  return 2;
}
