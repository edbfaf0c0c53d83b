// zampack config show: a configuration written by hand, as the device
// library reads it, and the reasons it gives when the library cannot.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "tests/support/scratch.h"

namespace fs = std::filesystem;

namespace {

class ConfigShowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = fs::temp_directory_path() / ("config-show-" + std::to_string(std::random_device{}()));
    fs::create_directories(host_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(host_, ignored);
  }

  static std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static std::string WithoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
  }

  // A file in the test's folder, named as zampack is given it.
  std::string Put(const std::string& name, const std::string& content) {
    std::ofstream(host_ / name, std::ios::binary) << content;
    return (host_ / name).string();
  }

  // Runs zampack with `arguments`; its exit code, standard output and error.
  int Zampack(const std::string& arguments) {
    // The command must not begin with a quote, which cmd would strip.
    std::string command = "cd . && " + testsupport::Quote(ZAMPACK) + " " + arguments + " > " +
                          testsupport::Quote((host_ / "out").string()) + " 2> " +
                          testsupport::Quote((host_ / "err").string());
    int status = std::system(command.c_str());
    // Windows' text-mode output ends lines with CR LF.
    out_ = WithoutCarriageReturns(Slurp(host_ / "out"));
    err_ = WithoutCarriageReturns(Slurp(host_ / "err"));
    return status >= 256 ? status >> 8 : status;
  }

  fs::path host_;
  std::string out_;
  std::string err_;
};

const std::string kHandWritten = std::string(ORVANTA_TOOLS_DATA) + "/ZAMService.xml";

TEST_F(ConfigShowTest, AHandWrittenConfigurationIsShownAsTheDeviceReadsIt) {
  ASSERT_EQ(Zampack("config show " + testsupport::Quote(kHandWritten)), 0) << err_;
  for (const char* expected : {
           "  Directory         C:\\Program Files\\eGalaxTouch\n",
           "  CalibrateCommand  /calibrate /ui=\xC3\x89" "cran\n",
           "Port 1: SERIAL \"Keypad controller\"\n"
           "  ID 0x1  VID 0x0  PID 0x0  MID 0x2A\n"
           "  MessagesMarker 0xAA  MessagesID 0x1  UsePacketId true  UseChecksum true\n"
           "  PortNumber 3  BaudRate 57600  ByteSize 8  StopBits ONESTOPBIT (0)  Parity NOPARITY (0)\n",
           "  Message 0x10 \"KeyState\"  direction IN  type EVENT  size 4  Length 3\n"
           "    byte 0 \"Keys\" default 0x0\n"
           "      bit 0 \"Record\"\n",
           "    byte 1 \"Slider\" default 0x80\n"
           "    byte 2 \"Slider\" default 0x80\n"
           "  Message 0x20 \"SetLed\"  direction OUT  type COMMAND  size 2  Length 1\n",
           "Port 2: HID \"Foot pedal\"\n",
           "  MessagesMarker -1  MessagesID -1",
           "  UsagePage 0xFF00\n",
           "Dropped: controller 3 <Barcode> \"Barcode reader\": unknown Type \"I2C\" (SERIAL or HID)\n",
       }) {
    EXPECT_NE(out_.find(expected), std::string::npos) << "missing:\n" << expected << "\nin:\n" << out_;
  }
  EXPECT_EQ(out_.find("Port 3"), std::string::npos);
  EXPECT_EQ(err_, "");
}

TEST_F(ConfigShowTest, AFileTheLibraryCannotLoadExitsWithOneAndTheReason) {
  EXPECT_EQ(Zampack("config show " + testsupport::Quote((host_ / "none.xml").string())), 1);
  EXPECT_NE(err_.find("cannot open the file (ERROR_FILE_NOT_FOUND (2))"), std::string::npos) << err_;
  EXPECT_EQ(out_, "");
  EXPECT_EQ(Zampack("config show " + testsupport::Quote(Put("a.xml", "<Settings><MicroControllers>"))), 1);
  EXPECT_NE(err_.find("not a readable XML document"), std::string::npos) << err_;
  EXPECT_EQ(Zampack("config show --json " + testsupport::Quote(Put("b.xml", "<Config/>"))), 1);
  EXPECT_NE(err_.find("no \"Settings\" root element"), std::string::npos) << err_;
  EXPECT_EQ(Zampack("config show " + testsupport::Quote(Put("c.xml", "<Settings><Configuration/></Settings>"))), 1);
  EXPECT_NE(err_.find("\"Settings\" has no \"MicroControllers\" element"), std::string::npos) << err_;
  EXPECT_EQ(out_, "");
  std::string padded = "<Settings><MicroControllers><P><Type>HID</Type><Configuration/><Messages>";
  for (int id = 0; id < 65; ++id) padded += "<M><ID>" + std::to_string(id) + "</ID><Length>400</Length></M>";
  padded += "</Messages></P></MicroControllers></Settings>";
  EXPECT_EQ(Zampack("config show " + testsupport::Quote(Put("e.xml", padded))), 1);
  EXPECT_NE(err_.find("its messages describe more than 65536 bytes"), std::string::npos) << err_;

  EXPECT_EQ(Zampack("config list x.xml"), 2);
  EXPECT_EQ(Zampack("config show"), 2);
  EXPECT_NE(err_.find("usage: zampack config show [--json] FILE"), std::string::npos);
}

TEST_F(ConfigShowTest, WideIdsAndControllersWithoutConfigurationAreCalledOut) {
  std::string file = Put("d.xml",
                         "<Settings><MicroControllers>"
                         "<Lamp><Name>Lamp</Name><Type>HID</Type></Lamp>"
                         "<Dial><Name>Dial</Name><Type>Serial</Type><Configuration/>"
                         "<Messages><M><ID>1FF</ID><Name>Wide</Name></M></Messages></Dial>"
                         "<Knob><Name>Knob</Name><Type>HID</Type><Configuration/><Messages><M><Length>3</Length>"
                         "<Bytes><B><Location>-1</Location></B></Bytes></M></Messages></Knob>"
                         "</MicroControllers></Settings>");
  ASSERT_EQ(Zampack("config show " + testsupport::Quote(file)), 0) << err_;
  EXPECT_NE(out_.find("  Message 0x1FF \"Wide\"  direction   type   size - (never found: ids are looked up in 8 bits)"),
            std::string::npos)
      << out_;
  EXPECT_NE(out_.find("Dropped: controller 1 <Lamp> \"Lamp\": no Configuration element\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find("Dropped: controller 3 <Knob> \"Knob\": a byte Location so large that the padding after it "
                      "would wrap round to location 0\n"),
            std::string::npos)
      << out_;
  EXPECT_NE(out_.find("  StopBits unknown (255)"), std::string::npos) << out_;
}

}  // namespace
