// libFuzzer target for the version file reader: arbitrary bytes as a
// "Version.xml" on the simulated device, read by a map record (which reads
// everything a plain record does, and the map data). A file that reads must
// write a file that reads back to the same type and version numbers. The
// same bytes, as the Spanish version file, go through the pre-release marker
// repair, which must never change the file's length or more than the marker.
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include "app/run_state.h"
#include "package/version_marker.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/scratch.h"
#include "version/version_info.h"

namespace {

const char* const kVersionPath = "C:\\fuzz\\run\\Version.xml";
const char* const kWrittenPath = "C:\\fuzz\\run\\Written.xml";
const char* const kSpanishPath = "C:\\fuzz\\Languages\\es\\Version.xml";

bool SetUp() {
  std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("orvanta-version-fuzz-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(root / "C" / "fuzz" / "run");
  std::filesystem::create_directories(root / "C" / "fuzz" / "Languages" / "es");
  testsupport::SetEnvironment("ORVANTA_DEVICE_ROOT", root.string());
  testsupport::SetEnvironment("ORVANTA_SIM_TIME_SCALE", "0");
  testsupport::ChangeDirectory("C:\\fuzz\\run");
  app::Run().LocationPaths[version::LANGUAGE_PACKAGE] = "C:\\fuzz\\Languages";
  return true;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Blank texts are dropped by the parser, and what is not valid UTF-16 by the
// conversions: such a name is empty once written and read again.
bool NameSurvives(const std::u16string& name) {
  std::u16string written = platform::Utf8ToWide(platform::WideToUtf8(name).c_str());
  for (char16_t c : written) {
    if (c != u' ' && c != u'\t' && c != u'\r' && c != u'\n') return true;
  }
  return false;
}

void CheckRoundTrip(version::CMapVersion& record) {
  Check(record.PrerequisiteCount >= 0 && static_cast<std::size_t>(record.PrerequisiteCount) <= record.Prerequisites.size());
  Check(record.Type >= 0 && record.Type < version::kPackageTypeCount);
  Check(record.VersionData != nullptr && record.FormatVersion != nullptr);
  if (record.Type != version::MAP && !NameSurvives(record.Name)) return;
  record.SetPath(std::string(kWrittenPath));
  record.Write();
  version::CMapVersion again{std::string(kWrittenPath)};
  Check(again.Read());
  Check(again.Type == record.Type);
  Check(again.VersionData->Major == record.VersionData->Major);
  Check(again.VersionData->Minor == record.VersionData->Minor);
  Check(again.Modified == record.Modified);
}

void WriteFile(const char* path, const std::string& bytes) {
  platform::File file = platform::OpenFile(path, platform::kGenericWrite, platform::kShareNone,
                                           platform::Disposition::CreateAlways, platform::kAttributeNormal);
  platform::WriteToFile(file, bytes.data(), static_cast<platform::Dword>(bytes.size()), nullptr);
}

std::string ReadFile(const char* path) {
  platform::File file = platform::OpenFile(path, platform::kGenericRead, platform::kShareRead,
                                           platform::Disposition::OpenExisting, platform::kAttributeNormal);
  std::string bytes(1 << 16, '\0');
  platform::Dword read = 0;
  std::string all;
  while (platform::ReadFromFile(file, bytes.data(), static_cast<platform::Dword>(bytes.size()), &read) && read > 0) {
    all.append(bytes.data(), read);
  }
  return all;
}

void CheckMarkerRepair(const std::string& bytes) {
  WriteFile(kSpanishPath, bytes);
  package::bFixPreReleaseMarker();
  std::string after = ReadFile(kSpanishPath);
  Check(after.size() == bytes.size());
  std::size_t first = 0;
  while (first < bytes.size() && bytes[first] == after[first]) ++first;
  if (first == bytes.size()) return;
  std::size_t last = bytes.size() - 1;
  while (bytes[last] == after[last]) --last;
  Check(last - first < 26);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = SetUp();
  (void)ready;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  WriteFile(kVersionPath, bytes);
  version::CMapVersion record{std::string(kVersionPath)};
  if (record.Read()) CheckRoundTrip(record);
  CheckMarkerRepair(bytes);
  return 0;
}
