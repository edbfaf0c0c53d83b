#pragma once
// A simulated device as a folder on the host: its drives (ROOT/C/...), the
// simulator's records (ROOT/sim/), the update tool's folder and descriptor.
#include <string>
#include <vector>

#include "tools/orvanta-sim/commands.h"

namespace orvanta_sim {

// Where the update tool works on a simulated device, and its run log (one
// folder up, as the tool writes it).
extern const char* const kUpdateFolder;
extern const char* const kRunLog;

// Why `root` does not hold a simulated device (it is missing, not a folder,
// or has no drive folder such as ROOT/C), or empty when it does.
std::string DeviceRootProblem(const std::string& root);

using tools::ReadLocations;

// The device application: Orvanta.exe in the SOFTWARE location.
std::string ApplicationPath(const std::vector<std::string>& locations);

// Why the host cannot run the program at `host` (missing, or not a script or
// a host executable: a Windows program on a copy of a real device), or empty.
std::string ProgramProblem(const fs::path& host);

// Copies the packages into the update folder and makes the descriptor's
// UpdateList name them, in order; a device without a descriptor gets the
// locations of orvanta-sim init. Lines for a person go to `notes`.
bool StagePackages(const fs::path& root, const std::vector<std::string>& packages, std::vector<std::string>* notes,
                   std::string* problem);

// A file held open during the update, as a running program would.
struct Hold {
  std::string path;  // device path
  bool shareRead = false;
};

// Runs the update tool in the update folder of ORVANTA_DEVICE_ROOT's device,
// after starting the device application, whose process id it gets; the
// files of `holds` stay open until the tool has ended. False with the reason
// when something could not be started.
bool RunUpdate(const fs::path& root, const std::string& language, const std::vector<Hold>& holds,
               const std::string& toolPath, std::string* problem);

// Ends the programs of a RunUpdate under way (the update tool, then the
// device application) without waiting for them, so that RunUpdate's waits
// return, and keeps RunUpdate from starting any more. For another thread.
void StopRunUpdate();

// StopRunUpdate, then every other program running on the device but the
// caller is ended and waited for, for a command that is itself ending.
void EndRunUpdate();

// Commands on the device `device`; `arguments` start with the command.
int Stage(const std::string& device, const std::vector<std::string>& arguments);
int Update(const std::string& device, const std::vector<std::string>& arguments);
int Try(const std::string& device, const std::vector<std::string>& arguments);

}  // namespace orvanta_sim
