#pragma once
// The configuration of the device service: the touch screen's programs and
// commands, and the ports of the device's micro-controllers with their
// messages, read from one XML file whose root is "Settings".
#include <cstdint>
#include <string>
#include <vector>

#include "devicelib/port_config.h"
#include "devicelib/zam_object.h"

namespace devicelib {

class ServiceConfig;
using ServiceConfigPtr = ZAMPtr<ServiceConfig>;

// A configuration for the file at `path`, after one Load; it exists whatever
// Load answered (its ports are then empty or partial). `loaded`, when given,
// receives that answer.
ServiceConfigPtr CreateServiceConfig(const std::u16string& path, bool* loaded = nullptr);

class ServiceConfig final : public ZAMObject {
 public:
  // Whether some port has a message with this id.
  virtual bool HasMessage(std::uint8_t id) const;
  // The first non-zero size a port reports for the id, in port order; 0 when none does.
  virtual std::uint32_t GetMessageSize(std::uint8_t id) const;
  // Reads the file: the touch-screen texts are overwritten and the ports it
  // describes appended. True when it holds "Settings" with "MicroControllers";
  // a micro-controller that gives no port is skipped. A file whose messages
  // describe more than kMaxConfigurationBytes byte records is refused: false,
  // with the ports read before it.
  virtual bool Load();

  std::u16string path;
  std::string Directory;
  std::string Executable;
  std::string KickCommand;
  std::string CalibrateCommand;
  std::vector<PortConfigPtr> ports;

 private:
  friend ServiceConfigPtr CreateServiceConfig(const std::u16string& path, bool* loaded);
  explicit ServiceConfig(const std::u16string& filePath) : path(filePath) {}
  // Releases the ports in order, 10 ms apart.
  ~ServiceConfig() override;
  void Release() override;
};

}  // namespace devicelib
