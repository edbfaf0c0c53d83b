#include <windows.h>

#include "platform/entry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int showCommand) {
  return ProgramMain(commandLine != nullptr ? commandLine : "", showCommand);
}
