// libFuzzer target for zampack's package readers: arbitrary bytes, given the
// right checksum, listed and verified. A package that verifies must list.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/fuzz/fuzz_device.h"
#include "tools/zampack/inspect.h"
#include "tools/zampack/package_image.h"

namespace {
std::string g_path;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzdevice::AbsoluteArguments(argc, argv);
  std::string root = fuzzdevice::EnterDevice({});
  g_path = root + "/p.zam";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  zampack::SealPackageBytes(bytes);
  std::ofstream(g_path, std::ios::binary | std::ios::trunc) << bytes;
  std::ostringstream out;
  std::ostringstream errors;
  bool listed = zampack::ListPackage(g_path, out, errors);
  bool verified = zampack::VerifyPackage(g_path, "", false, out, errors);
  fuzzdevice::Check(!verified || listed);
  return 0;
}
