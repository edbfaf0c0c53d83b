#include "tools/common/device_folder.h"

#include <pugixml.hpp>

#include <cctype>

#include "platform/text.h"
#include "version/package_type.h"

namespace tools {

namespace fs = std::filesystem;

const char* const kDescriptorPath = "C:\\Orvanta\\Update\\UpdateInfo.xml";

const char* const kDefaultLocations[18][2] = {
    {"SOFTWARE", "C:\\Program Files\\Orvanta\\"},
    {"ICONS", "C:\\Program Files\\Orvanta\\Icons\\"},
    {"LANGUAGE_PACKAGE", "C:\\Program Files\\Orvanta\\Languages\\"},
    {"MAP", "C:\\Program Files\\Orvanta\\Maps\\"},
    {"HW_LIBRARY", "C:\\Windows\\OEM\\"},
    {"RAZOVIR", "C:\\Program Files\\Orvanta\\Razovir\\"},
    {"PLATFORM", "C:\\Program Files\\Orvanta\\Platform\\"},
    {"PRODUCT_CONFIG", "C:\\ProgramData\\Orvanta\\Config\\"},
    {"MASTER_CONFIG", "C:\\ProgramData\\Orvanta\\"},
    {"VOICE", "C:\\Program Files\\Orvanta\\Voices\\"},
    {"INSTALLER", "C:\\Orvanta\\Installers\\"},
    {"APP_SETUP", "C:\\Orvanta\\Setup\\"},
    {"OS_IMAGING", "C:\\Orvanta\\Imaging\\"},
    {"RECOVERY", "C:\\Orvanta\\Recovery\\"},
    {"SCRIPTS", "C:\\Orvanta\\Scripts\\"},
    {"IMG_BOOT_ENV", "C:\\Orvanta\\Boot\\"},
    {"TALLYBIRD", "C:\\Program Files\\Orvanta\\Tallybird\\"},
    {"UNKNOWN", "C:\\Orvanta\\Unknown\\"},
};

std::string FoldCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

fs::path HostPathOf(const fs::path& root, const std::string& devicePath) {
  std::string drive(1, static_cast<char>(std::toupper(static_cast<unsigned char>(devicePath[0]))));
  fs::path host = root / drive;
  std::string rest = devicePath.size() > 3 ? devicePath.substr(3) : std::string();
  std::size_t start = 0;
  while (start < rest.size()) {
    std::size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    if (end > start) {
      // A component matches an existing entry without regard to letter case, as on the device.
      std::string part = platform::NarrowToUtf8(rest.substr(start, end - start));
      fs::path exact = host / part;
      std::error_code code;
      if (!fs::exists(exact, code)) {
        auto it = fs::directory_iterator(host, code);
        for (; !code && it != fs::directory_iterator(); it.increment(code)) {
          if (FoldCase(it->path().filename().string()) == FoldCase(part)) {
            exact = it->path();
            break;
          }
        }
      }
      host = exact;
    }
    start = end + 1;
  }
  return host;
}

bool ReadLocations(const fs::path& root, std::vector<std::string>* locations) {
  pugi::xml_document document;
  if (!document.load_file(HostPathOf(root, kDescriptorPath).c_str())) return false;
  pugi::xml_node info = document.child("UpdateInfo");
  if (!info) return false;
  locations->assign(version::kPackageTypeCount, std::string());
  pugi::xml_node where = info.child("LocationInfo");
  for (int type = 0; type < version::kPackageTypeCount; ++type) {
    std::string name = platform::WideToUtf8(version::PackageTypeName(type));
    const char* path = where.child(name.c_str()).child("Path").text().get();
    (*locations)[static_cast<std::size_t>(type)] = platform::WideToNarrow(platform::Utf8ToWide(path));
  }
  return true;
}

std::vector<std::string> LocationsOf(const fs::path& root) {
  std::vector<std::string> locations;
  if (ReadLocations(root, &locations)) return locations;
  for (const auto& location : kDefaultLocations) locations.push_back(location[1]);
  return locations;
}

}  // namespace tools
