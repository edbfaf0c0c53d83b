// orvanta-device-app: the stand-in for the device's own programs, installed
// by `orvanta-sim init` as the device application (Orvanta.exe) and the three
// speech servers. It is a real program, not a script, so that while it runs
// its image is held as the device holds a running program's file.
//
// Every start appends a line to "app-starts.log" beside the program:
// "NAME started in FOLDER: COMMAND LINE". Without options it then ends;
// --stay keeps it running until its standard input closes, its first line of
// output "running PID"; --stay-ms N keeps it running, silently, for N
// milliseconds.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/file.h"
#include "platform/process.h"

namespace {

const char kUsage[] =
    "usage: orvanta-device-app [--stay | --stay-ms N] [ARGUMENT...]\n"
    "Records its start in app-starts.log beside itself, then ends (or stays\n"
    "until its standard input closes, printing \"running PID\" first, or stays\n"
    "N milliseconds).\n";

void RecordStart(const std::string& commandLine) {
  std::string image;
  platform::Process self = platform::OpenProcessById(platform::CurrentProcessId(), platform::kProcessQueryLimitedInformation);
  if (!platform::QueryProcessImageName(self, &image)) return;
  std::size_t cut = image.find_last_of("\\/");
  std::string folder = image.substr(0, cut + 1);
  std::string here;
  platform::FullPath(".", &here);
  std::string line = image.substr(cut + 1) + " started in " + here + ": " + commandLine + "\r\n";
  // Several programs may start at once: each appends its line whole.
  for (int attempt = 0; attempt < 50; ++attempt) {
    platform::File log = platform::OpenFile(folder + "app-starts.log", platform::kGenericWrite, platform::kShareNone,
                                            platform::Disposition::OpenAlways, platform::kAttributeNormal);
    if (log.IsValid()) {
      platform::SeekFile(log, 0, platform::SeekFrom::End, nullptr);
      platform::WriteToFile(log, line.data(), static_cast<platform::Dword>(line.size()), nullptr);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool stay = false;
  long stayMs = -1;
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--stay") == 0) {
      stay = true;
    } else if (std::strcmp(argv[i], "--stay-ms") == 0 && i + 1 < argc) {
      stayMs = std::strtol(argv[++i], nullptr, 10);
    } else {
      commandLine += (commandLine.empty() ? "" : " ") + std::string(argv[i]);
    }
  }
  RecordStart(commandLine);
  if (stayMs >= 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(stayMs));
    return 0;
  }
  if (!stay) return 0;
  std::printf("running %lu\n", static_cast<unsigned long>(platform::CurrentProcessId()));
  std::fflush(stdout);
  char buffer[256];
  while (std::fgets(buffer, sizeof(buffer), stdin) != nullptr) {
  }
  return 0;
}
