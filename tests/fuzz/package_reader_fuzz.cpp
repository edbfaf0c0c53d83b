// libFuzzer target for the package reader: arbitrary bytes, given the right
// checksum so that they get past verification, go through opening, mapping
// and stage 8; every record that survives must stay inside the package,
// strictly below its destination root, and name no device.
#include <algorithm>
#include <cstdint>
#include <string>

#include "app/run_state.h"
#include "package/layout.h"
#include "package/package.h"
#include "package/verify.h"
#include "platform/file.h"
#include "tests/fuzz/fuzz_device.h"
#include "tools/zampack/package_image.h"

namespace {

const char* const kPackagePath = "C:\\fuzz\\run\\p.zam";

void WritePackage(const std::string& bytes) {
  fuzzdevice::WriteDeviceFile(kPackagePath, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

using fuzzdevice::Check;

// Resolved on its own here, not by the reader's check: a component that
// Windows trims to nothing (".", "..", ". ") counts as a step up, the worst
// it can be. The path must stay strictly below the root all along.
bool StaysBelowRoot(const std::string& relative) {
  int depth = 0;
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find('\\', start);
    if (end == std::string::npos) end = relative.size();
    std::string component = relative.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;
    std::string trimmed = component.substr(0, component.find_last_not_of(". ") + 1);
    if (component.find_last_not_of(". ") == std::string::npos) trimmed.clear();
    depth += trimmed.empty() ? -1 : 1;
    if (depth < 0) return false;
  }
  return depth >= 1;
}

bool NamesDevice(const std::string& path) {
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    std::string base = path.substr(start, std::min(end, path.find('.', start)) - start);
    start = end + 1;
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    for (const char* device : kDevices) {
      if (base == device) return true;
    }
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
        std::string("0123456789\xB9\xB2\xB3").find(base[3]) != std::string::npos) {
      return true;
    }
  }
  return false;
}

void CheckLoaded() {
  package::PackageState& state = package::Package();
  std::string path;
  for (const package::ChangeRecord& change : state.ChangeList) {
    Check(package::RecordPathText(change.Path, &path) && package::IsSafeRecordPath(path));
    package::DestinationPath destination = package::BuildDestinationPath(path);
    Check(destination.fullPath.compare(0, state.DestinationRoot.size(), state.DestinationRoot) == 0);
    Check(destination.fullPath.size() <= 259);
    Check(StaysBelowRoot(destination.fullPath.substr(state.DestinationRoot.size())));
    Check(destination.fullPath.find_first_of(":/", 2) == std::string::npos);
    Check(!NamesDevice(path));
  }
  for (const package::FileRecord& record : state.CopyList) {
    Check(package::RecordPathText(record.Path, &path));
    if (record.Size == 0) continue;
    std::uint64_t position = package::StreamPosition(record, state.DataAreaStart);
    Check(position >= package::kHeaderSize && position + record.StoredSize <= state.packageSize);
    if (record.StoredSize == 0) continue;
    // Touch both ends of the stream through the mapping, as extraction will.
    package::FileView view;
    const std::uint8_t* stream = package::byGetFileMap(view, state.mapping, platform::kFileMapRead,
                                                       static_cast<std::uint32_t>(position), record.StoredSize);
    if (stream == nullptr) continue;
    volatile std::uint8_t sink = stream[0];
    sink = stream[record.StoredSize - 1];
    (void)sink;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzdevice::AbsoluteArguments(argc, argv);
  fuzzdevice::EnterDevice({"C:\\fuzz\\run"});
  app::Run().LocationPaths[version::SOFTWARE] = "C:\\Program Files\\Orvanta";
  app::Run().LocationPaths[version::MAP] = "C:\\Maps\\";
  app::Run().LocationPaths[version::VOICE] = "D:\\Voices";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static unsigned runs = 0;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  zampack::SealPackageBytes(bytes);
  WritePackage(bytes);

  package::PackageState& state = package::Package();
  state.ChangeList.clear();
  state.CopyList.clear();
  if (package::bOpenUpdateFile(kPackagePath) && package::bVerifyUpdateFile(kPackagePath) &&
      package::bCreateFileMappings(kPackagePath)) {
    package::bLoadPackageTables();
    CheckLoaded();
  }
  state.mapping.Close();
  state.file.Close();
  // The run log collects every refusal; keep it small.
  if (++runs % 1000 == 0) platform::RemoveFile("C:\\fuzz\\update_log.txt");
  return 0;
}
