// orvanta-sim: prepares, inspects and restarts a simulated Orvanta device,
// and tries update packages on a copy of one.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "tools/orvanta-sim/commands.h"

namespace {

const char kUsage[] =
    "usage: orvanta-sim COMMAND [--device DEVICE | DEVICE] [ARGUMENTS]\n"
    "\n"
    "Every command acts on one device: the folder given with --device DEVICE\n"
    "(anywhere on the command line) or as the command's first argument, else\n"
    "$ORVANTA_DEVICE_ROOT, else $HOME/.orvanta/device. A device is a folder with\n"
    "one folder per drive: C:\\Windows is DEVICE/C/Windows. A stand-in of a real\n"
    "device is a copy of its drives' files in DEVICE/C/... stage, update and try\n"
    "need the device simulator of the Linux build.\n"
    "\n"
    "commands:\n"
    "  init [--demo] [--service] [--keys KEY.pub]... DEVICE\n"
    "            lay out a new simulated device in DEVICE: system folders, a\n"
    "            recording msiexec (sim/msiexec.log), the device application\n"
    "            Orvanta.exe and the three speech servers beside it (real programs\n"
    "            that record their starts in app-starts.log beside them), and the\n"
    "            update tool's folder C:\\Orvanta\\Update with a descriptor naming\n"
    "            the device's folders; connected standby on, OS version 10.0, the\n"
    "            execution-required request timeout 300 s (--demo: a PC: a\n"
    "            descriptor for a PC, not the device, and no connected standby;\n"
    "            --service: the device service\n"
    "            stand-in installed as C:\\Windows\\OEM\\ZAMService.exe with\n"
    "            ZAMServiceComm.dll, registered as ZAMService for automatic start,\n"
    "            and running; --keys: the minisign public keys of KEY.pub trusted,\n"
    "            in C:\\Windows\\OEM\\ZAMHelper\\UpdateKeys.pub, so that the device runs\n"
    "            only packages with a PACKAGE.minisig that one of them made)\n"
    "  stage DEVICE PACKAGE...\n"
    "            copy the packages into C:\\Orvanta\\Update and make the descriptor's\n"
    "            UpdateList name them, in this order (a device without a descriptor\n"
    "            gets the locations of init); a package's signature PACKAGE.minisig\n"
    "            goes with it\n"
    "  update DEVICE [--lang TAG] [--json]\n"
    "            start the device application, then the update tool in\n"
    "            C:\\Orvanta\\Update with the application's process id and TAG\n"
    "            (default en-US), as the device's maintenance menu does; waits for\n"
    "            the tool (ORVANTA_SIM_TIME_SCALE scales its waits), then sums up\n"
    "            what the device recorded: per package its window line, outcome and\n"
    "            first ERROR lines; the number of ERROR lines in the run log; the\n"
    "            operations pending for the restart; how the run handed the device\n"
    "            back (restart requested, service restarted, application launched,\n"
    "            installers run), from the device's timeline; and the host path of\n"
    "            the run log (--json: the same as one JSON document). Exit code 0\n"
    "            when every package was applied without an ERROR line, 1 when the\n"
    "            run had errors, 2 when the update did not run (no device, no\n"
    "            descriptor, a window that cannot be created, no run log written)\n"
    "  try DEVICE [--lang TAG] [--hold PATH[:none|read]]... [--json] [--keep]\n"
    "      PACKAGE...\n"
    "            check packages before shipping them: copy DEVICE, with the\n"
    "            attributes the simulator keeps, to a scratch folder (DEVICE is\n"
    "            never changed), start its automatic services there, stage the\n"
    "            packages, run the update (time scale 0) with each PATH held open\n"
    "            as a running program would (sharing nothing, or reading; PATH is a\n"
    "            device path, C:\\..., or a host path inside DEVICE), restart the\n"
    "            copy and report: counts; the files held; per package its window\n"
    "            line, outcome and signature (by which key, if any: a device with\n"
    "            keys refuses what they did not sign, and so does the copy); the\n"
    "            files and folders added, changed (or changed\n"
    "            in attributes only, each attribute before and after) and removed,\n"
    "            outside the update folder and the run log; the operations that\n"
    "            waited for the restart; every \"ERROR: \" line of the run log; the\n"
    "            final decision; and warnings where a package does not fit the\n"
    "            device (a file where the device is not the base the package was\n"
    "            made against, from PACKAGE.base.json beside it; a changed or\n"
    "            removed file the device does not have; a folder whose parent is\n"
    "            missing; a file that lands in another package type's location).\n"
    "            On a copy of a real device, the simulator's device application\n"
    "            and msiexec stand in for Windows programs the host cannot run. At\n"
    "            a terminal, what it is doing goes to standard error. --json: the\n"
    "            report as one JSON document (warnings with a code and a path);\n"
    "            --keep: keep the copy. Exit code 0 when there was no \"ERROR: \"\n"
    "            line and no warning, 1 otherwise, 2 when the try could not be made\n"
    "  pending DEVICE [--json]\n"
    "            list the operations waiting for the next restart, in the order\n"
    "            the system carries them out\n"
    "  restart DEVICE\n"
    "            restart the device: carry out the pending operations in order (a\n"
    "            delete of a missing path or a move of a missing source is skipped),\n"
    "            empty the list and record the restart; the device service's\n"
    "            program (ZAMService) ends before and, when automatic, starts after;\n"
    "            an operation that fails is printed with its error\n"
    "            (ERROR_ACCESS_DENIED (5)) and the exit code is 1\n"
    "  set DEVICE connected-standby on|off\n"
    "            whether the device supports connected standby\n"
    "  set DEVICE timeout AC DC\n"
    "            the active power scheme's execution-required request timeout on\n"
    "            AC and DC power (decimal, or hexadecimal with 0x)\n"
    "  set DEVICE os-version MAJOR.MINOR\n"
    "            the version the system reports (10.0 when never set)\n"
    "  set DEVICE policy NAME VALUE\n"
    "            a per-user policy value under\n"
    "            HKCU\\Software\\Policies\\Microsoft\\Windows\\System (DisableCMD)\n"
    "  show DEVICE\n"
    "            print the whole simulated state: OS version, connected standby,\n"
    "            power scheme values, policy values, power requests held, the\n"
    "            shutdown request, pending operations, restarts, the registered\n"
    "            services with their states and process ids\n"
    "  events DEVICE\n"
    "            print the device's timeline (sim/events.log): programs started\n"
    "            through the shell, power requests set and cleared, power scheme\n"
    "            and policy values written, shutdown and power-state requests,\n"
    "            services registered, started, stopped and deleted, processes\n"
    "            terminated\n"
    "  help      this text\n"
    "\n"
    "DEVICE stands for either way of naming the device, or none. Every command\n"
    "but init exits non-zero when its device holds no simulated device.\n";

// The device a command acts on: `--device DEVICE` anywhere among the
// arguments, or the folder as the command's first argument after its
// options (init: its one folder); without either, ORVANTA_DEVICE_ROOT, else $HOME/.orvanta/device.
// Taken out of `arguments`; false with the problem when --device is given
// without a value or twice.
bool TakeDevice(std::vector<std::string>* arguments, std::string* device, std::string* problem) {
  const std::string& command = (*arguments)[0];
  bool named = false;
  for (std::size_t i = 1; i < arguments->size();) {
    if ((*arguments)[i] != "--device") {
      ++i;
      continue;
    }
    if (i + 1 >= arguments->size()) {
      *problem = "option --device needs a value";
      return false;
    }
    if (named) {
      *problem = "option --device is given twice";
      return false;
    }
    *device = (*arguments)[i + 1];
    named = true;
    arguments->erase(arguments->begin() + static_cast<std::ptrdiff_t>(i),
                     arguments->begin() + static_cast<std::ptrdiff_t>(i + 2));
  }
  std::size_t at = 0;
  if (command == "init") {
    // init [--demo] [--service] [--keys KEY.pub]... DIR: the folder need not exist yet.
    for (std::size_t i = 1; i < arguments->size(); ++i) {
      if ((*arguments)[i] == "--keys") ++i;
      else if ((*arguments)[i].rfind("-", 0) != 0) at = i;
    }
  } else {
    // The first argument that is no option nor an option's value is the
    // device when it is a folder (packages are files, set's first word is a
    // setting); update takes no other.
    std::size_t first = 1;
    while (first < arguments->size() && (*arguments)[first].rfind("-", 0) == 0) {
      bool valued = (*arguments)[first] == "--lang" || (*arguments)[first] == "--hold";
      first += valued ? 2 : 1;
    }
    if (first < arguments->size()) {
      const std::string& word = (*arguments)[first];
      std::error_code code;
      bool setting = command == "set" && (word == "connected-standby" || word == "timeout" || word == "os-version" ||
                                          word == "policy");
      if (command == "update" || (!setting && std::filesystem::is_directory(word, code))) at = first;
    }
  }
  if (at != 0) {
    if (named) {
      *problem = "the device is named twice: --device " + *device + " and " + (*arguments)[at];
      return false;
    }
    *device = (*arguments)[at];
    named = true;
    arguments->erase(arguments->begin() + static_cast<std::ptrdiff_t>(at));
  }
  if (named) {
    std::error_code code;
    std::filesystem::path absolute = std::filesystem::absolute(*device, code);
    platform::SetEnvironmentValue("ORVANTA_DEVICE_ROOT", absolute.string());
  }
  *device = orvanta_sim::DeviceRoot();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string command = arguments.empty() ? "" : arguments[0];
  bool help = arguments.size() > 1 && (arguments[1] == "--help" || arguments[1] == "-h");
  if (command == "help" || command == "--help" || command == "-h" || help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const std::vector<std::string> known = {"init", "stage", "update", "try", "pending",
                                          "restart", "set", "show", "events"};
  if (std::find(known.begin(), known.end(), command) == known.end()) {
    if (command.empty()) {
      std::fputs(kUsage, stderr);
    } else {
      std::fprintf(stderr, "orvanta-sim: unknown command: %s\norvanta-sim help tells more.\n", command.c_str());
    }
    return 2;
  }
  std::string device;
  std::string problem;
  if (!TakeDevice(&arguments, &device, &problem)) {
    std::fprintf(stderr, "orvanta-sim %s: %s\n", command.c_str(), problem.c_str());
    return 2;
  }
  if (command == "init") {
    bool onDevice = true, withService = false, plain = true;
    std::vector<std::string> keys;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
      if (arguments[i] == "--demo") onDevice = false;
      else if (arguments[i] == "--service") withService = true;
      else if (arguments[i] == "--keys" && i + 1 < arguments.size()) keys.push_back(arguments[++i]);
      else plain = false;
    }
    if (plain) return orvanta_sim::Init(device, onDevice, withService, keys);
  } else {
    problem = orvanta_sim::DeviceProblem();
    if (!problem.empty()) {
      std::fprintf(stderr, "orvanta-sim %s: %s\n", command.c_str(), problem.c_str());
      return 1;
    }
  }
  std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  if (command == "pending" && (rest.empty() || (rest.size() == 1 && rest[0] == "--json"))) {
    return orvanta_sim::Pending(!rest.empty());
  }
  if (command == "restart" && rest.empty()) return orvanta_sim::Restart();
  if (command == "set") return orvanta_sim::Set(rest);
  if (command == "show" && rest.empty()) return orvanta_sim::Show();
  if (command == "events" && rest.empty()) return orvanta_sim::Events();
  if (command == "stage" || command == "update" || command == "try") {
    return orvanta_sim::SimulatorCommand(device, arguments);
  }
  std::fprintf(stderr, "orvanta-sim: unknown command or arguments: %s\norvanta-sim help tells more.\n",
               command.c_str());
  return 2;
}
