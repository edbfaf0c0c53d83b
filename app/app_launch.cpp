#include "app/app_launch.h"

#include <string>

#include "app/process_waits.h"
#include "app/run_log.h"
#include "app/run_state.h"
#include "package/package.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "version/package_type.h"

namespace app {
namespace {

// The device application executables, by the AppIndex of a package header.
const char* const kApplications[] = {"Orvanta.exe"};

}  // namespace

void startApp() {
  LogMessage("startApp() called.\r\n");
  const std::string& start = Run().LocationPaths[version::SOFTWARE];
  LogMessage("We'll search for the executable in \"%s\".\r\n", start.c_str());
  // An index without an entry comes only from a package refused at opening;
  // the device has one application, and it must come back.
  std::uint32_t index = package::Package().header.AppIndex;
  const char* executable = index < std::size(kApplications) ? kApplications[index] : kApplications[0];
  std::string folder;
  bFindFileFolder(start, executable, &folder);
  std::string path = folder;
  if (path.empty() || path.back() != '\\') path += '\\';
  path += executable;
  LogMessage("Launching \"%s\".\r\n", path.c_str());
  if (!platform::LaunchWithShell(path, "", folder, platform::kShowNoActivate)) {
    LogMessage("ERROR: startApp() could not launch \"%s\" (error %lu).\r\n", path.c_str(),
               static_cast<unsigned long>(platform::LastError()));
  }
}

}  // namespace app
