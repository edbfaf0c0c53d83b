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

namespace app {

bool AsksForHelp(const std::string& commandLine) {
  std::size_t first = commandLine.find_first_not_of(" \t");
  if (first == std::string::npos) return false;
  std::size_t last = commandLine.find_last_not_of(" \t");
  std::string word = commandLine.substr(first, last - first + 1);
  return word == "--help" || word == "-h";
}

const char kUsage[] =
    "usage: orvanta-update PID LANGUAGE\n"
    "       orvanta-update --help | -h\n"
    "\n"
    "The Orvanta software-update tool (OrvantaUpdate.exe on the device). The\n"
    "device application starts it in the update folder C:\\Orvanta\\Update with\n"
    "the command line \"%08X %s\": its own process id in hexadecimal and its\n"
    "language tag, as in\n"
    "\n"
    "  OrvantaUpdate.exe 00001A2C de-DE\n"
    "\n"
    "The tool shows a progress window in the tag's language (else the user's,\n"
    "else English), waits for that process to end, applies the packages that\n"
    "UpdateInfo.xml in its working folder lists, runs the installers they\n"
    "deliver, and then restarts the device, starts the device service again or\n"
    "starts the device application. It writes its log one folder up,\n"
    "..\\update_log.txt. Before it goes on it waits 10 s with its last message\n"
    "on the screen; without a process id it only shows a message for 10 s.\n"
    "\n"
    "On Linux the device is simulated (orvanta-sim, which runs the tool as the\n"
    "device does: orvanta-sim update DEVICE). The simulator reads:\n"
    "  ORVANTA_DEVICE_ROOT     the folder that stands for the device (default\n"
    "                          $HOME/.orvanta/device); C:\\ is ROOT/C\n"
    "  ORVANTA_SIM_TIME_SCALE  scales the tool's fixed waits (default 1; 0 skips\n"
    "                          them)\n"
    "  ORVANTA_SIM_EVENT_WAIT_MS\n"
    "                          below time scale 1, the real time a wait for\n"
    "                          something that happens may take (default 5000)\n"
    "  ORVANTA_SIM_DRAW_WINDOW 0: the window is not drawn on the terminal (it is\n"
    "                          always written to sim/window.txt)\n"
    "  ORVANTA_SIM_FAULTS      NAME:COUNT:ERROR,...: the device's next COUNT calls\n"
    "                          of an operation fail with ERROR (for tests)\n"
    "  ORVANTA_SIM_KILL_AFTER  k: the tool is killed, as by a power cut, at its\n"
    "                          k-th operation on the device (for tests)\n"
    "  LC_ALL, LANG            the user's locale (de_AT.UTF-8 is de-AT; none or C\n"
    "                          is en-US)\n"
    "\n"
    "Exit codes: 0 when the run has ended (its outcome is in the log), 1 when\n"
    "the progress window cannot be created; --help and -h print this and exit\n"
    "with 0.\n";

}  // namespace app
