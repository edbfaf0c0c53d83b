// libFuzzer target for the service configuration reader: arbitrary bytes as
// the configuration file, loaded through CreateServiceConfig; whatever the
// library keeps must be consistent and within the bound of byte records, and
// ending it must release every port.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include "devicelib/service_config.h"
#include "platform/file.h"
#include "tests/support/scratch.h"

namespace {

const char* const kConfigPath = "C:\\fuzz\\ZAMService.xml";

bool SetUp() {
  std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("orvanta-fuzz-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(root / "C" / "fuzz");
  testsupport::SetEnvironment("ORVANTA_DEVICE_ROOT", root.string());
  // The pauses before each port is released cost nothing here.
  testsupport::SetEnvironment("ORVANTA_SIM_TIME_SCALE", "0");
  return true;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckPort(const devicelib::PortConfig& port, std::size_t inputSize) {
  Check(port.IsConfigured());
  Check(port.portKind == devicelib::kSerialPort || port.portKind == devicelib::kHidPort);
  std::uint32_t largest = 0;
  for (const auto& [id, message] : port.messages) {
    Check(static_cast<std::uint32_t>(message.ID) == id);
    Check(message.leadCount == 1);
    // Padding stops at the length bound; listed bytes each take input.
    Check(message.Length >= 0 &&
          static_cast<std::size_t>(message.Length) <= std::max<std::size_t>(devicelib::kMaxMessageLength, inputSize));
    Check(!message.Bytes.empty());
    for (const auto& [location, byte] : message.Bytes) {
      Check(byte.Location == location);
      Check(byte.Value == byte.Default);
      for (const auto& [bitLocation, bit] : byte.Bits) Check(bit.Location == bitLocation);
    }
    largest = std::max(largest, 1 + static_cast<std::uint32_t>(message.Length));
  }
  // A message whose id came again counts with the size it had before.
  Check(port.largestMessageSize >= largest);
  Check(port.largestMessageSize <= 1 + std::max<std::size_t>(devicelib::kMaxMessageLength, inputSize));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = SetUp();
  (void)ready;
  {
    platform::File file = platform::OpenFile(kConfigPath, platform::kGenericWrite, platform::kShareNone,
                                             platform::Disposition::CreateAlways, platform::kAttributeNormal);
    platform::WriteToFile(file, data, static_cast<platform::Dword>(size), nullptr);
  }
  bool loaded = false;
  devicelib::ServiceConfigPtr config = devicelib::CreateServiceConfig(u"C:\\fuzz\\ZAMService.xml", &loaded);
  Check(config != nullptr);
  std::size_t records = 0;
  std::size_t messages = 0;
  for (const devicelib::PortConfigPtr& port : config->ports) {
    CheckPort(*port, size);
    for (const auto& [id, message] : port->messages) records += message.Bytes.size();
    messages += port->messages.size();
  }
  // Besides the bound, a message without bytes holds one empty record.
  Check(records <= devicelib::kMaxConfigurationBytes + messages);
  // Ports are kept from a file that is refused only when it reached the bound.
  Check(loaded || config->ports.empty() || records + messages * (devicelib::kMaxMessageLength + 1) >
                                               devicelib::kMaxConfigurationBytes);
  for (int id = 0; id < 256; ++id) {
    std::uint8_t small = static_cast<std::uint8_t>(id);
    Check(config->HasMessage(small) == (config->GetMessageSize(small) != 0));
  }
  return 0;
}
