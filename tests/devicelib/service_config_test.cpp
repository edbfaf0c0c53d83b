// The service configuration file: what Load accepts, the ports it keeps, the
// answers over all ports, and the pauses when the configuration ends.
#include <type_traits>

#include "devicelib/service_config.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "tests/support/scratch.h"

using namespace devicelib;
using testsupport::WriteBytes;

namespace {

static_assert(!std::is_destructible_v<ServiceConfig>);

std::string Controller(const std::string& name, const std::string& type, const std::string& messages,
                       bool configured = true) {
  return "<" + name + "><Name>" + name + "</Name><Type>" + type + "</Type>" +
         (configured ? "<Configuration><ID>1</ID></Configuration>" : "") + "<Messages>" + messages +
         "</Messages></" + name + ">";
}

std::string Message(const std::string& id, const std::string& length) {
  return "<M><ID>" + id + "</ID><Length>" + length + "</Length></M>";
}

class ServiceConfigTest : public testsupport::ScratchTest {
 protected:
  // Writes `text` to a file in the scratch folder and loads it.
  ServiceConfigPtr LoadText(const std::string& text) {
    EXPECT_TRUE(WriteBytes(PathOf("ZAMService.xml"), text));
    return CreateServiceConfig(File());
  }
  std::u16string File() { return platform::NarrowToWide(PathOf("ZAMService.xml")); }
};

TEST_F(ServiceConfigTest, AWholeFileGivesItsTextsAndPortsInFileOrder) {
  ServiceConfigPtr config = LoadText(
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Settings>\n"
      "<Configuration><TouchScreen>"
      "<Directory>C:\\Program Files\\Touch</Directory><Executable>TouchKit.exe</Executable>"
      "<KickCommand>/kick</KickCommand><CalibrateCommand>/calibrate caf\xC3\xA9</CalibrateCommand>"
      "</TouchScreen></Configuration>\n<MicroControllers>\n" +
      Controller("Keypad", "SERIAL", Message("10", "2") + Message("11", "0")) +
      Controller("Printer", "FAX", Message("12", "1")) +
      Controller("Pedal", "HID", Message("11", "3") + Message("12", "5")) +
      Controller("Bare", "HID", Message("13", "1"), false) + "</MicroControllers></Settings>");
  EXPECT_EQ(config->Directory, "C:\\Program Files\\Touch");
  EXPECT_EQ(config->Executable, "TouchKit.exe");
  EXPECT_EQ(config->KickCommand, "/kick");
  EXPECT_EQ(config->CalibrateCommand, "/calibrate caf\xE9");  // narrow: the device's code page
  ASSERT_EQ(config->ports.size(), 2u);
  EXPECT_EQ(config->ports[0]->name, u"Keypad");
  EXPECT_EQ(config->ports[1]->name, u"Pedal");

  EXPECT_TRUE(config->HasMessage(0x10));
  EXPECT_TRUE(config->HasMessage(0x12));
  EXPECT_FALSE(config->HasMessage(0x13)) << "the controller without Configuration was dropped";
  EXPECT_EQ(config->GetMessageSize(0x10), 3u);
  EXPECT_EQ(config->GetMessageSize(0x11), 1u) << "the first port answers first";
  EXPECT_EQ(config->GetMessageSize(0x12), 6u);
  EXPECT_EQ(config->GetMessageSize(0x13), 0u);
  EXPECT_TRUE(config->Load()) << "a second Load appends the ports again";
  EXPECT_EQ(config->ports.size(), 4u);
  EXPECT_EQ(config->ports[2]->name, u"Keypad");
}

TEST_F(ServiceConfigTest, AnEmptyControllerListAndAMissingTouchScreenStillLoad) {
  ServiceConfigPtr config = LoadText("<Settings><MicroControllers/></Settings>");
  EXPECT_TRUE(config->ports.empty());
  EXPECT_TRUE(config->Load());
  for (int id = 0; id < 256; ++id) {
    EXPECT_FALSE(config->HasMessage(static_cast<std::uint8_t>(id)));
    EXPECT_EQ(config->GetMessageSize(static_cast<std::uint8_t>(id)), 0u);
  }

  config = LoadText("<Settings><MicroControllers>" + Controller("A", "serial", Message("1", "1")) +
                    "</MicroControllers></Settings>");
  EXPECT_TRUE(config->Load());
  EXPECT_TRUE(config->Directory.empty() && config->Executable.empty() && config->KickCommand.empty() &&
              config->CalibrateCommand.empty());
  EXPECT_EQ(config->ports.size(), 2u);
}

TEST_F(ServiceConfigTest, LoadFailsWithoutAReadableSettingsAndControllerList) {
  ServiceConfigPtr missing = CreateServiceConfig(u"C:\\scratch\\none.xml");
  ASSERT_TRUE(missing) << "the object exists whatever Load answered";
  EXPECT_FALSE(missing->Load());
  EXPECT_FALSE(CreateServiceConfig(u"")->Load());
  EXPECT_FALSE(CreateServiceConfig(u"C:\\scratch\\\u0416.xml")->Load()) << "no narrow form";
  EXPECT_FALSE(LoadText("<Settings><MicroControllers>")->Load());
  EXPECT_FALSE(LoadText("<Config><MicroControllers/></Config>")->Load());

  // The texts come before the controller list and stay when it is missing.
  ServiceConfigPtr partial = LoadText(
      "<Settings><Configuration><TouchScreen><Executable>t.exe</Executable></TouchScreen></Configuration></Settings>");
  EXPECT_EQ(partial->Executable, "t.exe");
  EXPECT_FALSE(partial->Load());
  EXPECT_TRUE(partial->ports.empty());
}

// 200 ports of 25 messages that each declare 1024 bytes and list none: a
// file of about 200 KB that would ask for five million byte records.
TEST_F(ServiceConfigTest, AFileWhoseMessagesAskForMoreByteRecordsThanTheBoundIsRefused) {
  std::string controllers;
  for (int port = 0; port < 200; ++port) {
    std::string messages;
    for (int id = 0; id < 25; ++id) messages += Message(std::to_string(id), "400");
    controllers += Controller("P" + std::to_string(port), "HID", messages);
  }
  std::string text = "<Settings><MicroControllers>" + controllers + "</MicroControllers></Settings>";
  ASSERT_GT(text.size(), 190000u);
  bool loaded = true;
  ASSERT_TRUE(WriteBytes(PathOf("ZAMService.xml"), text));
  ServiceConfigPtr config = CreateServiceConfig(File(), &loaded);
  EXPECT_FALSE(loaded);
  std::size_t records = 0;
  for (const PortConfigPtr& port : config->ports) {
    for (const auto& [id, message] : port->messages) records += message.Bytes.size();
  }
  EXPECT_EQ(config->ports.size(), 2u) << "the ports read before the bound was reached";
  EXPECT_LE(records, kMaxConfigurationBytes);
}

TEST_F(ServiceConfigTest, AUtf16FileIsDetectedAndReloadingOverwritesTheTexts) {
  std::u16string text = u"\uFEFF<Settings><Configuration><TouchScreen><Directory>D:\\\u00C9cran</Directory>"
                        u"<Executable>\u0416.exe</Executable></TouchScreen></Configuration>"
                        u"<MicroControllers/></Settings>";
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  ServiceConfigPtr config = LoadText(bytes);
  EXPECT_TRUE(config->Load());
  EXPECT_EQ(config->Directory, "D:\\\xC9" "cran");
  EXPECT_EQ(config->Executable, "") << "no narrow form";

  ASSERT_TRUE(WriteBytes(PathOf("ZAMService.xml"),
                         "<Settings><Configuration><TouchScreen/></Configuration><MicroControllers/></Settings>"));
  EXPECT_TRUE(config->Load());
  EXPECT_EQ(config->Directory, "");
}

TEST_F(ServiceConfigTest, EndingAConfigurationReleasesEachPortAfterAPause) {
  ServiceConfigPtr config = LoadText("<Settings><MicroControllers>" + Controller("A", "HID", "") +
                                     Controller("B", "SERIAL", "") + Controller("C", "HID", "") +
                                     "</MicroControllers></Settings>");
  ASSERT_EQ(config->ports.size(), 3u);
  std::uint64_t before = platform::WaitedMilliseconds();
  config.reset();
  EXPECT_GE(platform::WaitedMilliseconds() - before, 30u);
}

}  // namespace
