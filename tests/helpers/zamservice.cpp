// zamservice [BEHAVIOUR]: a stand-in for the device service, for tests and
// the demo. Registered as ZAMService and started by the service manager, it
// connects, holds "ZAMServiceComm.dll" beside itself as a loaded library is
// held, and behaves as told by its first argument or, without one, by the
// first word of the file "<its name>.behaviour" beside it:
//
//   obey           runs until a stop control arrives, then stops (the default)
//   ignore-stop    runs and takes no notice of stop controls
//   stop-at-start  stops by itself right after it reported running
//   never-connect  never connects to the service manager (ends after 2 minutes)
//
// Run by hand it cannot connect and exits with code 1. Two more words run it
// as a plain program, for tests of the process list:
//
//   hold           prints "running PID" and runs until standard input closes
//   find           prints "PID FOUND": its own process id and the device
//                  library's GetServiceProcessId
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "devicelib/service_control.h"
#include "platform/file.h"
#include "platform/process_list.h"
#include "platform/service.h"

namespace {

constexpr const char kUsage[] =
    "usage: zamservice [obey|ignore-stop|stop-at-start|never-connect|hold|find]\n"
    "\n"
    "The device service stand-in of the device simulator: registered as ZAMService\n"
    "and started by the service manager, it connects, holds ZAMServiceComm.dll beside\n"
    "itself and behaves as its argument says, or without one as the first word of\n"
    "NAME.behaviour beside it (default obey). Run by hand it exits with code 1.\n"
    "\n"
    "  obey           runs until a stop control arrives, then stops\n"
    "  ignore-stop    runs and takes no notice of stop controls\n"
    "  stop-at-start  stops by itself right after it reported running\n"
    "  never-connect  never connects to the service manager (ends after 2 minutes)\n"
    "  hold           a plain program: prints \"running PID\", runs until standard\n"
    "                 input closes\n"
    "  find           a plain program: prints its process id and the device\n"
    "                 service's process id\n";

constexpr auto kNeverConnectLimit = std::chrono::minutes(2);

std::string g_behaviour = "obey";
std::mutex g_mutex;
std::condition_variable g_stopRequested;
bool g_stop = false;

std::string FolderOf(const std::string& path) {
  std::size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string StemOf(const std::string& path) {
  std::string leaf = path.substr(path.find_last_of('\\') + 1);
  std::size_t dot = leaf.rfind('.');
  return dot == std::string::npos ? leaf : leaf.substr(0, dot);
}

// The first word of the behaviour file, or "" when there is none.
std::string BehaviourFromFile(const std::string& path) {
  platform::File file = platform::OpenFile(path, platform::kGenericRead, platform::kShareRead | platform::kShareWrite,
                                           platform::Disposition::OpenExisting, platform::kAttributeNormal);
  if (!file.IsValid()) return std::string();
  char buffer[64] = {};
  platform::Dword read = 0;
  if (!platform::ReadFromFile(file, buffer, sizeof(buffer) - 1, &read)) return std::string();
  std::string text(buffer, read);
  std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return std::string();
  return text.substr(start, text.find_first_of(" \t\r\n", start) - start);
}

void ServiceMain() {
  if (g_behaviour == "stop-at-start") {
    platform::ReportServiceState(platform::kServiceRunning, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    platform::ReportServiceState(platform::kServiceStopped, 0, 1);
    return;
  }
  platform::ReportServiceState(platform::kServiceRunning, platform::kServiceAcceptStop);
  std::unique_lock<std::mutex> lock(g_mutex);
  g_stopRequested.wait(lock, [] { return g_stop; });
  lock.unlock();
  platform::ReportServiceState(platform::kServiceStopped, 0);
}

void Control(platform::Dword control) {
  if (control != platform::kServiceControlStop || g_behaviour == "ignore-stop") return;
  platform::ReportServiceState(platform::kServiceStopPending, 0);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_stop = true;
  g_stopRequested.notify_all();
}

}  // namespace

int main(int argc, char** argv) {
  std::string program = platform::OwnProgramPath();
  std::string folder = FolderOf(program);
  if (argc > 1) {
    g_behaviour = argv[1];
  } else {
    std::string fromFile = BehaviourFromFile(folder + StemOf(program) + ".behaviour");
    if (!fromFile.empty()) g_behaviour = fromFile;
  }
  if (g_behaviour == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (g_behaviour == "hold") {
    std::printf("running %lu\n", static_cast<unsigned long>(platform::CurrentProcessId()));
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
  }
  if (g_behaviour == "find") {
    std::printf("%lu %lu\n", static_cast<unsigned long>(platform::CurrentProcessId()),
                static_cast<unsigned long>(devicelib::GetServiceProcessId()));
    return 0;
  }
  if (g_behaviour != "obey" && g_behaviour != "ignore-stop" && g_behaviour != "stop-at-start" &&
      g_behaviour != "never-connect") {
    std::fprintf(stderr, "zamservice: unknown behaviour \"%s\"\n", g_behaviour.c_str());
    return 2;
  }
  if (g_behaviour == "never-connect") {
    std::this_thread::sleep_for(kNeverConnectLimit);
    return 0;
  }
  platform::File library = platform::OpenFile(folder + "ZAMServiceComm.dll", platform::kGenericRead,
                                              platform::kShareRead, platform::Disposition::OpenExisting,
                                              platform::kAttributeNormal);
  if (!platform::RunServiceProgram("ZAMService", ServiceMain, Control)) {
    std::fprintf(stderr, "zamservice: cannot connect to the service manager (error %lu)\n",
                 static_cast<unsigned long>(platform::LastError()));
    return 1;
  }
  return 0;
}
