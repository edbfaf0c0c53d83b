#pragma once
// The process entry point: WinMain on Windows, main on the simulator. Each
// hands the command line to the program's own entry, defined outside the
// operating-system layer.
#include <string>

namespace platform {

// SW_SHOWNORMAL, the show command the simulator's entry passes.
constexpr int kShowNormal = 1;

}  // namespace platform

// The program's entry: the command line as one text (without the program's
// own name) and the show command. Returns the process's exit code.
int ProgramMain(const std::string& commandLine, int showCommand);
