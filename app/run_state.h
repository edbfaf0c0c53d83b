#pragma once
// The updater's run-wide state: one instance per process.
#include <array>
#include <string>
#include <vector>

#include "version/package_type.h"

namespace app {

struct RunState {
  // Run log: the path fixed by the first write of the run ("" until then).
  std::string logPath;

  // Current language, an index into the message table's columns.
  int language = 0;

  // From the descriptor. Both stay false when it is missing or unusable, so
  // they are not complements.
  bool bDemoMode = false;
  bool bOnDevice = false;
  // Destination folder per package type.
  std::array<std::string, version::kPackageTypeCount> LocationPaths;
  // Package files in descriptor order, duplicates and empty entries kept.
  std::vector<std::string> UpdateFiles;
};

RunState& Run();

}  // namespace app
