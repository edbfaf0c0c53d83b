#pragma once
// The device simulator's shared rules: where the device lives on the host,
// how device paths map to host paths, and errno as Windows error codes.
#include <string>
#include <vector>

#include "platform/errors.h"

namespace platform::sim {

// $ORVANTA_DEVICE_ROOT, or $HOME/.orvanta/device; absolute, without a trailing slash.
std::string DeviceRoot();

// A path taken apart: either on a drive of the device or, only for a
// program whose working directory lies outside the device, a host path.
struct DevicePath {
  bool onHost = false;
  char drive = 'C';
  std::vector<std::string> parts;  // narrow (Latin-1) components, "." and ".." resolved
};

// Resolves `path` against the working directory. Fails with the Windows error
// the device would give (kErrorBadNetpath, kErrorInvalidName, kErrorPathNotFound).
bool ParsePath(const std::string& path, DevicePath* out);

// "C:\A\b" or "/host/dir".
std::string DeviceForm(const DevicePath& path);

// Where a path lands on the host, and what the lookup learned on the way.
struct HostEntry {
  std::string path;
  // The whole path names an entry (as a lookup saw it; the caller's own
  // stat is the last word).
  bool exists = false;
  // The folder that holds the last component exists.
  bool folderExists = false;
  // A folder on the way is a host symbolic link that leads out of the device
  // root: nothing may be written or changed there.
  bool outside = false;
};

// The host path of `path`, each existing component matched without regard
// to ASCII letter case (the name as given first); components that do not
// exist keep the given case.
HostEntry Resolve(const DevicePath& path);
std::string HostPath(const DevicePath& path);

// ParsePath and Resolve in one step; also enforces the 260-character limit.
bool MapPath(const std::string& path, HostEntry* entry);
bool MapPath(const std::string& path, std::string* hostPath);

// True when the host symbolic link at `host` leads out of the device root
// (or nowhere that can be told).
bool LeadsOutside(const std::string& host);

// The device form ("C:\A\b") of a host path under the device root; other
// host paths stay as they are.
std::string DeviceFormOfHost(const std::string& host);

// MapPath for a name about to be created: the folders are matched without
// regard to case, the leaf keeps the case given (as a rename or move gives it).
bool MapNewName(const std::string& path, HostEntry* entry);
bool MapNewName(const std::string& path, std::string* hostPath);

// Latin-1 (the device's code page) to UTF-8 for host names, and back; a host
// character beyond U+00FF reads as '?'.
std::string HostName(const std::string& latin1);
std::string DeviceName(const std::string& utf8);

// A file of the simulator's own under $ORVANTA_DEVICE_ROOT/sim/ (the folder
// is created when missing). A link in the place of the folder or the file is
// removed first: the simulator's records are never followed out of the device.
std::string SimFile(const std::string& name);

// The lines of a file of the simulator's own (empty when it does not exist),
// and its whole replacement (written beside it, then renamed over it).
std::vector<std::string> ReadSimLines(const std::string& name);
bool WriteSimLines(const std::string& name, const std::vector<std::string>& lines);

// Appends one line to the device's timeline, sim/events.log:
// "TIME<TAB>EVENT<TAB>DETAILS", the local time with milliseconds. One write
// per line, so that lines of several processes never mix. Tabs and line
// breaks inside the details become blanks.
void RecordEvent(const std::string& event, const std::string& details);

// True when `hostPath` is the image of a running host process: Windows keeps
// a running program's file mapped, so it cannot be written or deleted.
bool IsRunningImage(const std::string& hostPath);

// ORVANTA_SIM_TIME_SCALE: the factor of every fixed wait (default 1; 0 makes
// a wait return at once).
double TimeScale();

// A wait for something that happens (a process ending) ends when it happens,
// as on the device, whatever the time scale. Only below time scale 1 is it
// bounded, so that a thing that never happens does not cost the device's
// whole time: the real time such waits may spend in one program is
// ORVANTA_SIM_EVENT_WAIT_MS (default 5000); past it they wait the scaled time.
// EventWaitTimeout gives the poll time-out in ms for a wait of `milliseconds`
// (-1: no limit); EventWaitDone books the real time spent and moves the clock
// by what a wait that timed out skipped.
int EventWaitTimeout(Dword milliseconds);
void EventWaitDone(Dword milliseconds, long long spentMs, bool timedOut);

bool EqualsIgnoreCase(const std::string& a, const std::string& b);

// The whole content of a file under /proc, "" when it cannot be read: a
// process may end while its files are read, which then fail with ESRCH.
std::string ReadProcFile(const std::string& path);

// The start time of host process `pid` in clock ticks since boot, which tells
// it from a later process with the same id; 0 when it does not run (a process
// that has ended but was not yet reaped counts as ended).
unsigned long long ProcessStartTime(int pid);

// The device name of a running program's image, without its folder
// ("ZAMService.exe"); a host program outside the device keeps its host name.
std::string ProcessImageName(int pid);

// Windows' CommandLineToArgv rules: blanks and tabs separate arguments
// outside quotes; 2n backslashes before a quote give n backslashes and the
// quote opens or closes; 2n+1 give n backslashes and a literal quote; ""
// inside quotes gives a literal quote.
std::vector<std::string> SplitCommandLine(const std::string& text);

// The Windows error for an errno; `hostPath` decides between "file" and "path not found".
Dword ErrorFromErrno(int error, const std::string& hostPath = std::string());
// Sets the last error from errno and returns false.
bool FailFromErrno(const std::string& hostPath = std::string());
bool Fail(Dword error);

}  // namespace platform::sim
