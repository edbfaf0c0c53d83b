#pragma once
// The updater's run-wide state: one instance per process.
#include <string>

namespace app {

struct RunState {
  // Run log: the path fixed by the first write of the run ("" until then).
  std::string logPath;

  // Current language, an index into the message table's columns.
  int language = 0;
};

RunState& Run();

}  // namespace app
