// The update tool's executable: the process entry hands over to the run.
#include "app/command_line.h"
#include "app/update_run.h"
#include "platform/entry.h"
#include "platform/terminal.h"

int ProgramMain(const std::string& commandLine, int showCommand) {
  if (app::AsksForHelp(commandLine)) {
    platform::WriteStandardOutput(app::kUsage);
    return 0;
  }
  return app::UpdaterMain(commandLine, showCommand);
}
