#include "devicelib/port_config.h"

#include "platform/clock.h"
#include "xml/xml.h"

namespace devicelib {
namespace {

using xml::GetChildBool;
using xml::GetChildHex;
using xml::GetChildInt;

struct NamedValue {
  const char16_t* name;
  std::int32_t value;
};

constexpr NamedValue kStopBits[] = {{u"ONESTOPBIT", 0}, {u"ONE5STOPBITS", 1}, {u"TWOSTOPBITS", 2}};
constexpr NamedValue kParity[] = {
    {u"NOPARITY", 0}, {u"ODDPARITY", 1}, {u"EVENPARITY", 2}, {u"MARKPARITY", 3}, {u"SPACEPARITY", 4}};
constexpr NamedValue kRtsControl[] = {{u"RTS_CONTROL_DISABLE", 0},
                                      {u"RTS_CONTROL_ENABLE", 1},
                                      {u"RTS_CONTROL_HANDSHAKE", 2},
                                      {u"RTS_CONTROL_TOGGLE", 3}};
constexpr NamedValue kDtrControl[] = {
    {u"DTR_CONTROL_DISABLE", 0}, {u"DTR_CONTROL_ENABLE", 1}, {u"DTR_CONTROL_HANDSHAKE", 2}};
constexpr NamedValue kPortTypes[] = {{u"SERIAL", kSerialPort}, {u"HID", kHidPort}};

// Upper-cased as the C runtime does in the "C" locale: ASCII letters only.
template <std::size_t N>
std::int32_t Lookup(const NamedValue (&table)[N], const std::u16string& text, std::int32_t unknown) {
  std::u16string upper = text;
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  for (const NamedValue& entry : table) {
    if (upper == entry.name) return entry.value;
  }
  return unknown;
}

// A missing or empty element gives an empty text, whatever was read before.
std::u16string Text(pugi::xml_node element, const char16_t* name) {
  std::u16string text;
  xml::GetChildText(element, name, text);
  return text;
}

std::int32_t Setting(pugi::xml_node configuration, const char16_t* name,
                     std::int32_t (*parse)(const std::u16string&)) {
  return parse(Text(configuration, name));
}

}  // namespace

std::int32_t ParsePortType(const std::u16string& text) { return Lookup(kPortTypes, text, kNoPort); }
std::int32_t ParseStopBits(const std::u16string& text) { return Lookup(kStopBits, text, kUnknownSetting); }
std::int32_t ParseParity(const std::u16string& text) { return Lookup(kParity, text, kUnknownSetting); }
std::int32_t ParseRtsControl(const std::u16string& text) { return Lookup(kRtsControl, text, kUnknownSetting); }
std::int32_t ParseDtrControl(const std::u16string& text) { return Lookup(kDtrControl, text, kUnknownSetting); }

PortConfigPtr CreatePortConfig(pugi::xml_node element) {
  ByteBudget budget;
  return CreatePortConfig(element, budget);
}

PortConfigPtr CreatePortConfig(pugi::xml_node element, ByteBudget& budget) {
  if (!element) return nullptr;
  std::u16string portName = Text(element, u"Name");
  PortConfigPtr port;
  switch (ParsePortType(Text(element, u"Type"))) {
    case kSerialPort: port.reset(new SerialPortConfig(portName)); break;
    case kHidPort: port.reset(new HIDPortConfig(portName)); break;
    default: return nullptr;
  }
  port->budget_ = &budget;
  bool configured = port->ReadConfiguration(element);
  port->budget_ = nullptr;
  if (configured) return port;
  platform::WaitMilliseconds(10);
  return nullptr;
}

void PortConfig::Release() { delete this; }

bool PortConfig::Spend(std::uint32_t records) {
  if (budget_->remaining < records) {
    budget_->exceeded = true;
    refused = true;
    return false;
  }
  budget_->remaining -= records;
  return true;
}

bool PortConfig::HasMessage(std::uint8_t id) const { return messages.count(id) != 0; }

std::uint32_t PortConfig::GetMessageSize(std::uint8_t id) const {
  auto found = messages.find(id);
  if (found == messages.end()) return 0;
  return static_cast<std::uint32_t>(found->second.leadCount) + static_cast<std::uint32_t>(found->second.Length);
}

bool PortConfig::IsConfigured() const { return configured; }

bool PortConfig::ReadConfiguration(pugi::xml_node element) {
  configured = false;
  if (!element) return false;
  pugi::xml_node configuration = element.child("Configuration");
  if (configuration) {
    ID = GetChildHex(configuration, u"ID");
    VID = GetChildHex(configuration, u"VID");
    PID = GetChildHex(configuration, u"PID");
    MID = GetChildHex(configuration, u"MID");
    if (configuration.child("MessagesMarker")) MessagesMarker = GetChildHex(configuration, u"MessagesMarker");
    if (configuration.child("MessagesID")) MessagesID = GetChildHex(configuration, u"MessagesID");
    if (configuration.child("UsePacketId")) UsePacketId = GetChildBool(configuration, u"UsePacketId");
    if (configuration.child("UseChecksum")) UseChecksum = GetChildBool(configuration, u"UseChecksum");
    configured = true;
  }
  ReadMessages(element);
  if (refused) configured = false;
  return configured;
}

bool PortConfig::ReadMessages(pugi::xml_node element) {
  largestMessageSize = 0;
  refused = false;
  if (!element) return false;
  pugi::xml_node list = element.child("Messages");
  messages.clear();
  if (!list) return false;
  // A reading of its own, outside a configuration's, gets a budget of its own.
  ByteBudget own;
  if (budget_ == nullptr) budget_ = &own;
  // Entries are the element children; text between them is not a message.
  for (pugi::xml_node entry = list.first_child(); entry && !refused; entry = entry.next_sibling()) {
    if (entry.type() != pugi::node_element) continue;
    std::uint32_t id = static_cast<std::uint32_t>(GetChildHex(entry, u"ID"));
    // A repeated id takes over the earlier record, byte map included.
    PortMessage& message = messages[id];
    message.ID = static_cast<std::int32_t>(id);
    message.Name = Text(entry, u"Name");
    message.PortDirection = Text(entry, u"PortDirection");
    message.PortType = Text(entry, u"PortType");
    message.leadCount = 1;
    std::uint32_t declared = static_cast<std::uint32_t>(GetChildHex(entry, u"Length"));
    message.Length = static_cast<std::int32_t>(ReadBytes(entry, message.Bytes, declared));
    std::uint32_t size = static_cast<std::uint32_t>(message.leadCount) + static_cast<std::uint32_t>(message.Length);
    if (size > largestMessageSize) largestMessageSize = size;
  }
  if (budget_ == &own) budget_ = nullptr;
  return true;
}

std::uint32_t PortConfig::ReadBytes(pugi::xml_node message, std::map<std::uint32_t, MessageByte>& bytes,
                                    std::uint32_t length) {
  if (!message) return 0;
  if (length > kMaxMessageLength) length = 0;
  std::uint32_t highest = 0;
  std::uint32_t count = 0;
  pugi::xml_node list = message.child("Bytes");
  for (pugi::xml_node entry = list.first_child(); entry; entry = entry.next_sibling()) {
    if (entry.type() != pugi::node_element) continue;
    ++count;
    std::uint32_t location = static_cast<std::uint32_t>(GetChildInt(entry, u"Location"));
    if (budget_ != nullptr && bytes.count(location) == 0 && !Spend(1)) return count;
    if (location > highest) highest = location;
    MessageByte& byte = bytes[location];
    byte.Location = location;
    byte.Name = Text(entry, u"Name");
    byte.Default = static_cast<std::uint8_t>(GetChildHex(entry, u"Default"));
    byte.Value = byte.Default;
    pugi::xml_node bits = entry.child("Bits");
    for (pugi::xml_node bitEntry = bits.first_child(); bitEntry; bitEntry = bitEntry.next_sibling()) {
      if (bitEntry.type() != pugi::node_element) continue;
      std::uint32_t bitLocation = static_cast<std::uint32_t>(GetChildInt(bitEntry, u"Location"));
      MessageBit& bit = byte.Bits[bitLocation];
      bit.Location = bitLocation;
      bit.Name = Text(bitEntry, u"Name");
    }
  }
  // A message without bytes still gets an empty record at location 0.
  const MessageByte& last = bytes[highest];
  std::u16string fillName = last.Name;
  std::uint8_t fillDefault = last.Default;
  if (count >= length) return count;
  std::uint32_t padding = length - count;
  // Padding past the highest location there is would wrap round and
  // overwrite the bytes from location 0 on.
  if (highest > UINT32_MAX - padding) {
    refused = true;
    return count;
  }
  if (budget_ != nullptr && !Spend(padding)) return count;
  for (std::uint32_t added = 1; added <= padding; ++added) {
    MessageByte fill;
    fill.Location = highest + added;
    fill.Name = fillName;
    fill.Default = fillDefault;
    fill.Value = fillDefault;
    bytes[fill.Location] = std::move(fill);
  }
  return length;
}

bool SerialPortConfig::ReadConfiguration(pugi::xml_node element) {
  if (!PortConfig::ReadConfiguration(element)) return false;
  configured = false;
  pugi::xml_node configuration = element.child("Configuration");
  PortNumber = GetChildInt(configuration, u"PortNumber");
  BaudRate = GetChildInt(configuration, u"BaudRate");
  ByteSize = GetChildInt(configuration, u"ByteSise");
  StopBits = Setting(configuration, u"StopBits", ParseStopBits);
  Parity = Setting(configuration, u"Parity", ParseParity);
  fParity = GetChildBool(configuration, u"fParity");
  fErrorChar = GetChildBool(configuration, u"fErrorChar");
  fBinary = GetChildBool(configuration, u"fBinary");
  fOutCtsFlow = GetChildBool(configuration, u"fOutCtsFlow");
  fOutxDstFlow = GetChildBool(configuration, u"fOutxDstFlow");
  fDsrSensitivity = GetChildBool(configuration, u"fDsrSensitivity");
  fOutX = GetChildBool(configuration, u"fOutX");
  fInX = GetChildBool(configuration, u"fInX");
  fNull = GetChildBool(configuration, u"fNull");
  RtsControl = Setting(configuration, u"fRtsControl", ParseRtsControl);
  DtrControl = Setting(configuration, u"fDtrControl", ParseDtrControl);
  fAbortOnError = GetChildBool(configuration, u"fAbortOnError");
  DontUseMessageIDSending = GetChildBool(configuration, u"DontUseMessageIDSending");
  configured = true;
  return true;
}

bool HIDPortConfig::ReadConfiguration(pugi::xml_node element) {
  if (!PortConfig::ReadConfiguration(element)) return false;
  configured = false;
  UsagePage = GetChildHex(element.child("Configuration"), u"UsagePage");
  configured = true;
  return true;
}

}  // namespace devicelib
