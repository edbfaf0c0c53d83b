// libFuzzer target for the update descriptor: arbitrary bytes as
// UpdateInfo.xml, read as the window reads it (ReadIsTargetHardware) and as
// the run reads it (bLoadUpdateInfo). Neither may fail, and what they fill
// must agree with each other.
#include "app/descriptor.h"
#include "app/run_state.h"
#include "app/test_support.h"
#include "tests/fuzz/fuzz_device.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzdevice::AbsoluteArguments(argc, argv);
  fuzzdevice::EnterDevice({"C:\\fuzz\\run"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzzdevice::Check;
  Check(fuzzdevice::WriteDeviceFile("UpdateInfo.xml", data, size));
  app::ResetRunState();
  bool demo = app::ReadIsTargetHardware();
  Check(app::bLoadUpdateInfo());
  const app::RunState& run = app::Run();
  // A usable descriptor is either on the device or demo; an unusable one fills nothing.
  Check(!(demo && run.bOnDevice));
  if (!demo && !run.bOnDevice) {
    Check(run.UpdateFiles.empty());
    for (const std::string& location : run.LocationPaths) Check(location.empty());
  }
  // A second load appends the same packages again, as the run would.
  std::size_t packages = run.UpdateFiles.size();
  Check(app::bLoadUpdateInfo());
  Check(app::Run().UpdateFiles.size() == 2 * packages);
  return 0;
}
