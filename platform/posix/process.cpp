// Programs on the simulated device are host executables (scripts or
// binaries) stored under their device names. A name without a folder is
// looked up in C:\Windows\System32, then in the working directory, also with
// ".exe" appended. The child gets the parameter text split by the Windows
// command-line rules, the whole text in ORVANTA_SIM_COMMAND_LINE, and the
// mapped folder it was given as its working directory.
#include "platform/process.h"

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <vector>

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

// CommandLineToArgvW's rules: blanks and tabs separate arguments outside
// quotes; 2n backslashes before a quote give n backslashes and the quote
// opens or closes; 2n+1 give n backslashes and a literal quote; "" inside
// quotes gives a literal quote.
std::vector<std::string> SplitCommandLine(const std::string& text) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size()) break;
    std::string argument;
    bool quoted = false;
    while (i < text.size() && (quoted || (text[i] != ' ' && text[i] != '\t'))) {
      if (text[i] == '\\') {
        std::size_t count = 0;
        while (i < text.size() && text[i] == '\\') {
          ++count;
          ++i;
        }
        if (i < text.size() && text[i] == '"') {
          argument.append(count / 2, '\\');
          if (count % 2 == 1) {
            argument += '"';
            ++i;
          }
        } else {
          argument.append(count, '\\');
        }
      } else if (text[i] == '"') {
        if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
          argument += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument += text[i++];
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

}  // namespace


// Closing a handle does not end the process; a child that has ended is
// reaped so that it leaves no zombie.
void Process::Close() {
  if (native_ == 0) return;
  int status = 0;
  waitpid(static_cast<pid_t>(native_), &status, WNOHANG);
  native_ = 0;
}

Process StartWithShell(const std::string& file, const std::string& parameters, const std::string& directory) {
  std::string program;
  if (!FindProgram(file, &program)) return Process();
  std::string folder;
  if (!directory.empty()) {
    struct stat st;
    if (!sim::MapPath(directory, &folder)) return Process();
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      sim::Fail(kErrorDirectory);
      return Process();
    }
  }
  std::vector<std::string> arguments = SplitCommandLine(parameters);
  std::vector<char*> argv;
  std::string name = program.substr(program.find_last_of('/') + 1);
  argv.push_back(name.data());
  for (std::string& argument : arguments) {
    argument = sim::HostName(argument);
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  std::string commandLine = sim::HostName(parameters);

  pid_t pid = fork();
  if (pid < 0) {
    sim::FailFromErrno();
    return Process();
  }
  if (pid == 0) {
    setenv("ORVANTA_SIM_COMMAND_LINE", commandLine.c_str(), 1);
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
    execv(program.c_str(), argv.data());
    if (errno == ENOEXEC) {
      // A script without an interpreter line runs in the shell, as execvp would.
      std::vector<char*> shell;
      shell.push_back(const_cast<char*>("sh"));
      shell.push_back(program.data());
      for (std::size_t i = 1; argv[i] != nullptr; ++i) shell.push_back(argv[i]);
      shell.push_back(nullptr);
      execv("/bin/sh", shell.data());
    }
    _exit(127);
  }
  return Process(pid);
}

bool WaitForProcess(const Process& process, Dword milliseconds) {
  if (!process.IsValid()) return sim::Fail(kErrorInvalidHandle);
  pid_t pid = static_cast<pid_t>(process.native());
  for (Dword waited = 0;; waited += 1) {
    int status = 0;
    pid_t result = waitpid(pid, &status, WNOHANG);
    // Already reaped (ECHILD) counts as ended, as a signalled handle stays signalled.
    if (result == pid || (result < 0 && errno == ECHILD)) return true;
    if (waited >= milliseconds) return false;
    timespec step = {0, 1000000};
    nanosleep(&step, nullptr);
  }
}

}  // namespace platform
