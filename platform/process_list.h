#pragma once
// The running programs of the machine: a snapshot of the process list by
// image name and id (a listed process is opened, waited for and ended
// through the process concern, platform/process.h).
//
// On the simulator the list holds the host processes that work on this
// device (the calling process and those whose environment names its root);
// a program stored on the device is listed under its device name
// ("ZAMService.exe").
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/process.h"

namespace platform {

constexpr Dword kMaximumAllowed = 0x02000000;

struct ProcessEntry {
  Dword processId = 0;
  std::string exeFile;  // the image's file name, without its folder
};

// CreateToolhelp32Snapshot with TH32CS_SNAPPROCESS, walked with
// Process32First and Process32Next: every process, in snapshot order.
bool ListProcesses(std::vector<ProcessEntry>* processes);

// GetModuleFileName of the main module: the full path of the running program.
std::string OwnProgramPath();

}  // namespace platform
