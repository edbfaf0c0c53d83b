#pragma once
// Processes: programs started through the shell, processes opened by id,
// their image names and waits for their end.
//
// On the simulator a process is a host process and its id the host's; opening
// one by id works for any process of the host, whatever access is asked. A
// program running from the device holds its image, as Windows keeps a running
// image mapped: the file cannot be opened for writing or deleted
// (kErrorSharingViolation, kErrorAccessDenied) until the program ends.
#include <cstdint>
#include <string>

#include "platform/errors.h"
#include "platform/handle.h"

namespace platform {

// Closes a process handle (the simulator also reaps an ended child of its own).
void CloseProcessHandle(std::intptr_t native);

// A process; invalid as null.
using Process = Handle<CloseProcessHandle, 0>;

// Access rights for OpenProcessById.
constexpr Dword kSynchronize = 0x00100000;
constexpr Dword kProcessTerminate = 0x0001;
constexpr Dword kProcessQueryInformation = 0x0400;
constexpr Dword kProcessQueryLimitedInformation = 0x1000;

// Show commands of a started program.
constexpr int kShowNormalWindow = 1;  // SW_SHOWNORMAL
constexpr int kShowWindow = 5;        // SW_SHOW
constexpr int kShowNoActivate = 8;    // SW_SHOWNA

// ShellExecuteEx with SEE_MASK_NOCLOSEPROCESS, no owner window, no verb and
// SW_SHOW: starts `file` (looked up as the shell looks it up when it names no
// folder) with the parameter text, in `directory`. Invalid when the shell
// started nothing or returned no process.
Process StartWithShell(const std::string& file, const std::string& parameters, const std::string& directory);

// ShellExecuteEx with SEE_MASK_FLAG_NO_UI (a file that cannot be started is
// an error code, never a box waiting for a tap), no owner window, no verb and
// the show command given; the process is not kept. `directory` may be empty.
bool LaunchWithShell(const std::string& file, const std::string& parameters, const std::string& directory,
                     int showCommand);

// OpenProcess, the handle not inheritable. Invalid when there is no such
// process (kErrorInvalidParameter) or the access is refused.
Process OpenProcessById(Dword processId, Dword access);

// QueryFullProcessImageNameA (looked up at run time in "kernel32.dll"), with
// a buffer of 260 characters and the normal path format: "C:\...\x.exe" for a
// program on the device (the simulator gives a host path, "/...", for one
// outside it). `path` is untouched on failure.
bool QueryProcessImageName(const Process& process, std::string* path);

// WaitForSingleObject: true when the process has ended, waiting at most
// `milliseconds`. The simulator waits for the end as the device does, up to
// its budget of real waiting below time scale 1 (see sim_device.h).
bool WaitForProcess(const Process& process, Dword milliseconds);

// GetCurrentProcessId.
Dword CurrentProcessId();

// GetProcessId: the id of the process a handle names (what the device
// application hands the update tool); 0 for an invalid handle.
Dword ProcessId(const Process& process);

// TerminateProcess: ends the process at once with `exitCode`. The simulator
// ends the host process and records it in the device's timeline.
bool TerminateProcess(const Process& process, Dword exitCode);

}  // namespace platform
