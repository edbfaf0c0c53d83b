#include "app/app_launch.h"

#include <string>

#include "app/process_waits.h"
#include "app/run_log.h"
#include "app/run_state.h"
#include "package/package.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/process.h"
#include "version/package_type.h"

namespace app {
namespace {

// The device application executables, by the AppIndex of a package header.
const char* const kApplications[] = {"Orvanta.exe"};

std::string FolderOf(const std::string& path) {
  std::size_t cut = path.rfind('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool Launch(const std::string& path, const std::string& folder) {
  LogMessage("Launching \"%s\".\r\n", path.c_str());
  if (platform::LaunchWithShell(path, "", folder, platform::kShowNoActivate)) return true;
  LogMessage("ERROR: startApp() could not launch \"%s\" (error %lu).\r\n", path.c_str(),
             static_cast<unsigned long>(platform::LastError()));
  return false;
}

// The program that started the run, when it is still on the device.
bool LaunchingImageExists() {
  const std::string& image = Run().launchingImage;
  if (image.empty()) return false;
  platform::Dword attributes = platform::FileAttributes(image);
  return attributes != platform::kInvalidAttributes && !(attributes & platform::kAttributeDirectory);
}

void RelaunchLaunchingImage() {
  const std::string& image = Run().launchingImage;
  LogMessage("Relaunching the application that started the update.\r\n");
  Launch(image, FolderOf(image));
}

}  // namespace

void startApp() {
  LogMessage("startApp() called.\r\n");
  const std::string& start = Run().LocationPaths[version::SOFTWARE];
  // Without a location the search would start at the drive root and could
  // find a stale copy anywhere on the device.
  if (start.empty()) {
    if (LaunchingImageExists()) {
      RelaunchLaunchingImage();
    } else {
      LogMessage("ERROR: startApp() has no SOFTWARE location to search and no launching application to relaunch.\r\n");
    }
    return;
  }
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
  if (!Launch(path, folder) && LaunchingImageExists()) RelaunchLaunchingImage();
}

}  // namespace app
