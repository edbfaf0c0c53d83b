// The pre-release marker repair of the Spanish version file: which bytes
// change, which files are left alone, and where the file is looked for.
#include "package/version_marker.h"
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

TEST_F(VersionMarkerTest, TheFirstMarkerAfterATextBecomesAClosingTagAtTheSameLength) {
  std::string before = kBom + Utf16Le(u"<VersionData>\n\t<PreRelease>beta1<PreRelease/>\n</VersionData>\n<PreRelease/>");
  std::string after = kBom + Utf16Le(u"<VersionData>\n\t<PreRelease>beta1</PreRelease>\n</VersionData>\n<PreRelease/>");
  EXPECT_EQ(Repair(before), after);

  // Any other character before it counts, a tab or a line break too.
  EXPECT_EQ(Repair(Utf16Le(u"a\t<PreRelease/>")), Utf16Le(u"a\t</PreRelease>"));
  EXPECT_EQ(Repair(Utf16Le(u"a\n<PreRelease/>")), Utf16Le(u"a\n</PreRelease>"));
  // Right after the byte-order mark.
  EXPECT_EQ(Repair(kBom + Utf16Le(u"<PreRelease/>")), kBom + Utf16Le(u"</PreRelease>"));
}

TEST_F(VersionMarkerTest, OnlyTheFirstMarkerIsConsideredAndASpaceOrNothingBeforeItKeepsTheFile) {
  std::string spaced = kBom + Utf16Le(u"<A>1 <PreRelease/></A><B>2<PreRelease/></B>");
  EXPECT_EQ(Repair(spaced), spaced);
  // A file that begins with the marker has no text before it.
  std::string first = Utf16Le(u"<PreRelease/>1<PreRelease/>");
  EXPECT_EQ(Repair(first), first);
  // The text ends at its first NUL code unit.
  std::string afterNul = kBom + Utf16Le(std::u16string(u"<A>", 3) + u'\0' + u"1<PreRelease/>");
  EXPECT_EQ(Repair(afterNul), afterNul);
  // The same characters in UTF-8 are no UTF-16 marker.
  std::string utf8 = "<A>1<PreRelease/></A>";
  EXPECT_EQ(Repair(utf8), utf8);
  std::string none = kBom + Utf16Le(u"<PreRelease>beta</PreRelease>");
  EXPECT_EQ(Repair(none), none);
  EXPECT_EQ(Repair(""), "");
}

TEST_F(VersionMarkerTest, AnOddLastByteIsNotSearchedButKept) {
  std::string odd = kBom + Utf16Le(u"<A>1<PreRelease/>") + "\x7F";
  EXPECT_EQ(Repair(odd), kBom + Utf16Le(u"<A>1</PreRelease>") + "\x7F");
  // A marker whose last unit would need the odd byte is not whole.
  std::string cut = Utf16Le(u"1<PreRelease/").append("\x3E", 1);
  EXPECT_EQ(Repair(cut), cut);
}

TEST_F(VersionMarkerTest, TheFileIsFoundWithOrWithoutTheLocationsClosingBackslash) {
  std::string before = Utf16Le(u"1<PreRelease/>");
  std::string after = Utf16Le(u"1</PreRelease>");
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

  std::string before = Utf16Le(u"1<PreRelease/>");
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
