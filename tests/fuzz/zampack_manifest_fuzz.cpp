// libFuzzer target for zampack's manifest reader: arbitrary text as a
// manifest beside one source file; whatever it accepts must encode.
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/fuzz/fuzz_device.h"
#include "tools/zampack/manifest.h"
#include "tools/zampack/package_image.h"

namespace {
std::string g_folder;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzdevice::AbsoluteArguments(argc, argv);
  g_folder = fuzzdevice::EnterDevice({});
  std::ofstream(g_folder + "/payload.bin", std::ios::binary) << "payload of a manifest's source= line";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::ofstream(g_folder + "/m.txt", std::ios::binary | std::ios::trunc)
      << std::string(reinterpret_cast<const char*>(data), size);
  zampack::PackageImage image;
  std::string error;
  if (!zampack::ParseManifest(g_folder + "/m.txt", &image, &error)) {
    fuzzdevice::Check(!error.empty());
    return 0;
  }
  std::string bytes;
  zampack::EncodeImage(image, &bytes, &error);
  return 0;
}
