#include "devicelib/service_config.h"

#include "platform/clock.h"
#include "platform/text.h"
#include "xml/xml.h"

namespace devicelib {

ServiceConfigPtr CreateServiceConfig(const std::u16string& path, bool* loaded) {
  ServiceConfigPtr config(new ServiceConfig(path));
  bool result = config->Load();
  if (loaded != nullptr) *loaded = result;
  return config;
}

ServiceConfig::~ServiceConfig() {
  for (PortConfigPtr& slot : ports) {
    PortConfigPtr port = std::move(slot);
    platform::WaitMilliseconds(10);
  }
}

void ServiceConfig::Release() { delete this; }

bool ServiceConfig::HasMessage(std::uint8_t id) const {
  for (const PortConfigPtr& port : ports) {
    if (port->HasMessage(id)) return true;
  }
  return false;
}

std::uint32_t ServiceConfig::GetMessageSize(std::uint8_t id) const {
  for (const PortConfigPtr& port : ports) {
    if (std::uint32_t size = port->GetMessageSize(id); size != 0) return size;
  }
  return 0;
}

bool ServiceConfig::Load() {
  // Device paths are narrow; a path the narrow form cannot hold names no file.
  std::string file = platform::WideToNarrow(path);
  if (file.empty()) return false;
  pugi::xml_document document;
  if (!xml::LoadXmlFile(file, &document, pugi::parse_default)) return false;
  pugi::xml_node settings = document.child("Settings");
  if (!settings) return false;

  pugi::xml_node touchScreen = settings.child("Configuration").child("TouchScreen");
  if (touchScreen) {
    Directory = xml::GetChildTextA(touchScreen, u"Directory");
    Executable = xml::GetChildTextA(touchScreen, u"Executable");
    KickCommand = xml::GetChildTextA(touchScreen, u"KickCommand");
    CalibrateCommand = xml::GetChildTextA(touchScreen, u"CalibrateCommand");
  }

  pugi::xml_node controllers = settings.child("MicroControllers");
  if (!controllers) return false;
  bool result = true;
  // One bound for the whole file, however many ports it spreads over.
  ByteBudget budget;
  for (pugi::xml_node controller : controllers.children()) {
    PortConfigPtr port = CreatePortConfig(controller, budget);
    if (budget.exceeded) return false;
    if (!port) continue;
    if (result) result = port->IsConfigured();
    ports.push_back(std::move(port));
  }
  return result;
}

}  // namespace devicelib
