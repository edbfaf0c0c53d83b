// Port configurations read from micro-controller elements: every field of
// both kinds, the reading rules, and how messages and their bytes are built.
#include <gtest/gtest.h>

#include <type_traits>

#include "devicelib/port_config.h"
#include "platform/clock.h"

using namespace devicelib;

namespace {

// Only the owning pointer's deleter can end an object.
static_assert(!std::is_destructible_v<PortConfig>);
static_assert(!std::is_destructible_v<SerialPortConfig>);
static_assert(!std::is_destructible_v<HIDPortConfig>);

const char* const kSerial = R"(
<Controller>
  <Name>Keypad</Name>
  <Type>Serial</Type>
  <Configuration>
    <ID>1F</ID><VID>04d8</VID><PID>000A</PID><MID>7</MID>
    <MessagesMarker>AA</MessagesMarker><MessagesID>55</MessagesID>
    <UsePacketId>TRUE</UsePacketId><UseChecksum>true</UseChecksum>
    <PortNumber>3</PortNumber><BaudRate>115200</BaudRate><ByteSise>8</ByteSise>
    <StopBits>twostopbits</StopBits><Parity>EvenParity</Parity>
    <fParity>true</fParity><fErrorChar>false</fErrorChar><fBinary>True</fBinary>
    <fOutCtsFlow>true</fOutCtsFlow><fOutxDstFlow>true</fOutxDstFlow><fDsrSensitivity>true</fDsrSensitivity>
    <fOutX>true</fOutX><fInX>true</fInX><fNull>true</fNull>
    <fRtsControl>RTS_CONTROL_TOGGLE</fRtsControl><fDtrControl>dtr_control_handshake</fDtrControl>
    <fAbortOnError>true</fAbortOnError><DontUseMessageIDSending>true</DontUseMessageIDSending>
  </Configuration>
  <Messages>
    <Message>
      <ID>10</ID><Name>Buttons</Name><PortDirection>IN</PortDirection><PortType>EVENT</PortType><Length>2</Length>
      <Bytes>
        <Byte><Location>0</Location><Name>State</Name><Default>1FF</Default>
          <Bits><Bit><Location>0</Location><Name>Record</Name></Bit><Bit><Location>3</Location><Name>Play</Name></Bit></Bits>
        </Byte>
        <Byte><Location>1</Location><Name>Wheel</Name><Default>80</Default></Byte>
      </Bytes>
    </Message>
  </Messages>
</Controller>)";

class PortConfigTest : public ::testing::Test {
 protected:
  pugi::xml_node Parse(const char* text) {
    EXPECT_TRUE(document_.load_string(text));
    return document_.first_child();
  }
  // A HID controller holding `messages` inside its "Messages".
  PortConfigPtr WithMessages(const std::string& messages) {
    std::string text = "<C><Type>HID</Type><Configuration/><Messages>" + messages + "</Messages></C>";
    return CreatePortConfig(Parse(text.c_str()));
  }

 private:
  pugi::xml_document document_;
};

TEST_F(PortConfigTest, ASerialControllerIsReadCompletely) {
  PortConfigPtr port = CreatePortConfig(Parse(kSerial));
  ASSERT_TRUE(port);
  EXPECT_TRUE(port->IsConfigured());
  EXPECT_EQ(port->portKind, kSerialPort);
  EXPECT_EQ(port->name, u"Keypad");
  EXPECT_EQ(port->ID, 0x1F);
  EXPECT_EQ(port->VID, 0x4D8);
  EXPECT_EQ(port->PID, 0xA);
  EXPECT_EQ(port->MID, 7);
  EXPECT_EQ(port->MessagesMarker, 0xAA);
  EXPECT_EQ(port->MessagesID, 0x55);
  EXPECT_TRUE(port->UsePacketId);
  EXPECT_TRUE(port->UseChecksum);

  auto* serial = dynamic_cast<SerialPortConfig*>(port.get());
  ASSERT_NE(serial, nullptr);
  EXPECT_EQ(serial->PortNumber, 3);
  EXPECT_EQ(serial->BaudRate, 115200);
  EXPECT_EQ(serial->ByteSize, 8);
  EXPECT_EQ(serial->StopBits, 2);
  EXPECT_EQ(serial->Parity, 2);
  EXPECT_EQ(serial->RtsControl, 3);
  EXPECT_EQ(serial->DtrControl, 2);
  EXPECT_TRUE(serial->fParity);
  EXPECT_FALSE(serial->fErrorChar);
  EXPECT_TRUE(serial->fBinary && serial->fOutCtsFlow && serial->fOutxDstFlow && serial->fDsrSensitivity &&
              serial->fOutX && serial->fInX && serial->fNull && serial->fAbortOnError &&
              serial->DontUseMessageIDSending);

  ASSERT_EQ(port->messages.size(), 1u);
  const PortMessage& message = port->messages.at(0x10);
  EXPECT_EQ(message.ID, 0x10);
  EXPECT_EQ(message.Name, u"Buttons");
  EXPECT_EQ(message.PortDirection, u"IN");
  EXPECT_EQ(message.PortType, u"EVENT");
  EXPECT_EQ(message.leadCount, 1);
  EXPECT_EQ(message.Length, 2);
  const MessageByte& state = message.Bytes.at(0);
  EXPECT_EQ(state.Name, u"State");
  EXPECT_EQ(state.Default, 0xFF);  // cut to 8 bits
  EXPECT_EQ(state.Value, 0xFF);
  ASSERT_EQ(state.Bits.size(), 2u);
  EXPECT_EQ(state.Bits.at(3).Name, u"Play");
  EXPECT_EQ(state.Bits.at(3).Location, 3u);
  EXPECT_EQ(message.Bytes.at(1).Default, 0x80);
  EXPECT_TRUE(port->HasMessage(0x10));
  EXPECT_EQ(port->GetMessageSize(0x10), 3u);
  EXPECT_EQ(port->largestMessageSize, 3u);
}

TEST_F(PortConfigTest, AHidControllerIsReadCompletely) {
  PortConfigPtr port = CreatePortConfig(Parse(R"(
<Pedal><Name>Foot pedal</Name><Type>hId</Type>
  <Configuration><VID>0911</VID><PID>1844</PID><UsagePage>FF00</UsagePage></Configuration>
</Pedal>)"));
  ASSERT_TRUE(port);
  EXPECT_EQ(port->portKind, kHidPort);
  EXPECT_EQ(port->name, u"Foot pedal");
  EXPECT_EQ(port->VID, 0x911);
  EXPECT_EQ(port->PID, 0x1844);
  EXPECT_EQ(port->ID, 0);
  EXPECT_EQ(port->MessagesMarker, -1);  // absent elements keep their start values
  EXPECT_EQ(port->MessagesID, -1);
  EXPECT_FALSE(port->UsePacketId);
  EXPECT_EQ(dynamic_cast<HIDPortConfig&>(*port).UsagePage, 0xFF00);
  EXPECT_TRUE(port->messages.empty());
  EXPECT_EQ(port->largestMessageSize, 0u);
}

TEST_F(PortConfigTest, OnlyAKnownTypeWithAConfigurationGivesAnObject) {
  EXPECT_FALSE(CreatePortConfig(pugi::xml_node()));
  std::uint64_t waited = platform::WaitedMilliseconds();
  EXPECT_FALSE(CreatePortConfig(Parse("<C><Type>USB</Type><Configuration/></C>")));
  EXPECT_FALSE(CreatePortConfig(Parse("<C><Type> SERIAL</Type><Configuration/></C>")));
  EXPECT_EQ(platform::WaitedMilliseconds(), waited) << "nothing was created, nothing released";
  // Without "Configuration" the object is made, its messages read, and released after the pause.
  EXPECT_FALSE(CreatePortConfig(Parse("<C><Type>serial</Type><Messages><M><ID>1</ID></M></Messages></C>")));
  EXPECT_EQ(platform::WaitedMilliseconds(), waited + 10);

  EXPECT_EQ(ParsePortType(u"Hid"), kHidPort);
  EXPECT_EQ(ParsePortType(u""), kNoPort);
  EXPECT_EQ(ParseParity(u"spaceparity"), 4);
  EXPECT_EQ(ParseRtsControl(u"RTS_CONTROL_DISABLE"), 0);
  EXPECT_EQ(ParseDtrControl(u"DTR_CONTROL_TOGGLE"), kUnknownSetting);
  // Only ASCII letters fold, as in the C runtime's "C" locale: a dotless i is not an I.
  EXPECT_EQ(ParsePortType(u"h\u0131d"), kNoPort);
}

TEST_F(PortConfigTest, MissingOrMalformedSettingsReadAsTheirDefaults) {
  PortConfigPtr port = CreatePortConfig(Parse(R"(
<C><Type>SERIAL</Type>
  <Configuration>
    <Parity>EVEN</Parity><UsePacketId>1</UsePacketId><UseChecksum>tRuE</UseChecksum>
    <BaudRate>fast</BaudRate><ByteSize>7</ByteSize><ID>zz</ID><MessagesMarker/>
  </Configuration>
</C>)"));
  ASSERT_TRUE(port);
  auto& serial = dynamic_cast<SerialPortConfig&>(*port);
  EXPECT_EQ(serial.StopBits, kUnknownSetting);
  EXPECT_EQ(serial.Parity, kUnknownSetting);
  EXPECT_EQ(serial.RtsControl, kUnknownSetting);
  EXPECT_FALSE(serial.UsePacketId);
  EXPECT_TRUE(serial.UseChecksum);
  EXPECT_EQ(serial.BaudRate, 0);
  EXPECT_EQ(serial.ByteSize, 0) << "the element is spelt ByteSise";
  EXPECT_EQ(serial.ID, 0);
  EXPECT_EQ(serial.MessagesMarker, 0) << "present but empty reads as 0";
  EXPECT_FALSE(serial.fBinary);
}

TEST_F(PortConfigTest, AMessageIsPaddedToItsDeclaredLengthWithCopiesOfItsLastByte) {
  PortConfigPtr port = WithMessages(R"(
<M><ID>20</ID><Length>4</Length><Bytes>
  <B><Location>2</Location><Name>Level</Name><Default>3C</Default><Bits><X><Location>1</Location><Name>On</Name></X></Bits></B>
  <B><Location>1</Location><Name>Mode</Name><Default>1</Default></B>
</Bytes></M>)");
  ASSERT_TRUE(port);
  const PortMessage& message = port->messages.at(0x20);
  ASSERT_EQ(message.Bytes.size(), 4u);
  for (std::uint32_t location : {3u, 4u}) {
    const MessageByte& copy = message.Bytes.at(location);
    EXPECT_EQ(copy.Location, location);
    EXPECT_EQ(copy.Name, u"Level");
    EXPECT_EQ(copy.Default, 0x3C);
    EXPECT_EQ(copy.Value, 0x3C);
    EXPECT_TRUE(copy.Bits.empty());
  }
  EXPECT_EQ(message.Length, 4);
  EXPECT_EQ(port->GetMessageSize(0x20), 5u);

  pugi::xml_document other;
  ASSERT_TRUE(other.load_string("<M><Bytes><B><Location>1</Location></B><B><Location>2</Location></B></Bytes></M>"));
  std::map<std::uint32_t, MessageByte> bytes;
  EXPECT_EQ(port->ReadBytes(other.first_child(), bytes, 4), 4u);
  EXPECT_EQ(bytes.size(), 4u);
  bytes.clear();
  EXPECT_EQ(port->ReadBytes(other.first_child(), bytes, 1), 2u) << "more bytes listed than declared";
  EXPECT_EQ(port->ReadBytes(pugi::xml_node(), bytes, 4), 0u);
}

TEST_F(PortConfigTest, ListedBytesBeyondTheLengthAndMessagesWithoutBytesCountAsTheyAre) {
  PortConfigPtr port = WithMessages(R"(
<M><ID>1</ID><Length>2</Length><Bytes><B><Location>0</Location></B><B><Location>1</Location></B><B><Location>2</Location></B></Bytes></M>
<M><ID>2</ID><Length>2</Length></M>
<M><ID>3</ID></M>)");
  ASSERT_TRUE(port);
  EXPECT_EQ(port->messages.at(1).Length, 3);
  const PortMessage& bare = port->messages.at(2);
  EXPECT_EQ(bare.Length, 2);
  ASSERT_EQ(bare.Bytes.size(), 3u);
  for (const auto& [location, byte] : bare.Bytes) {
    EXPECT_EQ(byte.Location, location);
    EXPECT_TRUE(byte.Name.empty());
    EXPECT_EQ(byte.Default, 0);
  }
  EXPECT_EQ(bare.Bytes.begin()->first, 0u);
  // Nothing declared, nothing listed: the empty record at 0 and no data bytes.
  EXPECT_EQ(port->messages.at(3).Length, 0);
  EXPECT_EQ(port->messages.at(3).Bytes.size(), 1u);
  EXPECT_EQ(port->GetMessageSize(3), 1u);
  EXPECT_EQ(port->largestMessageSize, 4u);
}

TEST_F(PortConfigTest, IdsAreThirtyTwoBitsButLookedUpWithEight) {
  PortConfigPtr port = WithMessages("<M><ID>1FF</ID><Length>1</Length></M>");
  ASSERT_TRUE(port);
  ASSERT_EQ(port->messages.count(0x1FF), 1u);
  EXPECT_EQ(port->messages.at(0x1FF).ID, 0x1FF);
  for (int id = 0; id < 256; ++id) {
    EXPECT_FALSE(port->HasMessage(static_cast<std::uint8_t>(id)));
    EXPECT_EQ(port->GetMessageSize(static_cast<std::uint8_t>(id)), 0u);
  }
  EXPECT_EQ(port->largestMessageSize, 2u);
}

TEST_F(PortConfigTest, TwoMessagesWithOneIdMergeIntoTheLaterOne) {
  PortConfigPtr port = WithMessages(R"(
<M><ID>5</ID><Name>First</Name><PortDirection>OUT</PortDirection><Length>2</Length>
  <Bytes><B><Location>0</Location><Name>A</Name></B><B><Location>1</Location><Name>B</Name></B></Bytes></M>
<M><ID>05</ID><Name>Second</Name><Length>1</Length>
  <Bytes><B><Location>1</Location><Name>C</Name><Default>9</Default></B></Bytes></M>)");
  ASSERT_TRUE(port);
  ASSERT_EQ(port->messages.size(), 1u);
  const PortMessage& message = port->messages.at(5);
  EXPECT_EQ(message.Name, u"Second");
  EXPECT_EQ(message.PortDirection, u"") << "the later message has none";
  EXPECT_EQ(message.Length, 1);
  ASSERT_EQ(message.Bytes.size(), 2u);
  EXPECT_EQ(message.Bytes.at(0).Name, u"A");
  EXPECT_EQ(message.Bytes.at(1).Name, u"C");
  EXPECT_EQ(message.Bytes.at(1).Default, 9);
  EXPECT_EQ(port->GetMessageSize(5), 2u);
}

TEST_F(PortConfigTest, AMissingTextIsEmptyNotTheTextReadBeforeIt) {
  PortConfigPtr port = WithMessages(R"(
<M><ID>7</ID><Name>Led</Name><PortType>COMMAND</PortType><Length>3</Length>
  <Bytes>
    <B><Location>0</Location><Name>Colour</Name><Bits><X><Location>0</Location><Name>Red</Name></X><X><Location>1</Location></X></Bits></B>
    <B><Location>1</Location><Name></Name></B>
  </Bytes></M>)");
  ASSERT_TRUE(port);
  const PortMessage& message = port->messages.at(7);
  EXPECT_EQ(message.Name, u"Led");
  EXPECT_EQ(message.PortDirection, u"");
  EXPECT_EQ(message.PortType, u"COMMAND");
  EXPECT_EQ(message.Bytes.at(0).Bits.at(1).Name, u"");
  EXPECT_EQ(message.Bytes.at(1).Name, u"");
  EXPECT_EQ(message.Bytes.at(2).Name, u"") << "copied from location 1";
}

TEST_F(PortConfigTest, ALengthNoControllerCouldUseReadsAsZero) {
  PortConfigPtr port = WithMessages(R"(
<M><ID>1</ID><Length>7FFFFFFF</Length><Bytes><B><Location>0</Location></B></Bytes></M>
<M><ID>2</ID><Length>-1</Length></M>
<M><ID>3</ID><Length>400</Length></M>
<M><ID>4</ID><Length>401</Length></M>)");
  ASSERT_TRUE(port);
  EXPECT_EQ(port->GetMessageSize(1), 2u);
  EXPECT_EQ(port->messages.at(1).Bytes.size(), 1u);
  EXPECT_EQ(port->GetMessageSize(2), 1u);
  EXPECT_EQ(port->GetMessageSize(3), kMaxMessageLength + 1);
  EXPECT_EQ(port->GetMessageSize(4), 1u);
  EXPECT_EQ(port->largestMessageSize, kMaxMessageLength + 1);
}

TEST_F(PortConfigTest, PaddingThatWouldWrapOrGoBeyondTheBudgetRefusesThePort) {
  // Location -1 is 4294967295: padding after it would overwrite location 0.
  EXPECT_FALSE(WithMessages("<M><ID>1</ID><Length>3</Length><Bytes><B><Location>-1</Location></B></Bytes></M>"));
  PortConfigPtr top = WithMessages("<M><ID>1</ID><Length>3</Length><Bytes><B><Location>-3</Location></B></Bytes></M>");
  ASSERT_TRUE(top);
  EXPECT_EQ(top->messages.at(1).Bytes.rbegin()->first, 0xFFFFFFFFu);
  EXPECT_EQ(top->messages.at(1).Bytes.count(0), 0u);

  // One listed byte and seven copies: eight records.
  pugi::xml_node element = Parse(
      "<C><Type>HID</Type><Configuration/><Messages><M><ID>1</ID><Length>8</Length>"
      "<Bytes><B><Location>0</Location></B></Bytes></M></Messages></C>");
  ByteBudget enough{8, false};
  EXPECT_TRUE(CreatePortConfig(element, enough));
  EXPECT_EQ(enough.remaining, 0u);
  EXPECT_FALSE(enough.exceeded);
  ByteBudget short_{7, false};
  EXPECT_FALSE(CreatePortConfig(element, short_));
  EXPECT_TRUE(short_.exceeded);
}

TEST_F(PortConfigTest, ReadingAgainReplacesTheMessages) {
  PortConfigPtr port = WithMessages("<M><ID>1</ID><Length>1</Length></M><M><ID>2</ID><Length>9</Length></M>");
  ASSERT_TRUE(port);
  pugi::xml_document again;
  ASSERT_TRUE(again.load_string("<C><Configuration><UsagePage>C</UsagePage></Configuration>"
                                "<Messages><M><ID>3</ID></M></Messages></C>"));
  EXPECT_TRUE(port->ReadConfiguration(again.first_child()));
  EXPECT_FALSE(port->HasMessage(1));
  EXPECT_TRUE(port->HasMessage(3));
  EXPECT_EQ(port->largestMessageSize, 1u);
  EXPECT_EQ(dynamic_cast<HIDPortConfig&>(*port).UsagePage, 0xC);

  pugi::xml_document bare;
  ASSERT_TRUE(bare.load_string("<C><Configuration/></C>"));
  EXPECT_FALSE(port->ReadMessages(bare.first_child()));
  EXPECT_TRUE(port->messages.empty());
  EXPECT_FALSE(port->ReadConfiguration(pugi::xml_node()));
  EXPECT_FALSE(port->IsConfigured());
}

}  // namespace
