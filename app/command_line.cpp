#include "app/command_line.h"

#include <cstdio>

namespace app {

void ReadCommandLine(const std::string& commandLine, std::uint32_t* processId, std::string* tag) {
  unsigned int id = 0;
  char word[100] = "";
  std::sscanf(commandLine.c_str(), "%8X %99s", &id, word);
  *processId = id;
  *tag = word;
}

}  // namespace app
