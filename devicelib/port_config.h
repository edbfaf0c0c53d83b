#pragma once
// Port configurations of the device's micro-controllers: what one element of
// the device service's configuration file says about a serial port or a HID
// device and the messages exchanged with it, down to their bytes and bits.
// Nothing here opens a port; the objects only hold what the file says.
#include <cstdint>
#include <map>
#include <string>

#include <pugixml.hpp>

#include "devicelib/zam_object.h"

namespace devicelib {

struct MessageBit {
  std::u16string Name;
  std::uint32_t Location = 0;
};

struct MessageByte {
  std::u16string Name;
  std::uint32_t Location = 0;
  std::uint8_t Default = 0;
  std::uint8_t Value = 0;  // Default, as read
  std::map<std::uint32_t, MessageBit> Bits;
};

struct PortMessage {
  std::u16string Name;
  std::u16string PortDirection;
  std::u16string PortType;
  std::int32_t ID = 0;
  std::int32_t leadCount = 0;  // 1 once read
  std::int32_t Length = 0;     // data bytes
  std::map<std::uint32_t, MessageByte> Bytes;
};

// Port kinds.
constexpr std::int32_t kSerialPort = 0;
constexpr std::int32_t kHidPort = 1;
constexpr std::int32_t kNoPort = 2;
// An unknown or missing name of the serial settings.
constexpr std::int32_t kUnknownSetting = 255;
// A declared message length above this is not a length the device's
// controllers could use; it reads as 0, as other malformed numbers do.
constexpr std::uint32_t kMaxMessageLength = 1024;
// The byte records, listed and padded, that the messages of one
// configuration file may make the reader hold, across all its ports (each
// some 150 bytes of memory). Padding lets a few bytes of a file ask for a
// thousand records; a file that asks for more than this is refused.
constexpr std::uint32_t kMaxConfigurationBytes = 65536;

// What is left of that bound while one configuration is read.
struct ByteBudget {
  std::uint32_t remaining = kMaxConfigurationBytes;
  bool exceeded = false;
};

class PortConfig;
using PortConfigPtr = ZAMPtr<PortConfig>;

// The port configuration the micro-controller element describes, filled and
// configured; none when the element is empty, its "Type" is neither "SERIAL"
// nor "HID" (any letter case), it has no "Configuration", or its messages
// are refused (they go beyond the budget, or a byte's location is so large
// that the padding after it would wrap round to location 0).
PortConfigPtr CreatePortConfig(pugi::xml_node element);
// The same with the byte records paid from the budget of the whole file.
PortConfigPtr CreatePortConfig(pugi::xml_node element, ByteBudget& budget);

// The names of the tables of the configuration format, upper-cased before
// they are compared; kNoPort or kUnknownSetting for anything else.
std::int32_t ParsePortType(const std::u16string& text);
std::int32_t ParseStopBits(const std::u16string& text);
std::int32_t ParseParity(const std::u16string& text);
std::int32_t ParseRtsControl(const std::u16string& text);
std::int32_t ParseDtrControl(const std::u16string& text);

class PortConfig : public ZAMObject {
 public:
  virtual bool HasMessage(std::uint8_t id) const;
  // Lead count plus Length of the message; 0 when there is none.
  virtual std::uint32_t GetMessageSize(std::uint8_t id) const;
  virtual bool IsConfigured() const;
  // The common part: IDs and message framing from "Configuration", then the
  // messages afresh. True when "Configuration" was there.
  virtual bool ReadConfiguration(pugi::xml_node element);
  // Empties the messages and reads them from "Messages"; false when the
  // element has none.
  virtual bool ReadMessages(pugi::xml_node element);
  // Fills `bytes` from the message's "Bytes" and pads it up to `length` with
  // copies of the byte at the highest listed location; the number of data bytes.
  virtual std::uint32_t ReadBytes(pugi::xml_node message, std::map<std::uint32_t, MessageByte>& bytes,
                                  std::uint32_t length);

  bool configured = false;
  std::int32_t portKind = kNoPort;
  std::uint32_t largestMessageSize = 0;
  std::map<std::uint32_t, PortMessage> messages;
  std::u16string name;
  std::int32_t ID = 0;
  std::int32_t VID = 0;
  std::int32_t PID = 0;
  std::int32_t MID = 0;
  std::int32_t MessagesMarker = -1;
  std::int32_t MessagesID = -1;
  bool UsePacketId = false;
  bool UseChecksum = false;
  // The last ReadMessages was cut short: its messages were refused.
  bool refused = false;

 protected:
  PortConfig(const std::u16string& portName, std::int32_t kind) : portKind(kind), name(portName) {}
  ~PortConfig() override = default;

 private:
  friend PortConfigPtr CreatePortConfig(pugi::xml_node element, ByteBudget& budget);
  void Release() override;
  // False, with the reading refused, when the budget cannot pay `records`.
  bool Spend(std::uint32_t records);

  // The budget of the reading under way; none outside one.
  ByteBudget* budget_ = nullptr;
};

// The line settings of a serial port, numbered as the Windows serial-port
// settings record (DCB) numbers them. Every one is assigned by ReadConfiguration.
class SerialPortConfig final : public PortConfig {
 public:
  bool ReadConfiguration(pugi::xml_node element) override;

  bool fParity = false;
  bool fErrorChar = false;
  bool fBinary = false;
  bool fOutCtsFlow = false;
  bool fOutxDstFlow = false;
  bool fDsrSensitivity = false;
  bool fOutX = false;
  bool fInX = false;
  bool fNull = false;
  bool fAbortOnError = false;
  bool DontUseMessageIDSending = false;
  std::int32_t BaudRate = 0;
  std::int32_t ByteSize = 0;
  std::int32_t StopBits = 0;
  std::int32_t Parity = 0;
  std::int32_t RtsControl = 0;
  std::int32_t DtrControl = 0;
  std::int32_t PortNumber = 0;

 private:
  friend PortConfigPtr CreatePortConfig(pugi::xml_node element, ByteBudget& budget);
  explicit SerialPortConfig(const std::u16string& portName) : PortConfig(portName, kSerialPort) {}
  ~SerialPortConfig() override = default;
};

class HIDPortConfig final : public PortConfig {
 public:
  bool ReadConfiguration(pugi::xml_node element) override;

  std::int32_t UsagePage = 0;

 private:
  friend PortConfigPtr CreatePortConfig(pugi::xml_node element, ByteBudget& budget);
  explicit HIDPortConfig(const std::u16string& portName) : PortConfig(portName, kHidPort) {}
  ~HIDPortConfig() override = default;
};

}  // namespace devicelib
