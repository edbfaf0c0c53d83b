// The update tool's executable: the process entry hands over to the run.
#include "app/update_run.h"
#include "platform/entry.h"

int ProgramMain(const std::string& commandLine, int showCommand) {
  return app::UpdaterMain(commandLine, showCommand);
}
