// The simulated service control manager. It has no process of its own: each
// program that uses it reads and writes the service's records under
// sim/services/<NAME>/, and the service program, once started, is the one
// that keeps its state there.
//
//   registration  what RegisterService recorded, KEY<TAB>VALUE lines
//   status        the state the program reported, with its process id and
//                 start time, whether it has connected and the last control
//                 it answered; written whole by rename
//   control       the last control sent: its sequence number and code
//   deleted       present once the registration is marked for deletion
//   lock          serialises the controlling side (starts, controls, deletion)
//
// A started program gets the service's name in ORVANTA_SIM_SERVICE, which
// stands for the manager's pipe on Windows; without it the program cannot
// connect.
#include "platform/service.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/fault.h"
#include "platform/posix/sim_device.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// How long the manager waits for a started program to connect and for a
// program to answer a control (ServicesPipeTimeout). Scaled by the
// simulator's time scale, but never below what a program needs to start on
// a busy host.
constexpr Dword kManagerTimeoutMs = 30000;
constexpr Dword kManagerTimeoutFloorMs = 3000;
constexpr long kPollStepMs = 5;
constexpr std::size_t kMaxServiceName = 256;

using Fields = std::map<std::string, std::string>;

struct Status {
  Dword state = kServiceStopped;
  Dword accepts = 0;
  Dword exitCode = 0;
  int pid = 0;
  unsigned long long started = 0;
  bool connected = false;
  unsigned long long acked = 0;
};

struct OpenHandle {
  bool manager = false;
  std::string folder;  // host folder of the service's records
  std::string name;    // the name as registered
  Dword access = 0;
};

std::map<std::intptr_t, OpenHandle> g_handles;
std::intptr_t g_nextHandle = 0x5C0000;

std::string ServicesFolder() {
  std::string folder = sim::SimFile("services");
  ::mkdir(folder.c_str(), 0777);
  return folder;
}

Fields ReadFields(const std::string& path) {
  Fields fields;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::size_t tab = line.find('\t');
    if (tab != std::string::npos) fields[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return fields;
}

// Written to a new file and renamed over the old one, so that a reader never
// sees half a record.
bool WriteFields(const std::string& path, const Fields& fields) {
  std::string text;
  for (const auto& [key, value] : fields) text += key + "\t" + value + "\n";
  std::string temporary = path + ".new." + std::to_string(getpid()) + "." +
                          std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id()));
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return sim::Fail(kErrorWriteFault);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return sim::FailFromErrno();
  }
  return true;
}

unsigned long long Number(const Fields& fields, const std::string& key) {
  auto it = fields.find(key);
  return it == fields.end() ? 0 : std::strtoull(it->second.c_str(), nullptr, 10);
}

Status ReadStatus(const std::string& folder) {
  Fields fields = ReadFields(folder + "/status");
  Status status;
  if (fields.empty()) return status;
  status.state = static_cast<Dword>(Number(fields, "state"));
  status.accepts = static_cast<Dword>(Number(fields, "accepts"));
  status.exitCode = static_cast<Dword>(Number(fields, "exit"));
  status.pid = static_cast<int>(Number(fields, "pid"));
  status.started = Number(fields, "started");
  status.connected = Number(fields, "connected") != 0;
  status.acked = Number(fields, "acked");
  return status;
}

bool WriteStatus(const std::string& folder, const Status& status) {
  return WriteFields(folder + "/status", {{"state", std::to_string(status.state)},
                                          {"accepts", std::to_string(status.accepts)},
                                          {"exit", std::to_string(status.exitCode)},
                                          {"pid", std::to_string(status.pid)},
                                          {"started", std::to_string(status.started)},
                                          {"connected", status.connected ? "1" : "0"},
                                          {"acked", std::to_string(status.acked)}});
}

bool MarkedForDeletion(const std::string& folder) {
  struct stat st;
  return ::stat((folder + "/deleted").c_str(), &st) == 0;
}

std::string RegisteredName(const std::string& folder) {
  Fields fields = ReadFields(folder + "/registration");
  auto it = fields.find("name");
  return it == fields.end() ? fs::path(folder).filename().string() : it->second;
}

// The registration goes with its last record; the name is free again.
void RemoveRegistration(const std::string& folder, const std::string& name) {
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  sim::RecordEvent("service-delete", name);
}

bool ProgramRuns(const Status& status) {
  return status.pid != 0 && sim::ProcessStartTime(status.pid) == status.started;
}

// The manager notices a service program that has ended without reporting
// that it stopped: the service is stopped (and goes, if marked for deletion).
Status CurrentStatus(const std::string& folder) {
  Status status = ReadStatus(folder);
  if (status.state != kServiceStopped && status.pid != 0 && !ProgramRuns(status)) {
    std::string name = RegisteredName(folder);
    status.state = kServiceStopped;
    status.accepts = 0;
    status.pid = 0;
    status.started = 0;
    status.connected = false;
    WriteStatus(folder, status);
    sim::RecordEvent("service-stop", name + "; its program ended");
    if (MarkedForDeletion(folder)) RemoveRegistration(folder, name);
  }
  return status;
}

// The records' folder of service `name`, matched without regard to case.
std::string FindService(const std::string& name) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(ServicesFolder(), error)) {
    std::string candidate = sim::DeviceName(entry.path().filename().string());
    if (entry.is_directory(error) && sim::EqualsIgnoreCase(candidate, name)) return entry.path().string();
  }
  return std::string();
}

// Holds the controlling side's lock of one service for a scope.
class ControlLock {
 public:
  explicit ControlLock(const std::string& folder)
      : fd_(::open((folder + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~ControlLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  ControlLock(const ControlLock&) = delete;
  ControlLock& operator=(const ControlLock&) = delete;

 private:
  int fd_;
};

const OpenHandle* Lookup(const ServiceHandle& handle, bool manager) {
  auto it = g_handles.find(handle.native());
  if (it == g_handles.end() || it->second.manager != manager) {
    sim::Fail(kErrorInvalidHandle);
    return nullptr;
  }
  return &it->second;
}

ServiceHandle NewHandle(OpenHandle open) {
  std::intptr_t value = g_nextHandle;
  g_nextHandle += 4;
  g_handles[value] = std::move(open);
  return ServiceHandle(value);
}

void SleepMs(long milliseconds) {
  timespec step = {milliseconds / 1000, (milliseconds % 1000) * 1000000};
  while (nanosleep(&step, &step) != 0 && errno == EINTR) {
  }
}

// Milliseconds of the monotonic clock.
long long NowMs() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

long long ManagerDeadline() {
  double scaled = kManagerTimeoutMs * sim::TimeScale();
  return NowMs() + static_cast<long long>(std::max<double>(scaled, kManagerTimeoutFloorMs));
}

// The program of a service's command line and the text after it. A quoted
// program is taken as quoted; an unquoted one that holds blanks is looked for
// at each blank in turn, as the manager does.
bool FindServiceProgram(const std::string& commandLine, std::string* hostProgram, std::string* rest) {
  auto isProgram = [](const std::string& device, std::string* host) {
    struct stat st;
    return sim::MapPath(device, host) && ::stat(host->c_str(), &st) == 0 && S_ISREG(st.st_mode);
  };
  if (!commandLine.empty() && commandLine[0] == '"') {
    std::size_t close = commandLine.find('"', 1);
    std::string program = commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    *rest = close == std::string::npos ? std::string() : commandLine.substr(close + 1);
    if (isProgram(program, hostProgram)) return true;
    return sim::Fail(kErrorFileNotFound);
  }
  for (std::size_t cut = commandLine.find(' ');; cut = commandLine.find(' ', cut + 1)) {
    std::string program = commandLine.substr(0, cut);
    if (isProgram(program, hostProgram)) {
      *rest = cut == std::string::npos ? std::string() : commandLine.substr(cut);
      return true;
    }
    if (cut == std::string::npos) return sim::Fail(kErrorFileNotFound);
  }
}

// Starts the service program detached from the caller (its parent is the
// host's, as services.exe is on the device), with no standard handles of
// the caller. Returns its process id, or 0.
int SpawnServiceProgram(const std::string& name, const std::string& commandLine, const std::string& hostProgram,
                        const std::string& arguments) {
  std::vector<std::string> argumentTexts = sim::SplitCommandLine(arguments);
  std::vector<char*> argv;
  std::string programName = hostProgram.substr(hostProgram.find_last_of('/') + 1);
  argv.push_back(programName.data());
  for (std::string& argument : argumentTexts) {
    argument = sim::HostName(argument);
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  std::string hostCommandLine = sim::HostName(commandLine);
  std::string hostName = sim::HostName(name);
  std::string folder;
  if (!sim::MapPath("C:\\Windows\\System32", &folder)) folder = sim::DeviceRoot();

  int channel[2];
  if (::pipe2(channel, O_CLOEXEC) != 0) return 0;
  pid_t middle = ::fork();
  if (middle < 0) {
    sim::FailFromErrno();
    ::close(channel[0]);
    ::close(channel[1]);
    return 0;
  }
  if (middle == 0) {
    ::setsid();
    pid_t service = ::fork();
    if (service == 0) {
      int null = ::open("/dev/null", O_RDWR);
      for (int fd = 0; fd < 3; ++fd) ::dup2(null, fd);
      if (null > 2) ::close(null);
      ::setenv("ORVANTA_SIM_SERVICE", hostName.c_str(), 1);
      ::setenv("ORVANTA_SIM_COMMAND_LINE", hostCommandLine.c_str(), 1);
      if (::chdir(folder.c_str()) != 0 && ::chdir("/") != 0) _exit(127);
      ::execv(hostProgram.c_str(), argv.data());
      _exit(127);
    }
    int pid = service > 0 ? service : 0;
    ssize_t written = ::write(channel[1], &pid, sizeof(pid));
    _exit(written == sizeof(pid) ? 0 : 1);
  }
  ::close(channel[1]);
  int pid = 0;
  if (::read(channel[0], &pid, sizeof(pid)) != sizeof(pid)) pid = 0;
  ::close(channel[0]);
  int ignored = 0;
  while (::waitpid(middle, &ignored, 0) < 0 && errno == EINTR) {
  }
  if (pid == 0) sim::Fail(kErrorNotEnoughMemory);
  return pid;
}

bool IsValidServiceName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxServiceName && name.find_first_of("\\/") == std::string::npos &&
         name != "." && name != "..";
}

std::string StartTypeText(Dword startType) {
  switch (startType) {
    case 0:
      return "start: boot";
    case 1:
      return "start: system";
    case kServiceAutoStart:
      return "start: automatic";
    case kServiceDemandStart:
      return "start: on demand";
    case 4:
      return "start: disabled";
    default:
      return "start: " + std::to_string(startType);
  }
}

void FillStatus(const Status& status, ServiceStatus* out) {
  *out = ServiceStatus();
  out->serviceType = kServiceWin32OwnProcess;
  out->currentState = status.state;
  out->controlsAccepted = status.accepts;
  out->win32ExitCode = status.exitCode;
}

// The program side: one service per program.
struct ProgramSide {
  std::mutex mutex;
  bool connected = false;
  std::string name;
  std::string folder;
  Status status;
};
ProgramSide g_program;

}  // namespace

void CloseServiceManagerHandle(std::intptr_t native) { g_handles.erase(native); }

ServiceHandle OpenServiceManager(Dword access) {
  if (FaultHit(FaultOp::OpenServiceManager)) return ServiceHandle();
  OpenHandle open;
  open.manager = true;
  open.access = access;
  return NewHandle(open);
}

ServiceHandle OpenRegisteredService(const ServiceHandle& manager, const std::string& name, Dword access) {
  if (FaultHit(FaultOp::OpenService)) return ServiceHandle();
  if (Lookup(manager, true) == nullptr) return ServiceHandle();
  std::string folder = IsValidServiceName(name) ? FindService(name) : std::string();
  if (folder.empty()) {
    sim::Fail(kErrorServiceDoesNotExist);
    return ServiceHandle();
  }
  OpenHandle open;
  open.folder = folder;
  open.name = RegisteredName(folder);
  open.access = access;
  return NewHandle(open);
}

ServiceHandle RegisterService(const ServiceHandle& manager, const ServiceRegistration& registration, Dword access) {
  if (FaultHit(FaultOp::CreateService)) return ServiceHandle();
  const OpenHandle* open = Lookup(manager, true);
  if (open == nullptr) return ServiceHandle();
  if (!(open->access & kScManagerCreateService)) {
    sim::Fail(kErrorAccessDenied);
    return ServiceHandle();
  }
  if (!IsValidServiceName(registration.name) || registration.binaryPath.empty()) {
    sim::Fail(IsValidServiceName(registration.name) ? kErrorInvalidParameter : kErrorInvalidName);
    return ServiceHandle();
  }
  std::string existing = FindService(registration.name);
  if (!existing.empty()) {
    sim::Fail(MarkedForDeletion(existing) ? kErrorServiceMarkedForDelete : kErrorServiceExists);
    return ServiceHandle();
  }
  std::string folder = ServicesFolder() + "/" + sim::HostName(registration.name);
  if (::mkdir(folder.c_str(), 0777) != 0) {
    sim::Fail(errno == EEXIST ? kErrorServiceExists : sim::ErrorFromErrno(errno));
    return ServiceHandle();
  }
  std::string displayName = registration.displayName.empty() ? registration.name : registration.displayName;
  bool written = WriteFields(folder + "/registration", {{"name", registration.name},
                                                        {"display", displayName},
                                                        {"type", std::to_string(registration.serviceType)},
                                                        {"start", std::to_string(registration.startType)},
                                                        {"error", std::to_string(registration.errorControl)},
                                                        {"program", registration.binaryPath}}) &&
                 WriteStatus(folder, Status());
  if (!written) {
    Dword error = LastError();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    sim::Fail(error);
    return ServiceHandle();
  }
  sim::RecordEvent("service-register", registration.name + "; program: " + registration.binaryPath + "; " +
                                           StartTypeText(registration.startType));
  OpenHandle service;
  service.folder = folder;
  service.name = registration.name;
  service.access = access;
  return NewHandle(service);
}

bool StartRegisteredService(const ServiceHandle& service) {
  if (FaultHit(FaultOp::StartService)) return false;
  const OpenHandle* open = Lookup(service, false);
  if (open == nullptr) return false;
  if (!(open->access & kServiceStart)) return sim::Fail(kErrorAccessDenied);
  std::string folder = open->folder;
  std::string name = open->name;
  ControlLock lock(folder);
  if (MarkedForDeletion(folder)) return sim::Fail(kErrorServiceMarkedForDelete);
  Status status = CurrentStatus(folder);
  if (status.state != kServiceStopped) return sim::Fail(kErrorServiceAlreadyRunning);
  Fields registration = ReadFields(folder + "/registration");
  std::string commandLine = registration["program"];
  std::string hostProgram, arguments;
  if (!FindServiceProgram(commandLine, &hostProgram, &arguments)) return false;

  Status pending;
  pending.state = kServiceStartPending;
  if (!WriteStatus(folder, pending)) return false;
  int pid = SpawnServiceProgram(name, commandLine, hostProgram, arguments);
  if (pid == 0) {
    Dword error = LastError();
    WriteStatus(folder, Status());
    return sim::Fail(error);
  }
  // The start returns once the program has connected and left "start
  // pending", as Wine's manager does: the state a caller reads next is
  // settled, whatever the simulator's time scale makes of the caller's polls.
  auto settled = [&folder]() {
    Status now = ReadStatus(folder);
    return now.connected && now.state != kServiceStartPending;
  };
  unsigned long long started = sim::ProcessStartTime(pid);
  for (long long deadline = ManagerDeadline(); NowMs() < deadline; SleepMs(kPollStepMs)) {
    if (settled()) {
      sim::RecordEvent("service-start", name + "; process " + std::to_string(pid));
      return true;
    }
    if (sim::ProcessStartTime(pid) != started || started == 0) break;
  }
  // Connected, but still starting when the time ran out: the start itself succeeded.
  if (ReadStatus(folder).connected) {
    sim::RecordEvent("service-start", name + "; process " + std::to_string(pid));
    return true;
  }
  // A program that never connects is not left running.
  if (started != 0 && sim::ProcessStartTime(pid) == started) ::kill(pid, SIGKILL);
  WriteStatus(folder, Status());
  sim::RecordEvent("service-start-failed", name + "; process " + std::to_string(pid) +
                                               " did not connect to the service manager (error 1053)");
  return sim::Fail(kErrorServiceRequestTimeout);
}

bool SendServiceControl(const ServiceHandle& service, Dword control, ServiceStatus* out) {
  if (FaultHit(FaultOp::ControlService)) return false;
  const OpenHandle* open = Lookup(service, false);
  if (open == nullptr) return false;
  if (control == kServiceControlStop && !(open->access & kServiceStop)) return sim::Fail(kErrorAccessDenied);
  if (control != kServiceControlStop && control != kServiceControlInterrogate) {
    return sim::Fail(kErrorInvalidServiceControl);
  }
  std::string folder = open->folder;
  std::string name = open->name;
  ControlLock lock(folder);
  Status status = CurrentStatus(folder);
  FillStatus(status, out);
  if (status.state == kServiceStopped) return sim::Fail(kErrorServiceNotActive);
  if (control == kServiceControlStop) {
    if (status.state == kServiceStartPending || status.state == kServiceStopPending || !status.connected) {
      return sim::Fail(kErrorServiceCannotAcceptCtrl);
    }
    if (!(status.accepts & kServiceAcceptStop)) return sim::Fail(kErrorInvalidServiceControl);
  }
  Fields last = ReadFields(folder + "/control");
  unsigned long long sequence = std::max(Number(last, "sequence"), status.acked) + 1;
  if (!WriteFields(folder + "/control", {{"sequence", std::to_string(sequence)}, {"code", std::to_string(control)}})) {
    return false;
  }
  if (control == kServiceControlStop) {
    sim::RecordEvent("service-stop-request", name + "; process " + std::to_string(status.pid));
  }
  long long deadline = ManagerDeadline();
  for (;; SleepMs(kPollStepMs)) {
    status = CurrentStatus(folder);
    if (status.acked >= sequence || status.state == kServiceStopped) break;
    if (NowMs() >= deadline) {
      FillStatus(status, out);
      return sim::Fail(kErrorServiceRequestTimeout);
    }
  }
  // A program that took the stop stops within the time-out; the answer waits
  // for it, so that it does not depend on the simulator's time scale.
  while (control == kServiceControlStop && status.state == kServiceStopPending && NowMs() < deadline) {
    SleepMs(kPollStepMs);
    status = CurrentStatus(folder);
  }
  FillStatus(status, out);
  return true;
}

bool QueryServiceState(const ServiceHandle& service, ServiceStatus* out) {
  if (FaultHit(FaultOp::QueryServiceStatus)) return false;
  const OpenHandle* open = Lookup(service, false);
  if (open == nullptr) return false;
  if (!(open->access & kServiceQueryStatus)) return sim::Fail(kErrorAccessDenied);
  FillStatus(CurrentStatus(open->folder), out);
  return true;
}

bool DeleteRegisteredService(const ServiceHandle& service) {
  if (FaultHit(FaultOp::DeleteService)) return false;
  const OpenHandle* open = Lookup(service, false);
  if (open == nullptr) return false;
  if (!(open->access & kServiceDelete)) return sim::Fail(kErrorAccessDenied);
  std::string folder = open->folder;
  ControlLock lock(folder);
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) return sim::Fail(kErrorServiceDoesNotExist);
  if (MarkedForDeletion(folder)) return sim::Fail(kErrorServiceMarkedForDelete);
  if (!WriteFields(folder + "/deleted", {{"deleted", "1"}})) return false;
  if (CurrentStatus(folder).state == kServiceStopped) {
    RemoveRegistration(folder, open->name);
  } else {
    sim::RecordEvent("service-delete-pending", open->name + "; goes when the service stops");
  }
  return true;
}

bool ListServices(std::vector<ServiceEntry>* services) {
  services->clear();
  std::error_code error;
  std::vector<std::string> folders;
  for (const fs::directory_entry& entry : fs::directory_iterator(ServicesFolder(), error)) {
    if (entry.is_directory(error)) folders.push_back(entry.path().string());
  }
  if (error) return sim::Fail(kErrorAccessDenied);
  for (const std::string& folder : folders) {
    Status status = CurrentStatus(folder);
    Fields registration = ReadFields(folder + "/registration");
    if (registration.empty()) continue;  // deleted meanwhile
    ServiceEntry entry;
    entry.name = registration["name"];
    entry.displayName = registration["display"];
    entry.binaryPath = registration["program"];
    entry.startType = static_cast<Dword>(Number(registration, "start"));
    entry.currentState = status.state;
    entry.processId = status.state == kServiceStopped ? 0 : static_cast<Dword>(status.pid);
    services->push_back(entry);
  }
  std::sort(services->begin(), services->end(), [](const ServiceEntry& a, const ServiceEntry& b) {
    std::string x = a.name, y = b.name;
    for (char& c : x) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : y) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return x < y;
  });
  return true;
}

bool RunServiceProgram(const std::string& name, ServiceMainFunction main, ServiceControlFunction handler) {
  const char* given = std::getenv("ORVANTA_SIM_SERVICE");
  std::string folder = given != nullptr ? FindService(sim::DeviceName(given)) : std::string();
  if (given == nullptr || !sim::EqualsIgnoreCase(sim::DeviceName(given), name) || folder.empty()) {
    return sim::Fail(kErrorFailedServiceControllerConnect);
  }
  Fields control = ReadFields(folder + "/control");
  {
    std::lock_guard<std::mutex> guard(g_program.mutex);
    g_program.connected = true;
    g_program.name = name;
    g_program.folder = folder;
    g_program.status = Status();
    g_program.status.state = kServiceStartPending;
    g_program.status.pid = getpid();
    g_program.status.started = sim::ProcessStartTime(getpid());
    g_program.status.connected = true;
    // Controls sent before this program ran are not its own.
    g_program.status.acked = Number(control, "sequence");
    if (!WriteStatus(folder, g_program.status)) return false;
  }
  std::thread serviceMain(main);
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(g_program.mutex);
      if (g_program.status.state == kServiceStopped) break;
    }
    control = ReadFields(folder + "/control");
    unsigned long long sequence = Number(control, "sequence");
    bool due = false;
    {
      std::lock_guard<std::mutex> guard(g_program.mutex);
      due = sequence > g_program.status.acked;
    }
    if (due) {
      handler(static_cast<Dword>(Number(control, "code")));
      std::lock_guard<std::mutex> guard(g_program.mutex);
      g_program.status.acked = sequence;
      WriteStatus(folder, g_program.status);
      continue;
    }
    SleepMs(kPollStepMs);
  }
  serviceMain.join();
  return true;
}

bool ReportServiceState(Dword state, Dword controlsAccepted, Dword exitCode) {
  std::unique_lock<std::mutex> guard(g_program.mutex);
  if (!g_program.connected) return sim::Fail(kErrorInvalidHandle);
  if (g_program.status.state == kServiceStopped) return sim::Fail(kErrorInvalidParameter);
  g_program.status.state = state;
  g_program.status.accepts = controlsAccepted;
  g_program.status.exitCode = exitCode;
  if (!WriteStatus(g_program.folder, g_program.status)) return false;
  if (state == kServiceStopped) {
    sim::RecordEvent("service-stop", g_program.name + "; process " + std::to_string(g_program.status.pid) +
                                         "; exit code " + std::to_string(exitCode));
    if (MarkedForDeletion(g_program.folder)) RemoveRegistration(g_program.folder, g_program.name);
  }
  return true;
}

}  // namespace platform
