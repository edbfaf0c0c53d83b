// orvanta-sim: prepares, inspects and restarts a simulated Orvanta device.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/orvanta-sim/commands.h"

namespace {

const char kUsage[] =
    "usage: orvanta-sim COMMAND\n"
    "\n"
    "The device is the folder $ORVANTA_DEVICE_ROOT (default $HOME/.orvanta/device).\n"
    "\n"
    "commands:\n"
    "  init [--demo] [--service] DIR\n"
    "            lay out a new simulated device in DIR: system folders, a recording\n"
    "            msiexec (sim/msiexec.log), the device application Orvanta.exe and\n"
    "            the three speech servers beside it (real programs that record\n"
    "            their starts in app-starts.log beside them), and the update tool's\n"
    "            folder C:\\Orvanta\\Update with a descriptor naming the device's\n"
    "            folders; connected standby on, OS version 10.0, the execution-required\n"
    "            request timeout 300 s (--demo: a PC: a descriptor for a PC, not the\n"
    "            device, and no connected standby; --service: the device service\n"
    "            stand-in installed as C:\\Windows\\OEM\\ZAMService.exe with\n"
    "            ZAMServiceComm.dll, registered as ZAMService for automatic start,\n"
    "            and running)\n"
    "  pending   list the operations waiting for the next restart, in the order\n"
    "            the system carries them out\n"
    "  restart   restart the device: carry out the pending operations in order (a\n"
    "            delete of a missing path or a move of a missing source is skipped),\n"
    "            empty the list and record the restart; running service programs\n"
    "            end before, services registered for automatic start start after\n"
    "  set connected-standby on|off\n"
    "            whether the device supports connected standby\n"
    "  set timeout AC DC\n"
    "            the active power scheme's execution-required request timeout on\n"
    "            AC and DC power (decimal, or hexadecimal with 0x)\n"
    "  set os-version MAJOR.MINOR\n"
    "            the version the system reports (10.0 when never set)\n"
    "  set policy NAME VALUE\n"
    "            a per-user policy value under\n"
    "            HKCU\\Software\\Policies\\Microsoft\\Windows\\System (DisableCMD)\n"
    "  show      print the whole simulated state: OS version, connected standby,\n"
    "            power scheme values, policy values, power requests held, the\n"
    "            shutdown request, pending operations, restarts, the registered\n"
    "            services with their states and process ids\n"
    "  events    print the device's timeline (sim/events.log): programs started\n"
    "            through the shell, power requests set and cleared, power scheme\n"
    "            and policy values written, shutdown and power-state requests,\n"
    "            services registered, started, stopped and deleted, processes\n"
    "            terminated\n"
    "  help      this text\n";

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  bool help = argc > 2 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0);
  if (command == "help" || command == "--help" || command == "-h" || help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "init" && argc >= 3) {
    bool onDevice = true, withService = false, known = true;
    for (int i = 2; i + 1 < argc; ++i) {
      if (std::strcmp(argv[i], "--demo") == 0) onDevice = false;
      else if (std::strcmp(argv[i], "--service") == 0) withService = true;
      else known = false;
    }
    if (known && argv[argc - 1][0] != '-') return orvanta_sim::Init(argv[argc - 1], onDevice, withService);
  }
  if (command == "pending" && argc == 2) return orvanta_sim::Pending();
  if (command == "restart" && argc == 2) return orvanta_sim::Restart();
  if (command == "set") return orvanta_sim::Set(std::vector<std::string>(argv + 2, argv + argc));
  if (command == "show" && argc == 2) return orvanta_sim::Show();
  if (command == "events" && argc == 2) return orvanta_sim::Events();
  std::fputs(kUsage, stderr);
  return 2;
}
