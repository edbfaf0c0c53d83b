// The simulated device's OS version: sim/os-version holds "MAJOR.MINOR"
// (10.0 when absent), so that the version-6 rules and the older ones can
// both be tried.
#include "platform/os_version.h"

#include <cstdio>
#include <vector>

#include "platform/fault.h"
#include "platform/posix/sim_device.h"

namespace platform {

bool QueryOsVersion(OsVersionInfo* info) {
  if (FaultHit(FaultOp::OsVersion)) return false;
  unsigned major = 10;
  unsigned minor = 0;
  std::vector<std::string> lines = sim::ReadSimLines("os-version");
  if (!lines.empty() && std::sscanf(lines[0].c_str(), "%u.%u", &major, &minor) < 1) {
    major = 10;
    minor = 0;
  }
  info->majorVersion = major;
  info->minorVersion = minor;
  info->buildNumber = major >= 10 ? 19045 : 0;
  info->platformId = 2;  // VER_PLATFORM_WIN32_NT
  return true;
}

}  // namespace platform
