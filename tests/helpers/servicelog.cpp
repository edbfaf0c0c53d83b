// servicelog NAME COUNT: appends COUNT lines "NAME n" (n from 1) to the device
// service's log through the device library, as a program using the library
// would. It prints "ready", waits until the file "go" exists in its working
// directory, so that several writers start together, writes, and prints "done".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "devicelib/service_log.h"
#include "platform/file.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: servicelog NAME COUNT\n");
    return 2;
  }
  int count = std::atoi(argv[2]);
  std::printf("ready\n");
  std::fflush(stdout);
  for (int i = 0; i < 10000 && platform::FileAttributes("go") == platform::kInvalidAttributes; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (int n = 1; n <= count; ++n) devicelib::ServiceLog("%s %d\r\n", argv[1], n);
  std::printf("done\n");
  return 0;
}
