// The version file on disk: the exact bytes written, what a read accepts and
// refuses, files from other writers, and saving over an old file.
#include <cstdlib>

#include "platform/fault.h"
#include "platform/file.h"
#include "platform/restart.h"
#include "platform/text.h"
#include "tests/support/scratch.h"
#include "version/version_info.h"

using namespace version;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

using testsupport::Utf16Le;

// A UTF-16LE file: the byte-order mark, then the text.
std::string Utf16File(const std::u16string& text) { return "\xFF\xFE" + Utf16Le(text); }

VersionNumber Version(int major, int minor, int year, int month, int day, const std::u16string& preRelease = u"") {
  return VersionNumber(major, minor, preRelease, VersionDate(year, month, day).date);
}

class VersionFileTest : public testsupport::ScratchTest {
 protected:
  void TearDown() override {
    platform::ClearFaults();
    ScratchTest::TearDown();
  }

  std::u16string File() const { return platform::NarrowToWide(PathOf("Version.xml")); }

  // A UTF-8 version file whose root holds `body`.
  void WriteFile(const std::string& body) {
    ASSERT_TRUE(WriteBytes(PathOf("Version.xml"), "<?xml version=\"1.0\"?>\n<VersionInfo version=\"1.05_2014-07-07\">" +
                                                      body + "</VersionInfo>\n"));
  }

  static std::string Data(const std::string& major = "1", const std::string& minor = "5",
                          const std::string& date = "2014-07-07") {
    return "<VersionData><MajorVersion>" + major + "</MajorVersion><MinorVersion>" + minor +
           "</MinorVersion><Date>" + date + "</Date><PreRelease/></VersionData>";
  }
};

const char16_t kMapFile[] =
    u"<?xml version=\"1.0\" encoding=\"utf-16\"?>\n"
    u"<VersionInfo version=\"1.05_2014-07-07\" xmlns=\"https://schemas.colmarte.com/xsd/Version\" "
    u"xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    u"xsi:schemaLocation=\"xmlns https://schemas.colmarte.com/xsd/Version_1.05_2014-07-07.xsd\">\n"
    u"\t<Name>Alpen &amp; Seen</Name>\n"
    u"\t<Type>MAP</Type>\n"
    u"\t<PartNumber>MP-7</PartNumber>\n"
    u"\t<VersionData>\n"
    u"\t\t<MajorVersion>3</MajorVersion>\n"
    u"\t\t<MinorVersion>5</MinorVersion>\n"
    u"\t\t<Date>2024-11-30</Date>\n"
    u"\t\t<PreRelease>rc&lt;2&gt;</PreRelease>\n"
    u"\t</VersionData>\n"
    u"\t<PrerequisiteData>\n"
    u"\t\t<Prerequisite>\n"
    u"\t\t\t<Name>Orvanta</Name>\n"
    u"\t\t\t<Type>SOFTWARE</Type>\n"
    u"\t\t\t<PartNumber></PartNumber>\n"
    u"\t\t\t<VersionData>\n"
    u"\t\t\t\t<MajorVersion>2</MajorVersion>\n"
    u"\t\t\t\t<MinorVersion>10</MinorVersion>\n"
    u"\t\t\t\t<Date>2024-01-02</Date>\n"
    u"\t\t\t\t<PreRelease></PreRelease>\n"
    u"\t\t\t</VersionData>\n"
    u"\t\t</Prerequisite>\n"
    u"\t\t<Prerequisite>\n"
    u"\t\t\t<Name>Stra\u00DFen \u201Cs\u00FCd\u201D</Name>\n"
    u"\t\t\t<Type>ICONS</Type>\n"
    u"\t\t\t<PartNumber>IC-1</PartNumber>\n"
    u"\t\t\t<VersionData>\n"
    u"\t\t\t\t<MajorVersion>0</MajorVersion>\n"
    u"\t\t\t\t<MinorVersion>0</MinorVersion>\n"
    u"\t\t\t\t<Date>0000-00-00</Date>\n"
    u"\t\t\t\t<PreRelease></PreRelease>\n"
    u"\t\t\t</VersionData>\n"
    u"\t\t</Prerequisite>\n"
    u"\t</PrerequisiteData>\n"
    u"\t<MapInfoData>\n"
    u"\t\t<MapName>Alps \"2024\"</MapName>\n"
    u"\t\t<Modified>true</Modified>\n"
    u"\t\t<Categories>\n"
    u"\t\t\t<Category>Roads</Category>\n"
    u"\t\t\t<Category>Lakes</Category>\n"
    u"\t\t</Categories>\n"
    u"\t</MapInfoData>\n"
    u"</VersionInfo>\n";

TEST_F(VersionFileTest, AMapRecordIsWrittenByteForByteAndReadsBackToTheSameRecord) {
  CMapVersion map(File(), u"Alpen & Seen");
  map.SetPartNumber(u"MP-7");
  map.SetVersionData(Version(3, 5, 2024, 11, 30, u"rc<2>"));
  CVersionInfo software(u"", u"Orvanta");
  software.Type = SOFTWARE;
  software.SetVersionData(Version(2, 10, 2024, 1, 2));
  CVersionInfo icons(u"", u"Stra\u00DFen \u201Cs\u00FCd\u201D");
  icons.Type = ICONS;
  icons.SetPartNumber(u"IC-1");  // no version: written as zero and kept
  CVersionInfo unused(u"", u"Beyond the count");
  map.Prerequisites = {software, icons, unused};
  map.PrerequisiteCount = 2;
  map.MapName = u"Alps \"2024\"";
  map.Modified = true;
  map.Categories = {u"Roads", u"", u"Lakes"};
  map.Write();

  std::string written = ReadBytes(PathOf("Version.xml"));
  EXPECT_EQ(written, Utf16File(kMapFile));
  ASSERT_TRUE(map.Prerequisites[1].VersionData);
  EXPECT_EQ(map.Prerequisites[1].VersionData->GetFileText(), u"0.00_0000-00-00");
  ASSERT_TRUE(map.FormatVersion);
  EXPECT_EQ(map.FormatVersion->GetFileText(), u"1.05_2014-07-07");

  CMapVersion read(File());
  ASSERT_TRUE(read.Read());
  EXPECT_EQ(read.Type, MAP);
  EXPECT_EQ(read.Name, u"Alpen & Seen");
  EXPECT_EQ(read.PartNumber, u"MP-7");
  ASSERT_TRUE(read.VersionData);
  EXPECT_EQ(read.GetVersionText(), u"3.05 2024-11-30 rc<2>");
  ASSERT_TRUE(read.FormatVersion);
  EXPECT_EQ(read.FormatVersion->GetFileText(), u"1.05_2014-07-07");
  ASSERT_EQ(read.PrerequisiteCount, 2);
  EXPECT_EQ(CompareRecords(read.Prerequisites[0], software), 0);
  EXPECT_EQ(read.Prerequisites[1].Name, icons.Name);
  EXPECT_EQ(read.Prerequisites[1].PartNumber, u"IC-1");
  EXPECT_EQ(read.MapName, u"Alps \"2024\"");
  EXPECT_TRUE(read.Modified);
  EXPECT_EQ(read.Categories, (std::vector<std::u16string>{u"Roads", u"Lakes"}));

  // Writing what was read gives the same bytes again.
  ASSERT_TRUE(platform::RemoveFile(PathOf("Version.xml")));
  read.Write();
  EXPECT_EQ(ReadBytes(PathOf("Version.xml")), written);
}

TEST_F(VersionFileTest, TheTypeDecidesWhetherAnEntryWithoutNameIsAccepted) {
  // A map needs no name, and the type name is matched without case.
  WriteFile("<Name></Name><Type>map</Type>" + Data() + "<PrerequisiteData/>");
  CVersionInfo record(File());
  EXPECT_TRUE(record.Read());
  EXPECT_EQ(record.Type, MAP);

  WriteFile("<Name>X</Name>" + Data() + "<PrerequisiteData/>");
  EXPECT_TRUE(record.Read());
  EXPECT_EQ(record.Type, UNKNOWN);

  // Unknown type name: refused, with what was read before kept.
  WriteFile("<Name>X</Name><Type>FOO</Type><PartNumber>P</PartNumber>" + Data() + "<PrerequisiteData/>");
  EXPECT_FALSE(record.Read());
  EXPECT_EQ(record.Type, NoPackageType);
  EXPECT_EQ(record.Name, u"X");

  WriteFile("<Type>VOICE</Type>" + Data() + "<PrerequisiteData/>");
  EXPECT_FALSE(record.Read());
  EXPECT_EQ(record.Type, VOICE);

  // No VersionData: refused after the name, type and part number are read.
  WriteFile("<Name>Anna</Name><Type>VOICE</Type><PartNumber>V-2</PartNumber><PrerequisiteData/>");
  EXPECT_FALSE(record.Read());
  EXPECT_EQ(record.Name, u"Anna");
  EXPECT_EQ(record.PartNumber, u"V-2");
  EXPECT_EQ(record.Type, VOICE);

  // A record whose type a failed read left outside the table writes UNKNOWN.
  record.Type = NoPackageType;
  record.Write();
  CVersionInfo again(File());
  ASSERT_TRUE(again.Read());
  EXPECT_EQ(again.Type, UNKNOWN);
}

TEST_F(VersionFileTest, PrerequisiteDataIsRequiredAndItsIncompleteEntriesAreSkipped) {
  CVersionInfo record(File());
  WriteFile("<Name>X</Name>" + Data());
  EXPECT_FALSE(record.Read());

  WriteFile("<Name>X</Name>" + Data() + "<PrerequisiteData></PrerequisiteData>");
  EXPECT_TRUE(record.Read());
  EXPECT_EQ(record.PrerequisiteCount, 0);

  WriteFile("<Name>X</Name>" + Data() +
            "<PrerequisiteData>some text"
            "<Prerequisite><Name>A</Name><Type>SOFTWARE</Type>" + Data("2", "1") + "</Prerequisite>"
            "<!-- a comment -->"
            "<Prerequisite><Type>SOFTWARE</Type>" + Data() + "</Prerequisite>"
            "<Prerequisite><Name>C</Name><Type>VOICE</Type></Prerequisite>"
            "<Other><Name>B</Name>" + Data("3") + "</Other>"
            "</PrerequisiteData>");
  ASSERT_TRUE(record.Read());
  ASSERT_EQ(record.PrerequisiteCount, 2);
  EXPECT_EQ(record.Prerequisites[0].Name, u"A");
  EXPECT_EQ(record.Prerequisites[0].VersionData->Major, 2);
  EXPECT_EQ(record.Prerequisites[1].Name, u"B");
  EXPECT_EQ(record.Prerequisites[1].Type, UNKNOWN);
}

TEST_F(VersionFileTest, AFileNestedDeeperThanTheLayoutCanBeIsNoVersionFileAndIsNotSaved) {
  auto nested = [](int levels) {
    std::string open;
    std::string close;
    for (int i = 0; i < levels; ++i) {
      open += "<a>";
      close += "</a>";
    }
    return open + "x" + close;
  };
  CVersionInfo record(File());
  // Sixteen levels below the root, the text included, are still read.
  WriteFile("<Name>X</Name>" + Data() + "<PrerequisiteData/>" + nested(15));
  EXPECT_TRUE(record.Read());

  WriteFile("<Name>X</Name>" + Data() + "<PrerequisiteData/>" + nested(20000));
  std::string deep = ReadBytes(PathOf("Version.xml"));
  EXPECT_FALSE(record.Read());
  record.Save();
  EXPECT_EQ(ReadBytes(PathOf("Version.xml")), deep);
}

TEST_F(VersionFileTest, NumbersDatesAndTheFormatVersionAreReadLeniently) {
  WriteFile("<Name>X</Name>" + Data("12abc", "", "2014/07/07") + "<PrerequisiteData/>");
  CVersionInfo record(File());
  ASSERT_TRUE(record.Read());
  EXPECT_EQ(record.VersionData->Major, 12);
  EXPECT_EQ(record.VersionData->Minor, 0);
  EXPECT_EQ(record.VersionData->GetDateText(), u"0000-00-00");

  ASSERT_TRUE(WriteBytes(PathOf("Version.xml"),
                         "<VersionInfo version=\"2.3_2020-01-02_rc_1\"><Name>X</Name>" + Data(" -4", "7x", "2014-07-07_rc") +
                             "<PrerequisiteData/></VersionInfo>"));
  ASSERT_TRUE(record.Read());
  EXPECT_EQ(record.VersionData->Major, -4);
  EXPECT_EQ(record.VersionData->Minor, 7);
  EXPECT_EQ(record.VersionData->GetDateText(), u"2014-07-07");
  EXPECT_EQ(record.FormatVersion->GetFileText(), u"2.03_2020-01-02_rc_1");

  // A format version that cannot be read is 0.00 and does not fail the read.
  for (const char* bad : {"", "1.05", "1.05_", "x1.05_2014-07-07", "1.123_2014-07-07"}) {
    ASSERT_TRUE(WriteBytes(PathOf("Version.xml"), std::string("<VersionInfo version=\"") + bad + "\"><Name>X</Name>" +
                                                      Data() + "<PrerequisiteData/></VersionInfo>"));
    ASSERT_TRUE(record.Read()) << bad;
    EXPECT_EQ(record.FormatVersion->GetFileText(), u"0.00_0000-00-00") << bad;
  }
}

TEST_F(VersionFileTest, MapDataIsReadFromAnyEntryAndEmptyCategoriesAreWrittenAsOne) {
  WriteFile("<Name>X</Name><Type>MAP</Type>" + Data() +
            "<PrerequisiteData/><MapInfoData><MapName>Alps</MapName><Modified>TRUE</Modified>"
            "<Categories>loose<Category>Roads</Category><Item>Lakes</Item><Category/></Categories></MapInfoData>");
  CMapVersion map(File());
  ASSERT_TRUE(map.Read());
  EXPECT_EQ(map.MapName, u"Alps");
  EXPECT_TRUE(map.Modified);
  EXPECT_EQ(map.Categories, (std::vector<std::u16string>{u"Roads", u"Lakes"}));

  // A missing map name keeps the one the record had; "yes" is not true.
  WriteFile("<Name>X</Name><Type>MAP</Type>" + Data() + "<PrerequisiteData/><MapInfoData><Modified>yes</Modified></MapInfoData>");
  ASSERT_TRUE(map.Read());
  EXPECT_EQ(map.MapName, u"Alps");
  EXPECT_FALSE(map.Modified);
  EXPECT_EQ(map.Categories.size(), 2u);

  map.Categories = {u"", u""};
  map.Write();
  std::string written = ReadBytes(PathOf("Version.xml"));
  EXPECT_NE(written.find(Utf16Le(u"\t\t<Categories>\n\t\t\t<Category></Category>\n\t\t</Categories>\n")),
            std::string::npos);
  CMapVersion read(File());
  ASSERT_TRUE(read.Read());
  EXPECT_TRUE(read.Categories.empty());
}

TEST_F(VersionFileTest, AWriteWithoutVersionDataWritesZerosAndKeepsThem) {
  CVersionInfo record(File(), u"Anna");
  record.Type = VOICE;
  record.Write();
  ASSERT_TRUE(record.VersionData);
  EXPECT_EQ(record.VersionData->GetFileText(), u"0.00_0000-00-00");
  std::string written = ReadBytes(PathOf("Version.xml"));
  EXPECT_NE(written.find(Utf16Le(u"\t\t<MajorVersion>0</MajorVersion>\n\t\t<MinorVersion>0</MinorVersion>\n"
                                 u"\t\t<Date>0000-00-00</Date>\n\t\t<PreRelease></PreRelease>\n"
                                 u"\t</VersionData>\n\t<PrerequisiteData></PrerequisiteData>\n</VersionInfo>\n")),
            std::string::npos);

  // A count beyond the list writes the entries there are.
  record.Prerequisites = {CVersionInfo(u"", u"Engine")};
  record.PrerequisiteCount = 5;
  record.Write();
  CVersionInfo read(File());
  ASSERT_TRUE(read.Read());
  EXPECT_EQ(read.PrerequisiteCount, 1);

  // Without a path nothing is written and no document is made; Save without
  // a document does nothing.
  CVersionInfo nowhere(u"", u"Anna");
  nowhere.Write();
  EXPECT_FALSE(nowhere.Document);
  CVersionInfo unread(platform::NarrowToWide(PathOf("Other.xml")));
  unread.Save();
  EXPECT_FALSE(testsupport::Exists(PathOf("Other.xml")));
  EXPECT_FALSE(CVersionInfo().Read());
  EXPECT_FALSE(unread.Read());
}

TEST_F(VersionFileTest, AUtf8FileFromAnotherWriterIsSavedBackAsUtf16) {
  ASSERT_TRUE(WriteBytes(PathOf("Version.xml"),
                         "<?xml version='1.0' encoding='UTF-8'?>\r\n<!-- made by hand -->\r\n"
                         "<VersionInfo xmlns=\"urn:other\" version='1.05_2014-07-07' extra=\"1\">\r\n"
                         "  <PrerequisiteData />\r\n  <VersionData>\r\n    <PreRelease>b\xC3\xA9ta</PreRelease>\r\n"
                         "    <Date>2015-01-31</Date><MinorVersion>2</MinorVersion><MajorVersion>4</MajorVersion>\r\n"
                         "  </VersionData>\r\n  <Unknown>kept out</Unknown>\r\n"
                         "  <Type>LANGUAGE_PACKAGE</Type>\r\n  <Name>Espa\xC3\xB1ol</Name>\r\n</VersionInfo>\r\n"));
  CVersionInfo record(File());
  ASSERT_TRUE(record.Read());
  EXPECT_EQ(record.Type, LANGUAGE_PACKAGE);
  EXPECT_EQ(record.Name, u"Espa\u00F1ol");
  EXPECT_EQ(record.GetVersionText(), u"4.02 2015-01-31 b\u00E9ta");

  record.Save();
  std::string saved = ReadBytes(PathOf("Version.xml"));
  EXPECT_EQ(saved.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(saved.find(Utf16Le(u"<?xml version=\"1.0\" encoding=\"utf-16\"?>")), 2u);
  CVersionInfo again(File());
  ASSERT_TRUE(again.Read());
  EXPECT_EQ(CompareRecords(again, record), 0);
  EXPECT_EQ(again.GetVersionText(), u"4.02 2015-01-31 b\u00E9ta");
}

// A second parser's word on a file: xmllint, on the build machine.
bool XmllintAccepts(const std::string& path) {
  if (testsupport::UnderWine()) return true;
  return std::system(("xmllint --noout '" + testsupport::HostPathOf(path) + "'").c_str()) == 0;
}

TEST_F(VersionFileTest, DeclarationsOfOtherWritersAreSavedInXmlsOrderAndPassASecondParser) {
  const std::string body = "<VersionInfo><Name>Anna</Name><VersionData/><PrerequisiteData/></VersionInfo>";
  struct Case {
    std::string file;
    std::u16string saved;  // the declaration Save writes
  };
  const Case cases[] = {
      {"<?xml version=\"1.0\" standalone=\"yes\"?>" + body,
       u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"yes\"?>"},
      {"<?xml version='1.0' encoding='UTF-8' standalone='no'?>" + body,
       u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"no\"?>"},
      // Out of order: not XML, but read leniently, and saved as XML.
      {"<?xml version=\"1.0\" standalone=\"yes\" encoding=\"utf-8\"?>" + body,
       u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"yes\"?>"},
      {"<?xml version=\"1.0\" standalone=\"maybe\"?>" + body, u"<?xml version=\"1.0\" encoding=\"utf-16\"?>"},
      {Utf16File(u"<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"yes\"?>\n" +
                 platform::Utf8ToWide(body.c_str())),
       u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"yes\"?>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_TRUE(WriteBytes(PathOf("Version.xml"), c.file));
    CVersionInfo record(File());
    ASSERT_TRUE(record.Read());
    record.Save();
    std::string saved = ReadBytes(PathOf("Version.xml"));
    EXPECT_EQ(saved.find(Utf16Le(c.saved + u"\n")), 2u);
    EXPECT_TRUE(XmllintAccepts(PathOf("Version.xml")));
    CVersionInfo again(File());
    ASSERT_TRUE(again.Read());
    EXPECT_EQ(again.Name, u"Anna");
  }
  CVersionInfo written(File(), u"Caf\u00E9 & <Bar>");
  written.Write();
  EXPECT_TRUE(XmllintAccepts(PathOf("Version.xml")));
}

TEST_F(VersionFileTest, ASaveWhoseFourAttemptsFailKeepsTheOldFileOrNoneAndLeavesNothingBeside) {
  struct Case {
    platform::FaultOp op;
    platform::Dword error;
  };
  const Case cases[] = {
      {platform::FaultOp::OpenFile, platform::kErrorAccessDenied},
      {platform::FaultOp::WriteFile, platform::kErrorDiskFull},
      {platform::FaultOp::FlushFile, platform::kErrorWriteFault},
      {platform::FaultOp::ReplaceNow, platform::kErrorSharingViolation},
  };
  CVersionInfo record(File(), u"Anna");
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.op));
    for (bool oldFile : {true, false}) {
      if (oldFile) {
        ASSERT_TRUE(WriteBytes(PathOf("Version.xml"), "old"));
      }
      // One more failure armed than Save may use: one must be left over.
      platform::ArmFault(c.op, 5, c.error);
      record.Write();
      EXPECT_EQ(platform::RemainingFaults(c.op), 1);
      platform::ClearFaults();
      EXPECT_EQ(ReadBytes(PathOf("Version.xml")), oldFile ? "old" : "<missing>");
      EXPECT_FALSE(testsupport::Exists(PathOf("Version.xml.new")));
      platform::RemoveFile(PathOf("Version.xml"));
    }
  }

  // The fourth attempt gets through.
  ASSERT_TRUE(WriteBytes(PathOf("Version.xml"), "old"));
  platform::ArmFault(platform::FaultOp::ReplaceNow, 3, platform::kErrorSharingViolation);
  record.Save();
  CVersionInfo read(File());
  ASSERT_TRUE(read.Read());
  EXPECT_EQ(read.Name, u"Anna");
  EXPECT_FALSE(testsupport::Exists(PathOf("Version.xml.new")));
}

// A read-only file can be neither deleted nor written: Save fails and the
// file keeps its bytes and its attributes.
TEST_F(VersionFileTest, AReadOnlyHiddenSystemFileIsKeptAsItWas) {
  ASSERT_TRUE(WriteBytes(PathOf("Version.xml"), "old"));
  const platform::Dword kept = platform::kAttributeReadOnly | platform::kAttributeHidden | platform::kAttributeSystem;
  ASSERT_TRUE(platform::SetAttributes(PathOf("Version.xml"), kept));
  platform::Dword before = platform::FileAttributes(PathOf("Version.xml"));
  ASSERT_NE(before & platform::kAttributeReadOnly, 0u);
  CVersionInfo record(File(), u"Anna");
  record.Write();
  EXPECT_EQ(platform::FileAttributes(PathOf("Version.xml")), before);
  EXPECT_EQ(ReadBytes(PathOf("Version.xml")), "old");
  EXPECT_FALSE(testsupport::Exists(PathOf("Version.xml.new")));
  platform::SetAttributes(PathOf("Version.xml"), platform::kAttributeNormal);
}

// The process killed at each operation of a Save in turn: the file is the
// old one or the new one, whole, and the next Save still makes it whole.
TEST_F(VersionFileTest, ASaveKilledAtAnyOperationLeavesTheOldOrTheNewFileWhole) {
  // On Windows the killed child runs the test again from its start, in a
  // scratch folder of its own: it is handed this one.
  const char* handed = std::getenv("ORVANTA_TEST_KILLED_SAVE_FOLDER");
  const std::string folder = handed != nullptr && *handed != '\0' ? handed : Dir();
  testsupport::SetEnvironment("ORVANTA_TEST_KILLED_SAVE_FOLDER", folder);
  const std::string file = folder + "\\Version.xml";
  CVersionInfo oldRecord(file, "Old");
  oldRecord.SetVersionData(Version(1, 0, 2020, 1, 1));
  CVersionInfo newRecord(file, "New");
  newRecord.SetVersionData(Version(2, 0, 2021, 2, 2));
  bool completed = false;
  int kills = 0;
  for (long operation = 1; !completed && operation < 100; ++operation) {
    SCOPED_TRACE(operation);
    oldRecord.Write();
    ASSERT_EQ(ReadBytes(file + ".new"), "<missing>");
    EXPECT_EXIT(
        {
          platform::ArmKill(operation);
          newRecord.Write();
          platform::ArmKill(0);
          std::_Exit(0);
        },
        [&](int status) {
          completed = testing::ExitedWithCode(0)(status);
          return completed || testing::ExitedWithCode(137)(status);
        },
        "");
    if (!completed) ++kills;
    CVersionInfo read(file);
    ASSERT_TRUE(read.Read());
    if (completed) {
      EXPECT_EQ(read.Name, u"New");
    }
    EXPECT_EQ(CompareRecords(read, read.Name == u"New" ? newRecord : oldRecord), 0);

    newRecord.Write();
    CVersionInfo again(file);
    ASSERT_TRUE(again.Read());
    EXPECT_EQ(again.Name, u"New");
    EXPECT_EQ(ReadBytes(file + ".new"), "<missing>");
  }
  testsupport::SetEnvironment("ORVANTA_TEST_KILLED_SAVE_FOLDER", "");
  EXPECT_TRUE(completed);
  EXPECT_GT(kills, 3);
}

}  // namespace
