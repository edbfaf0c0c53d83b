// The simulator's entry: the arguments joined by single blanks make the
// command line, as Windows hands it to WinMain.
#include <string>

#include "platform/entry.h"

int main(int argc, char** argv) {
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  return ProgramMain(commandLine, platform::kShowNormal);
}
