// libFuzzer target for the simulator's path mapping: arbitrary text as a
// device path, from a working directory on the device. Every path, one that
// begins with a slash too, maps below the device root or not at all, never
// through a "." or ".." component, and its device form maps back to the same
// host path.
#include <string>

#include "platform/posix/sim_device.h"
#include "tests/fuzz/fuzz_device.h"

namespace {
std::string g_root;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzdevice::AbsoluteArguments(argc, argv);
  g_root = fuzzdevice::EnterDevice({"C:\\fuzz\\run"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzzdevice::Check;
  std::string path(reinterpret_cast<const char*>(data), size);
  if (path.find('\0') != std::string::npos) return 0;
  for (bool created : {false, true}) {
    std::string host;
    bool mapped = created ? platform::sim::MapNewName(path, &host) : platform::sim::MapPath(path, &host);
    if (!mapped) continue;
    Check(host.rfind(g_root + "/", 0) == 0);
    std::string below = host.substr(g_root.size()) + "/";
    Check(below.find("/../") == std::string::npos && below.find("/./") == std::string::npos);
    std::string again;
    Check(platform::sim::MapPath(platform::sim::DeviceFormOfHost(host), &again));
    Check(again == host);
  }
  return 0;
}
