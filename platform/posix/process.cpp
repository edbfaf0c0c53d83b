// Programs on the simulated device are host executables (scripts or
// binaries) stored under their device names. A name without a folder is
// looked up in C:\Windows\System32, then in the working directory, also with
// ".exe" appended. The child gets the parameter text split by the Windows
// command-line rules, the whole text in ORVANTA_SIM_COMMAND_LINE, and the
// mapped folder it was given as its working directory.
//
// A process handle is a pidfd: like a Windows handle it keeps naming the same
// process, a child or not, and becomes signalled when the process ends.
#include "platform/process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <vector>

#include "platform/fault.h"
#include "platform/posix/sim_device.h"

namespace platform {
namespace {

bool IsProgram(const std::string& host) {
  struct stat st;
  return stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FindProgram(const std::string& file, std::string* host) {
  std::vector<std::string> candidates;
  if (file.find_first_of("\\/:") == std::string::npos) {
    for (const char* folder : {"C:\\Windows\\System32\\", ""}) {
      candidates.push_back(folder + file);
      candidates.push_back(std::string(folder) + file + ".exe");
    }
  } else {
    candidates.push_back(file);
  }
  for (const std::string& candidate : candidates) {
    if (sim::MapPath(candidate, host) && IsProgram(*host)) return true;
  }
  SetLastErrorCode(kErrorFileNotFound);
  return false;
}

int OpenPidfd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

// The process id behind a pidfd (0 when it cannot be read).
pid_t PidOf(std::intptr_t native) {
  std::ifstream in("/proc/self/fdinfo/" + std::to_string(native));
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, 4, "Pid:") == 0) {
      long pid = std::strtol(line.c_str() + 4, nullptr, 10);
      return pid > 0 ? static_cast<pid_t>(pid) : 0;
    }
  }
  return 0;
}

// The device's name of a program's host path: "C:\..." on the device, the
// host path (in the device's code page) outside it.
std::string DeviceNameOfHost(const std::string& host) {
  std::string form = sim::DeviceFormOfHost(host);
  return !form.empty() && form[0] == '/' ? sim::DeviceName(form) : form;
}

const char* ShowName(int showCommand) {
  switch (showCommand) {
    case kShowNormalWindow:
      return "SW_SHOWNORMAL";
    case kShowWindow:
      return "SW_SHOW";
    case kShowNoActivate:
      return "SW_SHOWNA";
    default:
      return "SW_?";
  }
}

// A program found and its arguments, ready to be started.
struct Start {
  std::string program;  // host path
  std::string folder;   // host path, empty for the caller's working directory
  std::vector<std::string> arguments;
  std::string commandLine;
};

bool Prepare(const std::string& file, const std::string& parameters, const std::string& directory, Start* start) {
  if (!FindProgram(file, &start->program)) return false;
  // A file that is not a program cannot be started, as the system refuses a file that is no executable image.
  if (access(start->program.c_str(), X_OK) != 0) return sim::Fail(kErrorBadExeFormat);
  if (!directory.empty()) {
    struct stat st;
    if (!sim::MapPath(directory, &start->folder)) return false;
    if (stat(start->folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return sim::Fail(kErrorDirectory);
  }
  start->arguments.push_back(start->program.substr(start->program.find_last_of('/') + 1));
  for (const std::string& argument : sim::SplitCommandLine(parameters)) start->arguments.push_back(sim::HostName(argument));
  start->commandLine = sim::HostName(parameters);
  return true;
}

// In a forked child: becomes the program, or ends with 127.
[[noreturn]] void Exec(Start& start) {
  std::vector<char*> argv;
  for (std::string& argument : start.arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  setenv("ORVANTA_SIM_COMMAND_LINE", start.commandLine.c_str(), 1);
  if (!start.folder.empty() && chdir(start.folder.c_str()) != 0) _exit(127);
  execv(start.program.c_str(), argv.data());
  if (errno == ENOEXEC) {
    // A script without an interpreter line runs in the shell, as execvp would.
    std::vector<char*> shell;
    shell.push_back(const_cast<char*>("sh"));
    shell.push_back(start.program.data());
    for (std::size_t i = 1; argv[i] != nullptr; ++i) shell.push_back(argv[i]);
    shell.push_back(nullptr);
    execv("/bin/sh", shell.data());
  }
  _exit(127);
}

void RecordStart(const Start& start, const std::string& parameters, const std::string& directory, int showCommand,
                 pid_t pid) {
  sim::RecordEvent("program-start", DeviceNameOfHost(start.program) + "; parameters: " +
                                        parameters + "; folder: " + directory + "; show: " + ShowName(showCommand) +
                                        " (" + std::to_string(showCommand) + "); process " + std::to_string(pid));
}

}  // namespace

// Closing a handle does not end the process; a child that has ended is
// reaped so that it leaves no zombie.
void CloseProcessHandle(std::intptr_t native) {
  Dword saved = LastError();
  pid_t pid = PidOf(native);
  int status = 0;
  if (pid > 0) waitpid(pid, &status, WNOHANG);
  ::close(static_cast<int>(native));
  SetLastErrorCode(saved);
}

Process StartWithShell(const std::string& file, const std::string& parameters, const std::string& directory) {
  Start start;
  if (!Prepare(file, parameters, directory, &start)) return Process();
  pid_t pid = fork();
  if (pid < 0) {
    sim::FailFromErrno();
    return Process();
  }
  if (pid == 0) Exec(start);
  RecordStart(start, parameters, directory, kShowWindow, pid);
  int fd = OpenPidfd(pid);
  if (fd < 0) {
    sim::FailFromErrno();
    return Process();
  }
  return Process(fd);
}

bool LaunchWithShell(const std::string& file, const std::string& parameters, const std::string& directory,
                     int showCommand) {
  Start start;
  if (!Prepare(file, parameters, directory, &start)) return false;
  // Started through an intermediate child, so that the program is not this
  // process's child (a shell-started program outlives its starter untied).
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return sim::FailFromErrno();
  pid_t middle = fork();
  if (middle < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return sim::FailFromErrno();
  }
  if (middle == 0) {
    ::close(report[0]);
    pid_t pid = fork();
    if (pid == 0) {
      ::close(report[1]);
      Exec(start);
    }
    ssize_t written = ::write(report[1], &pid, sizeof(pid));
    (void)written;
    _exit(pid < 0 ? 1 : 0);
  }
  ::close(report[1]);
  pid_t pid = -1;
  ssize_t got = ::read(report[0], &pid, sizeof(pid));
  ::close(report[0]);
  int status = 0;
  waitpid(middle, &status, 0);
  if (got != static_cast<ssize_t>(sizeof(pid)) || pid < 0) return sim::Fail(kErrorNotEnoughMemory);
  RecordStart(start, parameters, directory, showCommand, pid);
  return true;
}

Process OpenProcessById(Dword processId, Dword access) {
  (void)access;
  if (FaultHit(FaultOp::OpenProcess)) return Process();
  if (processId == 0 || processId > 0x7FFFFFFF) {
    sim::Fail(kErrorInvalidParameter);
    return Process();
  }
  int fd = OpenPidfd(static_cast<pid_t>(processId));
  if (fd < 0) {
    sim::Fail(errno == ESRCH ? kErrorInvalidParameter : sim::ErrorFromErrno(errno));
    return Process();
  }
  return Process(fd);
}

bool QueryProcessImageName(const Process& process, std::string* path) {
  if (FaultHit(FaultOp::ProcessImageName)) return false;
  if (!process.IsValid()) return sim::Fail(kErrorInvalidHandle);
  pid_t pid = PidOf(process.native());
  if (pid <= 0) return sim::Fail(kErrorGenFailure);
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  std::string host(4096, '\0');
  ssize_t n = readlink(link.c_str(), host.data(), host.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= host.size()) return sim::Fail(kErrorGenFailure);
  host.resize(static_cast<std::size_t>(n));
  const std::string deleted = " (deleted)";
  if (host.size() > deleted.size() && host.compare(host.size() - deleted.size(), deleted.size(), deleted) == 0) {
    host.resize(host.size() - deleted.size());
  }
  std::string name = DeviceNameOfHost(host);
  // The caller's buffer holds 260 characters with the terminator.
  if (name.size() >= 260) return sim::Fail(kErrorInsufficientBuffer);
  *path = name;
  return true;
}

bool WaitForProcess(const Process& process, Dword milliseconds) {
  if (!process.IsValid()) return sim::Fail(kErrorInvalidHandle);
  int timeout = sim::EventWaitTimeout(milliseconds);
  pollfd entry = {static_cast<int>(process.native()), POLLIN, 0};
  timespec start = {};
  clock_gettime(CLOCK_MONOTONIC, &start);
  auto spentMs = [&start]() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000;
  };
  for (;;) {
    int ready = poll(&entry, 1, timeout);
    if (ready > 0) {
      sim::EventWaitDone(milliseconds, spentMs(), false);
      return true;
    }
    if (ready == 0) {
      sim::EventWaitDone(milliseconds, spentMs(), true);
      return false;
    }
    if (errno != EINTR) return sim::FailFromErrno();
  }
}

Dword CurrentProcessId() { return static_cast<Dword>(getpid()); }

Dword ProcessId(const Process& process) {
  if (!process.IsValid()) return 0;
  pid_t pid = PidOf(process.native());
  return pid > 0 ? static_cast<Dword>(pid) : 0;
}

bool TerminateProcess(const Process& process, Dword exitCode) {
  if (FaultHit(FaultOp::TerminateProcess)) return false;
  if (!process.IsValid()) return sim::Fail(kErrorInvalidHandle);
  pid_t pid = PidOf(process.native());
  std::string image = pid > 0 ? sim::ProcessImageName(pid) : std::string();
  // A process that has already ended cannot be terminated, as on Windows.
  if (pid <= 0 || sim::ProcessStartTime(pid) == 0 ||
      syscall(SYS_pidfd_send_signal, static_cast<int>(process.native()), SIGKILL, nullptr, 0) != 0) {
    return sim::Fail(kErrorAccessDenied);
  }
  sim::RecordEvent("process-terminate",
                   image + "; process " + std::to_string(pid) + "; exit code " + std::to_string(exitCode));
  return true;
}

}  // namespace platform
