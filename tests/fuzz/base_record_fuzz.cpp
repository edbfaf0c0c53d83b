// libFuzzer target for a package's base record (PACKAGE.base.json), which
// comes along with a package: arbitrary text read as one, and a record that
// reads written again and read back the same.
#include <string>

#include "tests/fuzz/fuzz_device.h"
#include "tools/common/base_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzzdevice::Check;
  std::string text(reinterpret_cast<const char*>(data), size);
  tools::BaseRecord base;
  std::string error;
  if (!tools::ParseBase(text, &base, &error)) {
    Check(!error.empty());
    return 0;
  }
  tools::BaseRecord again;
  Check(tools::ParseBase(tools::BaseJson(base), &again, &error));
  Check(again.tree == base.tree && again.type == base.type && again.name == base.name);
  Check(again.files.size() == base.files.size());
  for (std::size_t i = 0; i < base.files.size(); ++i) {
    Check(!base.files[i].path.empty() && (base.files[i].folder || base.files[i].md5.size() == 32));
    Check(again.files[i].path == base.files[i].path && again.files[i].folder == base.files[i].folder &&
          again.files[i].md5 == base.files[i].md5);
  }
  return 0;
}
