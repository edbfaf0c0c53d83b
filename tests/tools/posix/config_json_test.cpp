// zampack config show --json, read by a second tool: python3's json module
// takes the document, and a short script checks what it holds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "tests/support/scratch.h"

namespace fs = std::filesystem;

namespace {

class ConfigJsonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = fs::temp_directory_path() / ("config-json-" + std::to_string(std::random_device{}()));
    fs::create_directories(host_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(host_, ignored);
  }

  // zampack's JSON for `file`, handed to python3 with `script`; python's exit
  // code, and what it printed in `printed`.
  int Check(const std::string& file, const std::string& script, std::string* printed) {
    std::string json = (host_ / "out.json").string();
    // A time scale that would stretch the device library's 10 ms pause per
    // released port to minutes: showing a file does not pause.
    std::string command = "ORVANTA_SIM_TIME_SCALE=100000 " + testsupport::Quote(ZAMPACK) + " config show --json " + testsupport::Quote(file) + " > " +
                          testsupport::Quote(json);
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::ofstream(host_ / "check.py") << "import json, sys\nd = json.load(open(sys.argv[1], encoding='utf-8'))\n"
                                      << script;
    std::string run = "python3 " + testsupport::Quote((host_ / "check.py").string()) + " " +
                      testsupport::Quote(json) + " > " + testsupport::Quote((host_ / "printed").string()) + " 2>&1";
    int status = std::system(run.c_str());
    std::ifstream in(host_ / "printed", std::ios::binary);
    *printed = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return status >= 256 ? status >> 8 : status;
  }

  fs::path host_;
};

TEST_F(ConfigJsonTest, TheHandWrittenConfigurationReadsBackInASecondTool) {
  std::string printed;
  ASSERT_EQ(Check(std::string(ORVANTA_TOOLS_DATA) + "/ZAMService.xml",
                  "t = d['touchScreen']\n"
                  "print(t['Directory'], '|', t['CalibrateCommand'])\n"
                  "for p in d['ports']:\n"
                  "    print(p['kind'], p['name'], p['ID'], p['VID'], p['MID'], p['MessagesMarker'], "
                  "p['largestMessageSize'], p.get('serial', {}).get('BaudRate'), p.get('hid', {}).get('UsagePage'))\n"
                  "    for m in p['messages']:\n"
                  "        print(' ', hex(m['id']), m['name'], m['direction'], m['type'], m['size'], m['length'],\n"
                  "              [(b['location'], b['name'], b['default'], [x['name'] for x in b['bits']]) for b in "
                  "m['bytes']])\n"
                  "print([(x['position'], x['element'], x['reason']) for x in d['dropped']])\n",
                  &printed),
            0)
      << printed;
  EXPECT_EQ(printed,
            "C:\\Program Files\\eGalaxTouch | /calibrate /ui=\xC3\x89" "cran\n"
            "SERIAL Keypad controller 1 0 42 170 4 57600 None\n"
            "  0x10 KeyState IN EVENT 4 3 [(0, 'Keys', 0, ['Record', 'Play', 'Rewind']), (1, 'Slider', 128, []), "
            "(2, 'Slider', 128, [])]\n"
            "  0x20 SetLed OUT COMMAND 2 1 [(0, 'Colour', 2, [])]\n"
            "HID Foot pedal 0 2321 0 -1 3 None 65280\n"
            "  0x1 Pedals IN REPORT 3 2 [(0, '', 0, []), (1, '', 0, []), (2, '', 0, [])]\n"
            "[(3, 'Barcode', 'unknown Type \"I2C\" (SERIAL or HID)')]\n");
}

TEST_F(ConfigJsonTest, TextsNeedingEscapesAndWideIdsStayValidJson) {
  std::string file = (host_ / "odd.xml").string();
  std::ofstream(file) << "<Settings><Configuration><TouchScreen><Directory>C:\\\"q\"\t&#1;</Directory>"
                         "</TouchScreen></Configuration><MicroControllers>"
                         "<D><Name>back\\slash \xE2\x82\xAC</Name><Type>HID</Type><Configuration/>"
                         "<Messages><M><ID>1FF</ID></M></Messages></D></MicroControllers></Settings>";
  std::string printed;
  ASSERT_EQ(Check(file,
                  "print(repr(d['touchScreen']['Directory']))\n"
                  "p = d['ports'][0]\n"
                  "print(p['name'], p['messages'][0]['id'], p['messages'][0]['size'])\n",
                  &printed),
            0)
      << printed;
  // The euro sign has no narrow form on the device, but port names stay wide.
  EXPECT_EQ(printed, "'C:\\\\\"q\"\\t\\x01'\nback\\slash \xE2\x82\xAC 511 None\n");
}

}  // namespace
