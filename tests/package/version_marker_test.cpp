// The pre-release marker repair of the Spanish version file: which bytes
// change, which files are left alone, and where the file is looked for.
#include "package/version_marker.h"
#include "platform/text.h"
#include "version/version_info.h"
#include "tests/package/package_fixture.h"

namespace {

using testsupport::Utf16Le;

const std::string kBom = "\xFF\xFE";

class VersionMarkerTest : public packagetest::PackageTest {
 protected:
  void SetUp() override {
    PackageTest::SetUp();
    ASSERT_TRUE(platform::MakeFolder(PathOf("Languages")));
    ASSERT_TRUE(platform::MakeFolder(PathOf("Languages\\es")));
    app::Run().LocationPaths[version::LANGUAGE_PACKAGE] = PathOf("Languages\\");
  }
  std::string File() { return PathOf("Languages\\es\\Version.xml"); }

  // Writes `bytes`, runs the repair, and returns what the file holds then.
  std::string Repair(const std::string& bytes) {
    EXPECT_TRUE(testsupport::WriteBytes(File(), bytes));
    package::bFixPreReleaseMarker();
    return testsupport::ReadBytes(File());
  }
};

TEST_F(VersionMarkerTest, OnlyAMarkerThatEndsTheTextOfAnOpenPreReleaseBecomesItsClosingTag) {
  const std::u16string decl = u"<?xml version=\"1.0\" encoding=\"utf-16\"?>";
  struct Case {
    const char* what;
    std::string before;
    std::string after;  // empty: the file stays as it was
  };
  const Case cases[] = {
      {"damaged, with a byte-order mark",
       kBom + Utf16Le(u"<VersionData>\n\t<PreRelease>beta1<PreRelease/>\n</VersionData>\n<PreRelease/>"),
       kBom + Utf16Le(u"<VersionData>\n\t<PreRelease>beta1</PreRelease>\n</VersionData>\n<PreRelease/>")},
      {"damaged, without a byte-order mark", Utf16Le(u"<PreRelease>1<PreRelease/>"),
       Utf16Le(u"<PreRelease>1</PreRelease>")},
      {"text ending in a tab", Utf16Le(u"<PreRelease>1\t<PreRelease/>"), Utf16Le(u"<PreRelease>1\t</PreRelease>")},
      // Well-formed files, as other tools write an empty PreRelease.
      {"pretty printed: on a line of its own",
       kBom + Utf16Le(decl + u"\n<VersionInfo>\n\t<VersionData>\n\t\t<Date>2014-07-07</Date>\n\t\t<PreRelease/>\n"
                             u"\t</VersionData>\n</VersionInfo>\n"),
       ""},
      {"compact: straight after the date",
       kBom + Utf16Le(decl + u"<VersionInfo><VersionData><Date>2014-07-07</Date><PreRelease/></VersionData></VersionInfo>"),
       ""},
      {"right after the byte-order mark", kBom + Utf16Le(u"<PreRelease/>"), ""},
      {"after a text of another element", Utf16Le(u"<Date>1<PreRelease/>"), ""},
      {"directly after the opening tag", Utf16Le(u"<PreRelease><PreRelease/>"), ""},
      {"after a space", kBom + Utf16Le(u"<A><PreRelease>1 <PreRelease/></A><PreRelease>2<PreRelease/>"), ""},
      {"at the very start", Utf16Le(u"<PreRelease/><PreRelease>1<PreRelease/>"), ""},
      {"after the first NUL", kBom + Utf16Le(std::u16string(u"<PreRelease>", 12) + u'\0' + u"1<PreRelease/>"), ""},
      {"in UTF-8", "<PreRelease>1<PreRelease/>", ""},
      {"no marker", kBom + Utf16Le(u"<PreRelease>beta</PreRelease>"), ""},
      {"empty file", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Repair(c.before), c.after.empty() ? c.before : c.after) << c.what;
  }
}

TEST_F(VersionMarkerTest, AVersionFileOfThisToolIsLeftAsItWasWritten) {
  version::CVersionInfo record(u"", u"Español");
  record.Path = platform::NarrowToWide(File());
  record.Type = version::LANGUAGE_PACKAGE;
  record.Write();
  std::string written = testsupport::ReadBytes(File());
  ASSERT_NE(written.find(Utf16Le(u"PreRelease")), std::string::npos);
  package::bFixPreReleaseMarker();
  EXPECT_EQ(testsupport::ReadBytes(File()), written);
}

TEST_F(VersionMarkerTest, AnOddLastByteIsNotSearchedButKept) {
  std::string odd = kBom + Utf16Le(u"<PreRelease>1<PreRelease/>") + "\x7F";
  EXPECT_EQ(Repair(odd), kBom + Utf16Le(u"<PreRelease>1</PreRelease>") + "\x7F");
  // A marker whose last unit would need the odd byte is not whole.
  std::string cut = Utf16Le(u"<PreRelease>1<PreRelease/").append("\x3E", 1);
  EXPECT_EQ(Repair(cut), cut);
}

TEST_F(VersionMarkerTest, TheFileIsFoundWithOrWithoutTheLocationsClosingBackslash) {
  std::string before = Utf16Le(u"<PreRelease>1<PreRelease/>");
  std::string after = Utf16Le(u"<PreRelease>1</PreRelease>");
  EXPECT_EQ(package::PreReleaseMarkerPath(), File());

  app::Run().LocationPaths[version::LANGUAGE_PACKAGE] = PathOf("Languages");
  EXPECT_EQ(package::PreReleaseMarkerPath(), File());
  EXPECT_EQ(Repair(before), after);
  EXPECT_FALSE(testsupport::Exists(PathOf("Languageses\\Version.xml")));

  app::Run().LocationPaths[version::LANGUAGE_PACKAGE] = PathOf("Languages/");
  EXPECT_EQ(Repair(before), after);

  // An empty location is the working directory.
  app::Run().LocationPaths[version::LANGUAGE_PACKAGE] = "";
  EXPECT_EQ(package::PreReleaseMarkerPath(), "es\\Version.xml");
  testsupport::ChangeDirectory(PathOf("Languages"));
  EXPECT_EQ(Repair(before), after);
}

TEST_F(VersionMarkerTest, AMissingOrLockedFileIsLeftAloneSilently) {
  package::bFixPreReleaseMarker();
  EXPECT_FALSE(testsupport::Exists(File()));
  EXPECT_EQ(Log(), "");

  std::string before = Utf16Le(u"<PreRelease>1<PreRelease/>");
  ASSERT_TRUE(testsupport::WriteBytes(File(), before));
  {
    testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote(File()) + " read read");
    ASSERT_EQ(holder.FirstLine(), "opened");
    package::bFixPreReleaseMarker();  // read, but cannot be reopened for writing
  }
  EXPECT_EQ(testsupport::ReadBytes(File()), before);

  platform::ArmFault(platform::FaultOp::ReadFile, 1, platform::kErrorAccessDenied);
  package::bFixPreReleaseMarker();
  EXPECT_EQ(testsupport::ReadBytes(File()), before);
  EXPECT_EQ(Log(), "");
}

}  // namespace
