// zampack version: files it writes as the device reads them, its listing,
// and what it refuses to write.
#include <algorithm>

#include "platform/text.h"
#include "tests/support/scratch.h"
#include "version/version_info.h"

using testsupport::Quote;

namespace {

class ZampackVersionTest : public testsupport::ScratchTest {
 protected:
  std::string Host(const std::string& name) { return Quote(testsupport::HostPathOf(PathOf(name))); }

  // Its exit code, with standard output and error in `output`, line ends as "\n".
  int Zampack(const std::string& arguments, std::string* output) {
    int code = testsupport::RunProgram("zampack", "version " + arguments + " 2>&1", output);
    output->erase(std::remove(output->begin(), output->end(), '\r'), output->end());
    return code;
  }
};

TEST_F(ZampackVersionTest, WrittenFilesReadOnTheDeviceAndAreListed) {
  std::string output;
  ASSERT_EQ(Zampack("write " + Host("Version.xml") +
                        " --type map --name Alps --part MP-1 --major 3 --minor 5 --date 2024-11-30 --prerelease rc1"
                        " --prerequisite SOFTWARE,Orvanta,,2,10,2024-01-02 --prerequisite ICONS,Set,I-1,1,0,2023-05-06"
                        " --map-name Alpen --category Roads --category Lakes --modified",
                    &output),
            0)
      << output;
  version::CMapVersion map(PathOf("Version.xml"));
  ASSERT_TRUE(map.Read());
  EXPECT_EQ(map.Type, version::MAP);
  EXPECT_EQ(map.Name, u"Alps");
  EXPECT_EQ(map.PartNumber, u"MP-1");
  EXPECT_EQ(map.GetVersionText(), u"3.05 2024-11-30 rc1");
  ASSERT_EQ(map.PrerequisiteCount, 2);
  EXPECT_EQ(map.Prerequisites[0].Name, u"Orvanta");
  EXPECT_EQ(map.Prerequisites[1].Type, version::ICONS);
  EXPECT_EQ(map.Prerequisites[1].GetVersionText(), u"1.00 2023-05-06");
  EXPECT_EQ(map.MapName, u"Alpen");
  EXPECT_TRUE(map.Modified);
  EXPECT_EQ(map.Categories, (std::vector<std::u16string>{u"Roads", u"Lakes"}));

  // A host path outside ASCII, given in UTF-8 as every argument.
  ASSERT_EQ(Zampack("write " + Host("Voz \xE9.xml") + " --type VOICE --name Anna", &output), 0) << output;
  ASSERT_EQ(Zampack("show " + Host("Version.xml") + " " + Host("Voz \xE9.xml"), &output), 0) << output;
  // The listing names files in UTF-8, as it was given them.
  std::string listed = testsupport::HostPathOf(PathOf("Version.xml"));
  std::string folder = listed.substr(0, listed.size() - 11);
  EXPECT_EQ(output, listed + "\tMAP\tAlps\tMP-1\t3.05 2024-11-30 rc1\t2\n" + folder +
                        "Voz \xC3\xA9.xml\tVOICE\tAnna\t\t0.00 0000-00-00\t0\n");
  version::CVersionInfo voice(PathOf("Voz \xE9.xml"));
  ASSERT_TRUE(voice.Read());
  EXPECT_EQ(voice.Name, u"Anna");
}

TEST_F(ZampackVersionTest, WhatTheDeviceCouldNotReadIsRefused) {
  std::string output;
  struct Case {
    std::string arguments;
    std::string message;
  };
  for (const Case& c : std::vector<Case>{
           {"--type VOICE --name \"\"", "--name must not be empty for type VOICE"},
           {"--type VOYCE --name Anna", "--type is not a package type name: VOYCE"},
           {"--type VOICE --name Anna --category Roads", "--category is for type MAP only"},
           {"--type VOICE --name Anna --modified", "--modified is for type MAP only"},
           {"--type VOICE --name Anna --major 1x", "--major is not a whole number: 1x"},
           {"--type VOICE --name Anna --date 2014/07/07", "--date is not a date YYYY-MM-DD: 2014/07/07"},
           {"--type VOICE --name Anna --date 2014-13-01", "--date is not a date YYYY-MM-DD: 2014-13-01"},
           {"--type VOICE --name \"  \"", "--name holds only blanks"},
           {"--type VOICE --name Anna --prerequisite SOFTWARE,Orvanta,,2,10", "--prerequisite needs"},
           {"--type VOICE --name Anna --prerequisite SOFTWARE,,,2,10,2024-01-02",
            "--prerequisite name must not be empty for type SOFTWARE"},
       }) {
    EXPECT_EQ(Zampack("write " + Host("Version.xml") + " " + c.arguments, &output), 1) << c.arguments;
    EXPECT_NE(output.find("zampack version: " + c.message), std::string::npos) << output;
    EXPECT_FALSE(testsupport::Exists(PathOf("Version.xml"))) << c.arguments;
  }
  // A folder that does not exist: the write cannot be read back.
  EXPECT_EQ(Zampack("write " + Host("Missing\\Version.xml") + " --type VOICE --name Anna", &output), 1);
  EXPECT_NE(output.find("cannot write " + testsupport::HostPathOf(PathOf("Missing\\Version.xml")) +
                        ": ERROR_PATH_NOT_FOUND (3)"),
            std::string::npos)
      << output;

  // show names every file the device would refuse, and lists the others.
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Bad.xml"), "<VersionInfo><Name>X</Name></VersionInfo>"));
  ASSERT_EQ(Zampack("write " + Host("Version.xml") + " --type VOICE --name Anna", &output), 0) << output;
  EXPECT_EQ(Zampack("show " + Host("Bad.xml") + " " + Host("Version.xml"), &output), 1);
  EXPECT_NE(output.find(testsupport::HostPathOf(PathOf("Bad.xml")) + ": not a version file the device reads"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("\tVOICE\tAnna\t"), std::string::npos) << output;
}

}  // namespace
