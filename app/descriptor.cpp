#include "app/descriptor.h"

#include <pugixml.hpp>

#include "app/run_state.h"
#include "platform/text.h"
#include "version/package_type.h"
#include "xml/xml.h"

namespace app {
namespace {

constexpr const char* kDescriptorName = "UpdateInfo.xml";

// The UpdateInfo element, or a null node when the descriptor is unusable.
pugi::xml_node LoadUpdateInfo(pugi::xml_document& document) {
  if (!xml::LoadXmlFile(kDescriptorName, &document, pugi::parse_default)) return pugi::xml_node();
  return document.child("UpdateInfo");
}

bool SaysOnDevice(pugi::xml_node updateInfo) {
  std::u16string text;
  xml::GetChildText(updateInfo, u"IsTargetHardware", text);
  return text == u"true";
}

std::string NarrowText(const char* utf8) { return platform::WideToNarrow(platform::Utf8ToWide(utf8)); }

}  // namespace

bool ReadIsTargetHardware() {
  pugi::xml_document document;
  pugi::xml_node updateInfo = LoadUpdateInfo(document);
  return updateInfo && !SaysOnDevice(updateInfo);
}

bool bLoadUpdateInfo() {
  pugi::xml_document document;
  pugi::xml_node updateInfo = LoadUpdateInfo(document);
  if (!updateInfo) return true;

  RunState& run = Run();
  run.bOnDevice = SaysOnDevice(updateInfo);

  if (pugi::xml_node locations = updateInfo.child("LocationInfo")) {
    for (int type = 0; type < version::kPackageTypeCount; ++type) {
      std::string name = platform::WideToUtf8(version::PackageTypeNames[type]);
      if (pugi::xml_node path = locations.child(name.c_str()).child("Path")) {
        run.LocationPaths[type] = NarrowText(path.text().get());
      }
    }
  }

  // Every child node counts, and its value is that of its own first child,
  // which is empty when that is an element.
  for (pugi::xml_node entry : updateInfo.child("UpdateList").children()) {
    run.UpdateFiles.push_back(NarrowText(entry.first_child().value()));
  }
  return true;
}

}  // namespace app
