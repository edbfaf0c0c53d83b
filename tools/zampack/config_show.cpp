#include "tools/zampack/config_show.h"

#include <cstdio>
#include <vector>

#include "devicelib/service_config.h"
#include "platform/file.h"
#include "platform/text.h"
#include "platform/user_locale.h"
#include "tools/common/json.h"
#include "xml/xml.h"

namespace zampack {

const char* const kConfigHelp =
    "usage: zampack config show [--json] FILE\n"
    "\n"
    "Loads the device service's configuration FILE as the device library does\n"
    "and prints the touch-screen texts, then each micro-controller port: its\n"
    "kind, name, IDs, message framing and (serial) line settings, and each\n"
    "message: its id in hex, name, direction, type, the size the library\n"
    "reports for it, and its bytes with their defaults and bits, the padding\n"
    "up to the declared Length included. Controllers the library drops (an\n"
    "unknown Type, no Configuration) are named with the reason. --json prints\n"
    "the same as one JSON document. Exits with 1, the reason on standard\n"
    "error, when the library cannot load the file.\n";

namespace {

using devicelib::HIDPortConfig;
using devicelib::MessageBit;
using devicelib::MessageByte;
using devicelib::PortConfig;
using devicelib::PortMessage;
using devicelib::SerialPortConfig;
using devicelib::ServiceConfig;

struct Dropped {
  int position = 0;  // 1-based, among the element children of "MicroControllers"
  std::string element;
  std::string name;
  std::string reason;
};

std::string Utf8(const std::u16string& text) { return platform::WideToUtf8(text); }
std::string Utf8(const std::string& narrow) { return platform::NarrowToUtf8(narrow); }

// Negative values (-1: the element was absent) stay decimal.
std::string Hex(std::int64_t value) {
  if (value < 0) return std::to_string(value);
  char text[24];
  std::snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

std::string Bool(bool value) { return value ? "true" : "false"; }

std::string SettingName(std::int32_t value, std::vector<const char*> names) {
  if (value >= 0 && static_cast<std::size_t>(value) < names.size()) return names[static_cast<std::size_t>(value)];
  return "unknown";
}

const std::vector<const char*> kStopBitsNames = {"ONESTOPBIT", "ONE5STOPBITS", "TWOSTOPBITS"};
const std::vector<const char*> kParityNames = {"NOPARITY", "ODDPARITY", "EVENPARITY", "MARKPARITY", "SPACEPARITY"};
const std::vector<const char*> kRtsNames = {"RTS_CONTROL_DISABLE", "RTS_CONTROL_ENABLE", "RTS_CONTROL_HANDSHAKE",
                                            "RTS_CONTROL_TOGGLE"};
const std::vector<const char*> kDtrNames = {"DTR_CONTROL_DISABLE", "DTR_CONTROL_ENABLE", "DTR_CONTROL_HANDSHAKE"};

// The library looks messages up by 8-bit ids: a wider id is kept but never found.
bool Reachable(std::uint32_t id) { return id <= 0xFF; }

// Why Load said no, found by reading the file once more.
std::string LoadFailure(const std::u16string& path) {
  std::string file = platform::WideToNarrow(path);
  if (file.empty()) return "the path has characters the device's code page cannot hold";
  if (platform::FileAttributes(file) == platform::kInvalidAttributes) {
    return "cannot open the file (" + platform::ErrorText(platform::LastError()) + ")";
  }
  pugi::xml_document document;
  if (!xml::LoadXmlFile(file, &document, pugi::parse_default)) return "the file is not a readable XML document";
  pugi::xml_node settings = document.child("Settings");
  if (!settings) return "the document has no \"Settings\" root element";
  if (!settings.child("MicroControllers")) return "\"Settings\" has no \"MicroControllers\" element";
  return "its messages describe more than " + std::to_string(devicelib::kMaxConfigurationBytes) +
         " bytes, more than a configuration may hold";
}

// The controllers CreatePortConfig turns down, with the reason.
std::vector<Dropped> FindDropped(const std::u16string& path) {
  std::vector<Dropped> dropped;
  pugi::xml_document document;
  if (!xml::LoadXmlFile(platform::WideToNarrow(path), &document, pugi::parse_default)) return dropped;
  int position = 0;
  for (pugi::xml_node controller : document.child("Settings").child("MicroControllers").children()) {
    if (controller.type() != pugi::node_element) continue;
    ++position;
    std::u16string type;
    xml::GetChildText(controller, u"Type", type);
    std::string reason;
    if (devicelib::ParsePortType(type) == devicelib::kNoPort) {
      reason = "unknown Type \"" + Utf8(type) + "\" (SERIAL or HID)";
    } else if (!controller.child("Configuration")) {
      reason = "no Configuration element";
    } else if (!devicelib::CreatePortConfig(controller)) {
      reason = "a byte Location so large that the padding after it would wrap round to location 0";
    } else {
      continue;
    }
    std::u16string name;
    xml::GetChildText(controller, u"Name", name);
    dropped.push_back({position, controller.name(), Utf8(name), reason});
  }
  return dropped;
}

void PrintText(const ServiceConfig& config, const std::vector<Dropped>& dropped, std::ostream& out) {
  out << "Touch screen\n"
      << "  Directory         " << Utf8(config.Directory) << "\n"
      << "  Executable        " << Utf8(config.Executable) << "\n"
      << "  KickCommand       " << Utf8(config.KickCommand) << "\n"
      << "  CalibrateCommand  " << Utf8(config.CalibrateCommand) << "\n";
  int number = 0;
  for (const auto& port : config.ports) {
    out << "\nPort " << ++number << ": " << (port->portKind == devicelib::kSerialPort ? "SERIAL" : "HID") << " \""
        << Utf8(port->name) << "\"\n"
        << "  ID " << Hex(port->ID) << "  VID " << Hex(port->VID) << "  PID " << Hex(port->PID) << "  MID "
        << Hex(port->MID) << "\n"
        << "  MessagesMarker " << Hex(port->MessagesMarker) << "  MessagesID " << Hex(port->MessagesID)
        << "  UsePacketId " << Bool(port->UsePacketId) << "  UseChecksum " << Bool(port->UseChecksum) << "\n";
    if (const auto* serial = dynamic_cast<const SerialPortConfig*>(port.get())) {
      out << "  PortNumber " << serial->PortNumber << "  BaudRate " << serial->BaudRate << "  ByteSize "
          << serial->ByteSize << "  StopBits " << SettingName(serial->StopBits, kStopBitsNames) << " ("
          << serial->StopBits << ")  Parity " << SettingName(serial->Parity, kParityNames) << " (" << serial->Parity
          << ")\n"
          << "  fRtsControl " << SettingName(serial->RtsControl, kRtsNames) << " (" << serial->RtsControl
          << ")  fDtrControl " << SettingName(serial->DtrControl, kDtrNames) << " (" << serial->DtrControl << ")\n"
          << "  fParity " << Bool(serial->fParity) << "  fErrorChar " << Bool(serial->fErrorChar) << "  fBinary "
          << Bool(serial->fBinary) << "  fOutCtsFlow " << Bool(serial->fOutCtsFlow) << "  fOutxDstFlow "
          << Bool(serial->fOutxDstFlow) << "  fDsrSensitivity " << Bool(serial->fDsrSensitivity) << "\n"
          << "  fOutX " << Bool(serial->fOutX) << "  fInX " << Bool(serial->fInX) << "  fNull " << Bool(serial->fNull)
          << "  fAbortOnError " << Bool(serial->fAbortOnError) << "  DontUseMessageIDSending "
          << Bool(serial->DontUseMessageIDSending) << "\n";
    } else if (const auto* hid = dynamic_cast<const HIDPortConfig*>(port.get())) {
      out << "  UsagePage " << Hex(hid->UsagePage) << "\n";
    }
    out << "  Largest message " << port->largestMessageSize << " bytes\n";
    for (const auto& [id, message] : port->messages) {
      out << "  Message " << Hex(id) << " \"" << Utf8(message.Name) << "\"  direction " << Utf8(message.PortDirection)
          << "  type " << Utf8(message.PortType) << "  size ";
      if (Reachable(id)) {
        out << port->GetMessageSize(static_cast<std::uint8_t>(id));
      } else {
        out << "- (never found: ids are looked up in 8 bits)";
      }
      out << "  Length " << message.Length << "\n";
      for (const auto& [location, byte] : message.Bytes) {
        out << "    byte " << location << " \"" << Utf8(byte.Name) << "\" default " << Hex(byte.Default) << "\n";
        for (const auto& [bitLocation, bit] : byte.Bits) {
          out << "      bit " << bitLocation << " \"" << Utf8(bit.Name) << "\"\n";
        }
      }
    }
  }
  for (const Dropped& entry : dropped) {
    out << "\nDropped: controller " << entry.position << " <" << entry.element << "> \"" << entry.name
        << "\": " << entry.reason << "\n";
  }
}

void PrintJson(const ServiceConfig& config, const std::vector<Dropped>& dropped, std::ostream& out) {
  out << "{\n  \"touchScreen\": {\"Directory\": " << tools::JsonString(Utf8(config.Directory))
      << ", \"Executable\": " << tools::JsonString(Utf8(config.Executable))
      << ", \"KickCommand\": " << tools::JsonString(Utf8(config.KickCommand))
      << ", \"CalibrateCommand\": " << tools::JsonString(Utf8(config.CalibrateCommand)) << "},\n  \"ports\": [";
  const char* portSeparator = "\n";
  for (const auto& port : config.ports) {
    out << portSeparator << "    {\"kind\": \"" << (port->portKind == devicelib::kSerialPort ? "SERIAL" : "HID")
        << "\", \"name\": " << tools::JsonString(Utf8(port->name)) << ", \"ID\": " << port->ID << ", \"VID\": " << port->VID
        << ", \"PID\": " << port->PID << ", \"MID\": " << port->MID << ", \"MessagesMarker\": " << port->MessagesMarker
        << ", \"MessagesID\": " << port->MessagesID << ", \"UsePacketId\": " << Bool(port->UsePacketId)
        << ", \"UseChecksum\": " << Bool(port->UseChecksum);
    if (const auto* serial = dynamic_cast<const SerialPortConfig*>(port.get())) {
      out << ",\n     \"serial\": {\"PortNumber\": " << serial->PortNumber << ", \"BaudRate\": " << serial->BaudRate
          << ", \"ByteSize\": " << serial->ByteSize << ", \"StopBits\": " << serial->StopBits
          << ", \"Parity\": " << serial->Parity << ", \"RtsControl\": " << serial->RtsControl
          << ", \"DtrControl\": " << serial->DtrControl << ", \"fParity\": " << Bool(serial->fParity)
          << ", \"fErrorChar\": " << Bool(serial->fErrorChar) << ", \"fBinary\": " << Bool(serial->fBinary)
          << ", \"fOutCtsFlow\": " << Bool(serial->fOutCtsFlow) << ", \"fOutxDstFlow\": " << Bool(serial->fOutxDstFlow)
          << ", \"fDsrSensitivity\": " << Bool(serial->fDsrSensitivity) << ", \"fOutX\": " << Bool(serial->fOutX)
          << ", \"fInX\": " << Bool(serial->fInX) << ", \"fNull\": " << Bool(serial->fNull)
          << ", \"fAbortOnError\": " << Bool(serial->fAbortOnError)
          << ", \"DontUseMessageIDSending\": " << Bool(serial->DontUseMessageIDSending) << "}";
    } else if (const auto* hid = dynamic_cast<const HIDPortConfig*>(port.get())) {
      out << ",\n     \"hid\": {\"UsagePage\": " << hid->UsagePage << "}";
    }
    out << ",\n     \"largestMessageSize\": " << port->largestMessageSize << ",\n     \"messages\": [";
    const char* messageSeparator = "\n";
    for (const auto& [id, message] : port->messages) {
      out << messageSeparator << "       {\"id\": " << id << ", \"name\": " << tools::JsonString(Utf8(message.Name))
          << ", \"direction\": " << tools::JsonString(Utf8(message.PortDirection)) << ", \"type\": "
          << tools::JsonString(Utf8(message.PortType)) << ", \"size\": ";
      if (Reachable(id)) {
        out << port->GetMessageSize(static_cast<std::uint8_t>(id));
      } else {
        out << "null";
      }
      out << ", \"length\": " << message.Length << ",\n        \"bytes\": [";
      const char* byteSeparator = "";
      for (const auto& [location, byte] : message.Bytes) {
        out << byteSeparator << "{\"location\": " << location << ", \"name\": " << tools::JsonString(Utf8(byte.Name))
            << ", \"default\": " << static_cast<int>(byte.Default) << ", \"bits\": [";
        const char* bitSeparator = "";
        for (const auto& [bitLocation, bit] : byte.Bits) {
          out << bitSeparator << "{\"location\": " << bitLocation << ", \"name\": " << tools::JsonString(Utf8(bit.Name)) << "}";
          bitSeparator = ", ";
        }
        out << "]}";
        byteSeparator = ",\n                  ";
      }
      out << "]}";
      messageSeparator = ",\n";
    }
    out << "]}";
    portSeparator = ",\n";
  }
  out << "],\n  \"dropped\": [";
  const char* separator = "";
  for (const Dropped& entry : dropped) {
    out << separator << "{\"position\": " << entry.position << ", \"element\": " << tools::JsonString(entry.element)
        << ", \"name\": " << tools::JsonString(entry.name) << ", \"reason\": " << tools::JsonString(entry.reason) << "}";
    separator = ", ";
  }
  out << "]\n}\n";
}

}  // namespace

bool ShowServiceConfig(const std::string& path, bool json, std::ostream& out, std::ostream& errors) {
  // Arguments are UTF-8, as every text zampack is given; the library takes
  // the path in the system's code page. One it cannot hold names no file.
  std::string narrow;
  std::u16string file;
  if (platform::SystemTextFromUtf8(path, &narrow)) file = platform::NarrowToWide(narrow);
  bool loaded = false;
  devicelib::ServiceConfigPtr config = devicelib::CreateServiceConfig(file, &loaded);
  if (!loaded) {
    errors << "zampack config show: " << path << ": " << LoadFailure(file) << "\n";
    return false;
  }
  std::vector<Dropped> dropped = FindDropped(file);
  if (json) {
    PrintJson(*config, dropped, out);
  } else {
    PrintText(*config, dropped, out);
  }
  // The library releases its ports 10 ms apart, a pause the service needs
  // between closing ports; a tool that only read the file does not.
  config->ports.clear();
  return true;
}

}  // namespace zampack
