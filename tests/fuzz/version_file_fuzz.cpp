// libFuzzer target for the version file reader: arbitrary bytes as a
// "Version.xml" on the simulated device, read by a map record (which reads
// everything a plain record does, and the map data). A file that reads must
// write a file that reads back to the same type and version numbers, and
// saved over itself it must give a whole file that reads again, with nothing
// left beside it. The same bytes, as the Spanish version file, go through the
// pre-release marker repair, which changes nothing but a marker that ends the
// text of an open PreRelease element, at the same length.
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

// Read, then Save of what was read: the whole file, a declaration in XML's
// order, and no new file of the save left beside it.
void CheckSavedOverItself(version::CMapVersion& record) {
  record.Save();
  std::string saved = ReadFile(kVersionPath);
  const char16_t declaration[] = u"\uFEFF<?xml version=\"1.0\" encoding=\"utf-16\"";
  Check(saved.size() >= sizeof(declaration) - 2);
  for (std::size_t i = 0; i + 1 < sizeof(declaration) / 2; ++i) {
    Check(static_cast<unsigned char>(saved[2 * i]) == (declaration[i] & 0xFF));
    Check(static_cast<unsigned char>(saved[2 * i + 1]) == (declaration[i] >> 8));
  }
  Check(platform::FileAttributes(std::string(kVersionPath) + ".new") == platform::kInvalidAttributes);
  version::CMapVersion again{std::string(kVersionPath)};
  Check(again.Read());
  Check(again.Type == record.Type);
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
  // The marker starts at an even offset, after "<PreRelease>" and a text
  // without a tag that does not end in a space.
  std::size_t at = first - first % 2;
  auto unit = [&](std::size_t i) { return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                                                (static_cast<unsigned char>(bytes[2 * i + 1]) << 8)); };
  std::size_t marker = at / 2;
  while (marker > 0 && unit(marker) != u'<') --marker;
  Check(marker > 0 && unit(marker - 1) != u' ');
  std::size_t open = marker - 1;
  while (open > 0 && unit(open) != u'<') --open;
  Check(open + 12 < marker);
  const char16_t opening[] = u"<PreRelease>";
  for (std::size_t i = 0; i < 12; ++i) Check(unit(open + i) == opening[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = SetUp();
  (void)ready;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  WriteFile(kVersionPath, bytes);
  version::CMapVersion record{std::string(kVersionPath)};
  if (record.Read()) {
    CheckRoundTrip(record);
    record.SetPath(std::string(kVersionPath));
    CheckSavedOverItself(record);
  }
  CheckMarkerRepair(bytes);
  return 0;
}
