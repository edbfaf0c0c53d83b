// The version values and records in memory: text forms, dates, the order of
// versions, the getters' buffer rule, copying and the record classes.
#include <gtest/gtest.h>

#include "version/version_info.h"

using namespace version;

namespace {

VersionNumber Version(int major, int minor, int year, int month, int day, const std::u16string& preRelease = u"") {
  return VersionNumber(major, minor, preRelease, VersionDate(year, month, day).date);
}

TEST(VersionNumberTest, TextFormsPadTheMinorAndAppendThePreRelease) {
  VersionNumber empty;
  EXPECT_EQ(empty.VersionText(u'_'), u"0.00_0000-00-00");
  EXPECT_EQ(empty.FileText, u"0.00_0000-00-00");
  EXPECT_TRUE(empty.DisplayText.empty());

  VersionNumber beta = Version(1, 5, 2014, 7, 7, u"beta");
  EXPECT_EQ(beta.VersionText(u' '), u"1.05 2014-07-07 beta");
  EXPECT_EQ(beta.DisplayText, u"1.05 2014-07-07 beta");
  EXPECT_EQ(beta.GetFileText(), u"1.05_2014-07-07_beta");
  EXPECT_EQ(Version(1, 5, 2014, 7, 7).GetFileText(), u"1.05_2014-07-07");
  EXPECT_EQ(Version(12, 123, 987, 1, 2).GetDisplayText(), u"12.123 0987-01-02");

  // The getters build the text from the current fields, not a stale cache.
  beta.SetMinor(10);
  beta.SetPreRelease(std::string("rc1"));
  EXPECT_EQ(beta.GetDisplayTextA(), "1.10 2014-07-07 rc1");
  beta.SetPreRelease(u"");
  EXPECT_EQ(beta.GetDisplayText(), u"1.10 2014-07-07");
  EXPECT_EQ(beta.GetDateTextA(), "2014-07-07");
}

TEST(VersionNumberTest, ParseDateReadsThreeNumbersAndClearsTheDateOnFailure) {
  VersionDate date;
  EXPECT_TRUE(date.ParseDate(u"2014-7-7"));
  EXPECT_EQ(date.date.year, 2014);
  EXPECT_EQ(date.date.month, 7);
  EXPECT_EQ(date.date.day, 7);

  EXPECT_TRUE(date.ParseDate(std::string("2014-07-08_rc")));
  EXPECT_EQ(date.date.day, 8);

  // Every field is cleared first, the ones a file never sets included.
  date.date.hour = 5;
  date.date.dayOfWeek = 3;
  for (const char16_t* bad : {u"2014/07/07", u"", u"2014-07", u"20140-07-07", u"x2014-07-07"}) {
    EXPECT_FALSE(date.ParseDate(bad)) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
    EXPECT_EQ(date.date.year, 0);
    EXPECT_EQ(date.date.month, 0);
    EXPECT_EQ(date.date.day, 0);
    EXPECT_EQ(date.date.hour, 0);
    EXPECT_EQ(date.date.dayOfWeek, 0);
  }
  // As the C runtime's scanner: blanks before a number are skipped.
  EXPECT_TRUE(date.ParseDate(u" 2014- 7-07"));
  EXPECT_EQ(date.date.month, 7);
}

TEST(VersionNumberTest, ComparisonsGiveTheirSigns) {
  EXPECT_EQ(CompareVersions(Version(1, 5, 2014, 7, 7), Version(1, 10, 2014, 7, 7)), -1);
  EXPECT_EQ(CompareVersions(Version(2, 0, 2014, 7, 7), Version(1, 99, 2014, 7, 7)), 1);
  EXPECT_EQ(CompareVersions(Version(-1, 0, 2014, 7, 7), Version(0, 0, 2014, 7, 7)), -1);
  // The date decides before the pre-release.
  EXPECT_EQ(CompareVersions(Version(1, 5, 2014, 7, 8, u"alpha"), Version(1, 5, 2014, 7, 7)), 1);
  // A pre-release comes before its release; two pre-releases compare without case.
  EXPECT_EQ(CompareVersions(Version(1, 5, 2014, 7, 7, u"beta"), Version(1, 5, 2014, 7, 7)), -1);
  EXPECT_EQ(CompareVersions(Version(1, 5, 2014, 7, 7), Version(1, 5, 2014, 7, 7, u"beta")), 1);
  EXPECT_EQ(CompareVersions(Version(1, 5, 2014, 7, 7, u"Beta"), Version(1, 5, 2014, 7, 7, u"beta")), 0);
  EXPECT_LT(CompareVersions(Version(1, 5, 2014, 7, 7, u"alpha"), Version(1, 5, 2014, 7, 7, u"Beta")), 0);
  EXPECT_GT(CompareVersions(Version(1, 5, 2014, 7, 7, u"beta2"), Version(1, 5, 2014, 7, 7, u"beta")), 0);
  EXPECT_EQ(CompareVersions(Version(1, 5, 2014, 7, 7), Version(1, 5, 2014, 7, 7)), 0);

  // Dates: the day of week never counts, the time of day does.
  VersionDate monday(2014, 7, 7);
  VersionDate tuesday(2014, 7, 8);
  monday.date.dayOfWeek = 6;
  EXPECT_EQ(CompareDates(monday, tuesday), -1);
  EXPECT_EQ(CompareDates(tuesday, monday), 1);
  VersionDate later = monday;
  later.date.dayOfWeek = 1;
  EXPECT_EQ(CompareDates(monday, later), 0);
  later.date.milliseconds = 1;
  EXPECT_EQ(CompareDates(monday, later), -1);
}

TEST(VersionRecordTest, CompareRecordsMatchesVersionTypeAndNameOnly) {
  CVersionInfo a(u"C:\\A\\Version.xml", u"Orvanta");
  CVersionInfo b(u"C:\\B\\Version.xml", u"ORVANTA");
  EXPECT_EQ(CompareRecords(a, b), 0);  // no versions, same type, names equal without case
  a.SetVersionData(Version(1, 5, 2014, 7, 7));
  EXPECT_EQ(CompareRecords(a, b), -1);
  EXPECT_EQ(CompareRecords(b, a), -1);
  b.SetVersionData(Version(1, 6, 2014, 7, 7));
  EXPECT_EQ(CompareRecords(a, b), -1);
  EXPECT_EQ(CompareRecords(b, a), 1);
  b.SetVersionData(Version(1, 5, 2014, 7, 7));
  EXPECT_EQ(CompareRecords(a, b), 0);
  b.Type = VOICE;
  EXPECT_EQ(CompareRecords(a, b), -1);
  b.Type = a.Type;
  b.SetName(std::string("Other"));
  EXPECT_NE(CompareRecords(a, b), 0);
  b.SetName(u"");
  EXPECT_EQ(CompareRecords(a, b), -1);
  a.SetName(u"");
  EXPECT_EQ(CompareRecords(a, b), 0);
}

TEST(VersionRecordTest, BufferGettersCopyOnlyWhatFitsWithItsTerminator) {
  CMapVersion record(std::string("C:\\Maps\\Version.xml"), std::string("Alps"));
  char16_t wide[8];
  std::fill(std::begin(wide), std::end(wide), u'#');
  // Capacity equal to the length: the size is told, nothing is copied.
  EXPECT_EQ(record.GetName(wide, 4), 5);
  EXPECT_EQ(wide[0], u'#');
  EXPECT_EQ(record.GetName(static_cast<char16_t*>(nullptr), 0), 5);
  EXPECT_EQ(record.GetName(wide, 5), 5);
  EXPECT_EQ(std::u16string(wide), u"Alps");
  char narrow[8] = "#######";
  EXPECT_EQ(record.GetName(narrow, 4), 5);
  EXPECT_EQ(narrow[0], '#');
  EXPECT_EQ(record.GetName(narrow, 8), 5);
  EXPECT_STREQ(narrow, "Alps");

  // Empty values: 0 for the name, part number and absent version; 1 and an
  // empty text for the map name.
  std::fill(std::begin(wide), std::end(wide), u'#');
  EXPECT_EQ(record.GetPartNumber(wide, 8), 0);
  EXPECT_EQ(record.GetVersionText(wide, 8), 0);
  EXPECT_EQ(record.GetVersionText(), u"");
  EXPECT_EQ(wide[0], u'#');
  EXPECT_EQ(record.GetMapName(wide, 8), 1);
  EXPECT_EQ(wide[0], u'\0');

  record.SetVersionData(Version(3, 1, 2020, 2, 29, u"rc"));
  EXPECT_EQ(record.GetVersionText(narrow, 8), 19);
  EXPECT_EQ(record.GetVersionTextA(), "3.01 2020-02-29 rc");

  // Categories: out of range or without a buffer gives 0.
  record.Categories = {u"Roads", u""};
  EXPECT_EQ(record.GetCategory(0, wide, 8), 6);
  EXPECT_EQ(std::u16string(wide), u"Roads");
  EXPECT_EQ(record.GetCategory(0, static_cast<char16_t*>(nullptr), 8), 0);
  EXPECT_EQ(record.GetCategory(1, narrow, 8), 1);
  EXPECT_STREQ(narrow, "");
  EXPECT_EQ(record.GetCategory(2, narrow, 8), 0);
  EXPECT_EQ(record.GetCategory(-1, narrow, 8), 0);
  EXPECT_EQ(record.GetCategoryA(5), "");

  // A text outside the narrow code page converts to the empty text.
  record.SetName(u"\u0410\u043B\u044C\u043F\u044B");
  EXPECT_EQ(record.GetNameA(), "");
  EXPECT_EQ(record.GetName(narrow, 8), 1);
}

TEST(VersionRecordTest, AssignCopiesFieldsAndPrerequisitesButNoDocument) {
  CVersionInfo source(u"C:\\Content\\Voice\\Version.xml", u"Anna");
  source.Type = VOICE;
  source.SetPartNumber(std::string("P-1"));
  source.SetVersionData(Version(2, 1, 2021, 3, 4, u"beta"));
  source.SetFormatVersion(Version(1, 5, 2014, 7, 7));
  for (const char16_t* name : {u"Engine", u"Grammar", u"Lexicon"}) {
    CVersionInfo prerequisite(u"", name);
    prerequisite.Type = SOFTWARE;
    prerequisite.SetVersionData(Version(1, 0, 2020, 1, 1));
    source.Prerequisites.push_back(prerequisite);
  }
  source.PrerequisiteCount = 3;
  source.Document = std::make_unique<pugi::xml_document>();
  source.Root = source.Document->append_child("VersionInfo");

  CVersionInfo copy(source);
  EXPECT_EQ(copy.Type, VOICE);
  EXPECT_EQ(copy.Path, source.Path);
  EXPECT_EQ(copy.Name, u"Anna");
  EXPECT_EQ(copy.PartNumber, u"P-1");
  EXPECT_EQ(copy.PrerequisiteCount, 3);
  ASSERT_EQ(copy.Prerequisites.size(), 3u);
  EXPECT_EQ(copy.Prerequisites[2].Name, u"Lexicon");
  EXPECT_FALSE(copy.Document);
  EXPECT_FALSE(copy.Root);
  // Owned values are the copy's own.
  ASSERT_TRUE(copy.VersionData && copy.FormatVersion);
  EXPECT_NE(copy.VersionData.get(), source.VersionData.get());
  source.VersionData->Major = 9;
  EXPECT_EQ(copy.VersionData->Major, 2);
  EXPECT_EQ(CompareVersions(*copy.FormatVersion, *source.FormatVersion), 0);

  // Assigning a record without version values leaves none.
  copy.Document = std::make_unique<pugi::xml_document>();
  copy.Assign(CVersionInfo(u"C:\\X\\Version.xml"));
  EXPECT_FALSE(copy.VersionData);
  EXPECT_FALSE(copy.FormatVersion);
  EXPECT_FALSE(copy.Document);
  EXPECT_EQ(copy.Type, UNKNOWN);
  EXPECT_EQ(copy.PrerequisiteCount, 0);
  EXPECT_TRUE(copy.Prerequisites.empty());
}

TEST(VersionRecordTest, RecordClassesAndTheirDefaults) {
  CVersionInfo plain;
  EXPECT_EQ(plain.Type, UNKNOWN);
  EXPECT_FALSE(plain.VersionData);
  EXPECT_FALSE(plain.FormatVersion);
  EXPECT_FALSE(plain.Document);
  EXPECT_EQ(plain.PrerequisiteCount, 0);

  CMapVersion map;
  EXPECT_EQ(map.Type, MAP);
  EXPECT_FALSE(map.Modified);
  map.MapName = u"Alps";
  map.Modified = true;
  map.Categories = {u"Roads"};
  map.Type = UNKNOWN;
  CMapVersion other(map);
  EXPECT_EQ(other.Type, UNKNOWN);  // copied from the source
  EXPECT_EQ(other.MapName, u"Alps");
  EXPECT_TRUE(other.Modified);
  EXPECT_EQ(other.Categories.size(), 1u);
  // Assign alone resets the map record's flag and keeps its map name.
  other.Assign(CVersionInfo(u"p"));
  EXPECT_EQ(other.Type, UNKNOWN);
  EXPECT_FALSE(other.Modified);
  EXPECT_EQ(other.MapName, u"Alps");
  other.Reset();
  EXPECT_EQ(other.Type, MAP);

  std::unique_ptr<CVersionInfo> voice = CreateVersionRecord(VOICE, std::string("C:\\V\\Version.xml"), std::string("Anna"));
  ASSERT_TRUE(voice);
  EXPECT_EQ(dynamic_cast<CMapVersion*>(voice.get()), nullptr);
  EXPECT_EQ(voice->Type, UNKNOWN);
  EXPECT_EQ(voice->Name, u"Anna");
  std::unique_ptr<CVersionInfo> alps = CreateVersionRecord(MAP, u"C:\\M\\Version.xml", u"Alps");
  ASSERT_NE(dynamic_cast<CMapVersion*>(alps.get()), nullptr);
  EXPECT_EQ(alps->Type, MAP);
  EXPECT_TRUE(CreateVersionRecord(UNKNOWN, u"p", u"n"));
  EXPECT_FALSE(CreateVersionRecord(NoPackageType, u"p", u"n"));
  EXPECT_FALSE(CreateVersionRecord(-1, u"p", u"n"));
}

TEST(VersionRecordTest, TheFolderIsThePathWithoutItsVersionFileName) {
  EXPECT_EQ(CVersionInfo(u"C:\\Content\\Maps\\Version.xml").GetFolder(), u"C:\\Content\\Maps\\");
  EXPECT_EQ(CVersionInfo(std::string("Version.xml")).GetFolderA(), "");
  // The name is matched with its case; another file name gives its folder.
  EXPECT_EQ(CVersionInfo(u"C:\\Content\\version.xml").GetFolder(), u"C:\\Content\\");
  EXPECT_EQ(CVersionInfo(u"C:\\Content\\Maps").GetFolder(), u"C:\\Content\\");
  EXPECT_EQ(CVersionInfo(u"Maps").GetFolder(), u"");
}

}  // namespace
