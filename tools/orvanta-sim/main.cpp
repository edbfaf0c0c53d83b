// orvanta-sim: prepares, inspects and restarts a simulated Orvanta device,
// and tries update packages on a copy of one.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/orvanta-sim/commands.h"

namespace {

const char kUsage[] =
    "usage: orvanta-sim COMMAND\n"
    "\n"
    "The device of pending, restart, set, show and events is the folder\n"
    "$ORVANTA_DEVICE_ROOT (default $HOME/.orvanta/device); init, stage, update and\n"
    "try name it (DIR, ROOT). A device is a folder with one folder per drive:\n"
    "C:\\Windows is ROOT/C/Windows. A stand-in of a real device is a copy of its\n"
    "drives' files in ROOT/C/... stage, update and try need the device simulator\n"
    "of the Linux build.\n"
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
    "  stage ROOT PACKAGE...\n"
    "            copy the packages into C:\\Orvanta\\Update and make the descriptor's\n"
    "            UpdateList name them, in this order (a device without a descriptor\n"
    "            gets the locations of init)\n"
    "  update ROOT [--lang TAG]\n"
    "            start the device application, then the update tool in\n"
    "            C:\\Orvanta\\Update with the application's process id and TAG\n"
    "            (default en-US), as the device's maintenance menu does; waits for\n"
    "            the tool (ORVANTA_SIM_TIME_SCALE scales its waits)\n"
    "  try --device ROOT [--lang TAG] [--hold PATH[:none|read]]... [--json] [--keep]\n"
    "      PACKAGE...\n"
    "            check packages before shipping them: copy ROOT to a scratch folder\n"
    "            (ROOT is never changed), start its automatic services there, stage\n"
    "            the packages, run the update (time scale 0) with each PATH held open\n"
    "            as a running program would (sharing nothing, or reading), restart\n"
    "            the copy and report: per package its window line and outcome; the\n"
    "            files and folders added, changed (or changed in attributes only) and\n"
    "            removed, outside the update folder and the run log; the operations\n"
    "            that waited for the restart; every \"ERROR: \" line of the run log;\n"
    "            the final decision; and warnings where a package does not fit the\n"
    "            device (a changed or removed file the device does not have, a folder\n"
    "            whose parent is missing, a file that lands in another package type's\n"
    "            location). On a copy of a real device, the simulator's device\n"
    "            application and msiexec stand in for Windows programs the host\n"
    "            cannot run. --json: the report as one JSON document; --keep: keep\n"
    "            the copy. Exit code 0 when there was no \"ERROR: \" line and no\n"
    "            warning, 1 otherwise, 2 when the try could not be made\n"
    "  pending [--json]\n"
    "            list the operations waiting for the next restart, in the order\n"
    "            the system carries them out\n"
    "  restart   restart the device: carry out the pending operations in order (a\n"
    "            delete of a missing path or a move of a missing source is skipped),\n"
    "            empty the list and record the restart; the device service's\n"
    "            program (ZAMService) ends before and, when automatic, starts after;\n"
    "            an operation that fails is printed with its error\n"
    "            (ERROR_ACCESS_DENIED (5)) and the exit code is 1\n"
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
    "  help      this text\n"
    "\n"
    "Every command but init exits non-zero when its device root holds no simulated\n"
    "device.\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string command = arguments.empty() ? "" : arguments[0];
  bool help = arguments.size() > 1 && (arguments[1] == "--help" || arguments[1] == "-h");
  if (command == "help" || command == "--help" || command == "-h" || help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "init" && arguments.size() >= 2) {
    bool onDevice = true, withService = false, known = true;
    for (std::size_t i = 1; i + 1 < arguments.size(); ++i) {
      if (arguments[i] == "--demo") onDevice = false;
      else if (arguments[i] == "--service") withService = true;
      else known = false;
    }
    const std::string& folder = arguments.back();
    if (known && folder[0] != '-') return orvanta_sim::Init(folder, onDevice, withService);
  }
  if (command == "pending" && (arguments.size() == 1 || (arguments.size() == 2 && arguments[1] == "--json"))) {
    return orvanta_sim::Pending(arguments.size() == 2);
  }
  if (command == "restart" && arguments.size() == 1) return orvanta_sim::Restart();
  bool state = command == "set" || ((command == "show" || command == "events") && arguments.size() == 1);
  if (state) {
    std::string problem = orvanta_sim::DeviceProblem();
    if (!problem.empty()) {
      std::fprintf(stderr, "orvanta-sim %s: %s\n", command.c_str(), problem.c_str());
      return 1;
    }
  }
  if (command == "set") return orvanta_sim::Set(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
  if (command == "show" && arguments.size() == 1) return orvanta_sim::Show();
  if (command == "events" && arguments.size() == 1) return orvanta_sim::Events();
  if (command == "stage" || command == "update" || command == "try") {
    return orvanta_sim::SimulatorCommand(arguments);
  }
  if (command.empty()) {
    std::fputs(kUsage, stderr);
  } else {
    std::fprintf(stderr, "orvanta-sim: unknown command or arguments: %s\norvanta-sim help tells more.\n",
                 command.c_str());
  }
  return 2;
}
